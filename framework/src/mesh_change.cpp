#include "tarnix/mesh_change.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "tarnix/error.h"
#include "tarnix/mesh.h"
#include "tarnix/sculpt_layer.h"

namespace tarnix {

struct MeshChange::MeshState {
    uint32_t faceCount = 0;
    std::vector<uint32_t> corners;
    std::vector<VertexRecord> vertices;
    std::vector<PackedNormal> normals;
    std::vector<uint8_t> faceFlags;
};

namespace {

template <class T>
void Exchange(Store<T>& store, std::vector<T>& kept) {
    std::vector<T> current(store.begin(), store.end());
    if (!store.Reserve(uint32_t(kept.size()))) throw &Error::s_cBadAlloc;
    std::copy(kept.begin(), kept.end(), store.Data());
    store.SetCount(uint32_t(kept.size()));
    kept.swap(current);
}

}  // namespace

MeshChange::MeshChange(Mesh* mesh) : m_mesh(mesh) {}

MeshChange::~MeshChange() = default;

void MeshChange::KeepTopology() {
    if (m_topology) return;
    m_topology = std::make_unique<MeshState>();
    MeshState& kept = *m_topology;
    kept.faceCount = m_mesh->m_faceCount;
    kept.corners.assign(m_mesh->m_cornerIndices.begin(), m_mesh->m_cornerIndices.end());
    kept.vertices.assign(m_mesh->m_vertices.begin(), m_mesh->m_vertices.end());
    kept.normals.assign(m_mesh->m_normals.begin(), m_mesh->m_normals.end());
    kept.faceFlags.assign(m_mesh->m_faceFlags.begin(), m_mesh->m_faceFlags.end());
    for (const StoredVertexInfo& entry : m_entries) {
        std::memcpy(kept.vertices[entry.m_vertex].position, entry.m_position, sizeof(entry.m_position));
        kept.normals[entry.m_vertex] = {entry.m_normal[0], entry.m_normal[1], entry.m_normal[2], 0};
    }
    // The kept records point at no entry: the entries describe the other state.
    for (VertexRecord& record : kept.vertices) record.undoSlot = Mesh::kNone;
}

uint64_t MeshChange::Bytes() const {
    uint64_t bytes = sizeof(MeshChange) + uint64_t(m_entries.Capacity()) * sizeof(StoredVertexInfo);
    if (m_topology)
        bytes += sizeof(MeshState) + m_topology->corners.capacity() * sizeof(uint32_t) +
                 m_topology->vertices.capacity() * sizeof(VertexRecord) +
                 m_topology->normals.capacity() * sizeof(PackedNormal) + m_topology->faceFlags.capacity();
    return bytes;
}

void MeshChange::Trim() {
    // A refused copy keeps the larger array: still correct, only less compact.
    if (m_entries.Count() > 0 && m_entries.Capacity() > m_entries.Count()) m_entries.Reserve(m_entries.Count());
}

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
    if (m_topology) {
        MeshState& kept = *m_topology;
        Exchange(m_mesh->m_cornerIndices, kept.corners);
        Exchange(m_mesh->m_vertices, kept.vertices);
        Exchange(m_mesh->m_normals, kept.normals);
        Exchange(m_mesh->m_faceFlags, kept.faceFlags);
        std::swap(m_mesh->m_faceCount, kept.faceCount);
        m_mesh->TopologyChanged();
        return;
    }
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
