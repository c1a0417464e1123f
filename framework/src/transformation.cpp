#include "tarnix/transformation.h"

namespace tarnix {

void Transformation::SetScale(const Vector& scale) {
    m_scale = scale;
    Update();
}

void Transformation::SetRotation(const Matrix& rotation) {
    m_rotation = rotation;
    for (int i = 0; i < 3; ++i) m_rotation[3][i] = m_rotation[i][3] = 0.0f;
    m_rotation[3][3] = 1.0f;
    Update();
}

void Transformation::SetTranslation(const Vector& translation) {
    m_translation = translation;
    Update();
}

void Transformation::Update() {
    m_meshToWorld = Matrix::Scale(m_scale) * m_rotation * Matrix::Translation(m_translation);
    m_worldToMesh = m_meshToWorld;
    // A zero scale has no inverse; the world-to-mesh map then stays the identity.
    if (!m_worldToMesh.Invert()) m_worldToMesh = Matrix();
}

}  // namespace tarnix
