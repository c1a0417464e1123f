#include "tarnix/mesh_change.h"

#include <cstring>
#include <utility>

#include "tarnix/mesh.h"
#include "tarnix/sculpt_layer.h"

namespace tarnix {

MeshChange::MeshChange(Mesh* mesh) : m_mesh(mesh) {}

StoredVertexInfo* MeshChange::Add_uncached(uint32_t vertex, uint32_t face, VertexRecord* record,
                                           bool withLayer, float buildUp) {
    StoredVertexInfo entry;
    std::memcpy(entry.m_position, record->position, sizeof(entry.m_position));
    entry.m_stamp = 0;
    entry.m_face = face;
    entry.m_flags = 0;
    entry.m_buildUp = buildUp;
    entry.m_vertex = vertex;
    entry.m_layerWord = Mesh::kNone;
    const PackedNormal& normal = m_mesh->m_normals[vertex];
    entry.m_normal[0] = normal.x;
    entry.m_normal[1] = normal.y;
    entry.m_normal[2] = normal.z;
    entry.m_reserved = 0;
    std::memset(entry.m_layerOffset, 0, sizeof(entry.m_layerOffset));
    SculptLayer* layer = withLayer ? m_mesh->ActiveLayer() : nullptr;
    if (layer) {
        // One record serves one layer: the one active when the stroke began.
        if (!m_layer) m_layer = layer;
        entry.m_flags |= StoredVertexInfo::kHasLayer;
        entry.m_layerWord = layer->LayerWord(vertex);
        const Vector offset = layer->Offset(vertex);
        entry.m_layerOffset[0] = offset.x;
        entry.m_layerOffset[1] = offset.y;
        entry.m_layerOffset[2] = offset.z;
    }
    if (!m_entries.Append(entry)) return nullptr;
    record->undoSlot = m_entries.Count() - 1;
    return &m_entries[m_entries.Count() - 1];
}

StoredVertexInfo* MeshChange::Find(uint32_t vertex) {
    const uint32_t slot = m_mesh->m_vertices[vertex].undoSlot;
    if (slot < m_entries.Count() && m_entries[slot].m_vertex == vertex) return &m_entries[slot];
    return nullptr;
}

void MeshChange::Swap() {
    for (StoredVertexInfo& entry : m_entries) {
        VertexRecord& record = m_mesh->m_vertices[entry.m_vertex];
        for (int i = 0; i < 3; ++i) std::swap(entry.m_position[i], record.position[i]);
        PackedNormal& normal = m_mesh->m_normals[entry.m_vertex];
        std::swap(entry.m_normal[0], normal.x);
        std::swap(entry.m_normal[1], normal.y);
        std::swap(entry.m_normal[2], normal.z);
        if ((entry.m_flags & StoredVertexInfo::kHasLayer) && m_layer) {
            const Vector current = m_layer->Offset(entry.m_vertex);
            m_layer->SetOffset(entry.m_vertex,
                               {entry.m_layerOffset[0], entry.m_layerOffset[1], entry.m_layerOffset[2]});
            entry.m_layerOffset[0] = current.x;
            entry.m_layerOffset[1] = current.y;
            entry.m_layerOffset[2] = current.z;
        }
    }
}

}  // namespace tarnix
