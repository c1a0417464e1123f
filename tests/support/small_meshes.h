#pragma once
// Small meshes the tests sculpt, built from the built-in shapes, and what they read back.

#include <memory>
#include <vector>

#include "builtin_shapes.h"
#include "tarnix/geometry.h"
#include "tarnix/subdivision_level.h"
#include "tarnix/surface_point.h"

namespace test_support {

/// A flat grid of `columns` x `rows` unit squares in the xy plane, centred on the origin.
inline tarnix::PolygonMesh CentredPlane(uint32_t columns, uint32_t rows) {
    tarnix::PolygonMesh plane = shapes::Plane(columns, rows);
    const tarnix::Vector centre(0.5f * float(columns), 0.5f * float(rows), 0);
    for (tarnix::Vector& p : plane.positions) p = p - centre;
    return plane;
}

/// The face of `mesh` whose centre lies nearest `target`: where a test places a dab.
inline uint32_t FaceNearest(tarnix::Mesh* mesh, const tarnix::Vector& target) {
    uint32_t best = 0;
    for (uint32_t f = 1; f < mesh->m_faceCount; ++f)
        if ((tarnix::SurfacePoint(mesh, f, 0).LocalPosition() - target).Length() <
            (tarnix::SurfacePoint(mesh, best, 0).LocalPosition() - target).Length())
            best = f;
    return best;
}

/// The vertex of `mesh` at exactly `position` (0 when there is none).
inline uint32_t VertexAt(const tarnix::Mesh& mesh, const tarnix::Vector& position) {
    for (uint32_t v = 0; v < mesh.VertexCount(); ++v)
        if (mesh.VertexPosition(v) == position) return v;
    return 0;
}

/// A face of `mesh` that holds `vertex`.
inline uint32_t FaceOf(const tarnix::Mesh& mesh, uint32_t vertex) {
    uint32_t count = 0;
    return mesh.FacesAroundVertex(vertex, count)[0];
}

/// The vertex positions of `mesh`, in its vertex order.
inline std::vector<tarnix::Vector> PositionsOf(const tarnix::Mesh& mesh) {
    std::vector<tarnix::Vector> positions(mesh.VertexCount());
    for (uint32_t v = 0; v < mesh.VertexCount(); ++v) positions[v] = mesh.VertexPosition(v);
    return positions;
}

/// The heights (z) of the vertices of `mesh`, in its vertex order.
inline std::vector<float> HeightsOf(const tarnix::Mesh& mesh) {
    std::vector<float> heights(mesh.VertexCount());
    for (uint32_t v = 0; v < mesh.VertexCount(); ++v) heights[v] = mesh.VertexPosition(v).z;
    return heights;
}

}  // namespace test_support
