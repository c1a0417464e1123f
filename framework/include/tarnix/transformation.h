#pragma once
// tarnix::Transformation: where a geometry sits in the world. It keeps a per-axis scale, a
// rotation and a translation, and the two matrices they make: mesh-to-world
// (scale, then rotation, then translation, for row vectors) and its inverse.

#include "tarnix/math/matrix.h"
#include "tarnix/math/vector.h"

namespace tarnix {

class Transformation {
public:
    Transformation() = default;

    const Vector& Scale() const { return m_scale; }
    const Matrix& Rotation() const { return m_rotation; }
    const Vector& Translation() const { return m_translation; }
    void SetScale(const Vector& scale);
    /// @brief A rotation matrix (row vectors); only its rotation part is used.
    void SetRotation(const Matrix& rotation);
    void SetTranslation(const Vector& translation);

    const Matrix& MeshToWorld() const { return m_meshToWorld; }
    const Matrix& WorldToMesh() const { return m_worldToMesh; }

private:
    void Update();

    Vector m_scale{1, 1, 1};
    Matrix m_rotation;
    Vector m_translation{0, 0, 0};
    Matrix m_meshToWorld;
    Matrix m_worldToMesh;
};

}  // namespace tarnix
