#pragma once
// tarnix::SurfacePoint: a point on a mesh: the mesh, the face it lies on, its position and
// unit normal in the mesh's own space, and whether it is the mirrored twin of a dab.

#include <cstdint>

#include "tarnix/math/vector.h"

namespace tarnix {

class Mesh;

class SurfacePoint {
public:
    SurfacePoint() = default;
    /// @brief The centre of `face` of `mesh`, with the face's unit normal.
    SurfacePoint(Mesh* mesh, uint32_t face, uint8_t mirrored);
    SurfacePoint(Mesh* mesh, uint32_t face, const Vector& position, const Vector& normal, uint8_t mirrored = 0)
        : m_mesh(mesh), m_face(face), m_position(position), m_normal(normal), m_mirrored(mirrored) {}

    Vector LocalPosition() const { return m_position; }
    Vector LocalNormal() const { return m_normal; }
    /// @brief The position taken to world space by the mesh's transformation (when it has one).
    Vector WorldPosition() const;

    Mesh* m_mesh = nullptr;
    uint32_t m_face = 0;
    Vector m_position;
    Vector m_normal;
    /// Non-zero for the mirrored twin of a dab.
    uint8_t m_mirrored = 0;
};

}  // namespace tarnix
