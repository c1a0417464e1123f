#include "tarnix/sculpt_layer.h"

#include "tarnix/error.h"
#include "tarnix/mesh.h"

namespace tarnix {

SculptLayer::SculptLayer(Mesh* mesh, const QString& name) : m_mesh(mesh), m_name(name) {
    if (!m_offsets.Assign(mesh->VertexCount(), Vector(0, 0, 0))) throw &Error::s_cBadAlloc;
}

void SculptLayer::SetStrength(float strength) {
    const float change = strength - m_strength;
    for (uint32_t v = 0; v < m_offsets.Count(); ++v)
        m_mesh->SetVertexPosition(v, m_mesh->VertexPosition(v) + m_offsets[v] * change);
    m_strength = strength;
}

bool SculptLayer::AcceptsFace(uint32_t face) const { return !m_locked && face < m_mesh->m_faceCount; }

Vector SculptLayer::Position(uint32_t layerWord) const {
    return m_mesh->VertexPosition(layerWord) + m_offsets[layerWord] * (1.0f - m_strength);
}

void SculptLayer::SetPosition(uint32_t layerWord, uint32_t vertex, const Vector& position, bool updateMesh) {
    const Vector move = position - Position(layerWord);
    m_offsets[layerWord] += move;
    if (updateMesh) m_mesh->SetVertexPosition(vertex, m_mesh->VertexPosition(vertex) + move * m_strength);
}

}  // namespace tarnix
