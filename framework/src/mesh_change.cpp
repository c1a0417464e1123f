#include "tarnix/mesh_change.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "tarnix/error.h"
#include "tarnix/math/vector.h"
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

MeshChange::~MeshChange() {
    for (StoredVertexInfo* page : m_pages) {
        Block::UnregisterMemoryBlock(uint64_t(kEntriesPerPage) * sizeof(StoredVertexInfo));
        Block::Free(page);
    }
}

bool MeshChange::Grow() {
    if (m_count < m_pages.Count() * kEntriesPerPage) return true;
    if (m_count == ~uint32_t(0)) return false;
    const uint64_t bytes = uint64_t(kEntriesPerPage) * sizeof(StoredVertexInfo);
    if (!Block::RegisterMemoryBlock(bytes)) return false;
    const char* previousId = Block::AllocatorID();
    Block::SetAllocatorID("undo entries");
    auto* page = static_cast<StoredVertexInfo*>(Block::Allocate(bytes));
    Block::SetAllocatorID(previousId);
    if (!page || !m_pages.Append(page)) {
        Block::Free(page);
        Block::UnregisterMemoryBlock(bytes);
        return false;
    }
    return true;
}

void MeshChange::KeepTopology() {
    if (m_topology) return;
    m_topology = std::make_unique<MeshState>();
    MeshState& kept = *m_topology;
    kept.faceCount = m_mesh->m_faceCount;
    kept.corners.assign(m_mesh->m_cornerIndices.begin(), m_mesh->m_cornerIndices.end());
    kept.vertices.assign(m_mesh->m_vertices.begin(), m_mesh->m_vertices.end());
    kept.normals.assign(m_mesh->m_normals.begin(), m_mesh->m_normals.end());
    kept.faceFlags.assign(m_mesh->m_faceFlags.begin(), m_mesh->m_faceFlags.end());
    for (uint32_t slot = 0; slot < m_count; ++slot) {
        const StoredVertexInfo& entry = (*this)[slot];
        std::memcpy(kept.vertices[entry.m_vertex].position, entry.m_position, sizeof(entry.m_position));
        kept.normals[entry.m_vertex] = {entry.m_normal[0], entry.m_normal[1], entry.m_normal[2], 0};
    }
    // The kept records point at no entry: the entries describe the other state.
    for (VertexRecord& record : kept.vertices) record.undoSlot = Mesh::kNone;
}

uint64_t MeshChange::Bytes() const {
    uint64_t bytes = sizeof(MeshChange) + uint64_t(m_pages.Count()) * kEntriesPerPage * sizeof(StoredVertexInfo) +
                     uint64_t(m_pages.Capacity()) * sizeof(StoredVertexInfo*);
    if (m_topology)
        bytes += sizeof(MeshState) + m_topology->corners.capacity() * sizeof(uint32_t) +
                 m_topology->vertices.capacity() * sizeof(VertexRecord) +
                 m_topology->normals.capacity() * sizeof(PackedNormal) + m_topology->faceFlags.capacity();
    return bytes;
}

uint32_t MeshChange::KeptVertexCount() const { return m_topology ? uint32_t(m_topology->vertices.size()) : 0; }

Vector MeshChange::KeptPosition(uint32_t vertex) const {
    const float* p = m_topology->vertices[vertex].position;
    return {p[0], p[1], p[2]};
}

StoredVertexInfo* MeshChange::Add_uncached(uint32_t vertex, uint32_t face, VertexRecord* record,
                                           bool withLayer, float buildUp) {
    if (!Grow()) return nullptr;
    StoredVertexInfo& entry = (*this)[m_count];
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
    record->undoSlot = m_count++;
    return &entry;
}

StoredVertexInfo* MeshChange::Find(uint32_t vertex) {
    const uint32_t slot = m_mesh->m_vertices[vertex].undoSlot;
    if (slot < m_count && (*this)[slot].m_vertex == vertex) return &(*this)[slot];
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
    for (uint32_t slot = 0; slot < m_count; ++slot) {
        StoredVertexInfo& entry = (*this)[slot];
        VertexRecord& record = m_mesh->m_vertices[entry.m_vertex];
        m_mesh->NoteMoved(Vector(record.position[0], record.position[1], record.position[2]));
        m_mesh->NoteMoved(Vector(entry.m_position[0], entry.m_position[1], entry.m_position[2]));
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
