#include "tarnix/mesh_change.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <utility>

#include <tbb/task_arena.h>

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

constexpr uint64_t kPageBytes = uint64_t(MeshChange::kEntriesPerPage) * sizeof(StoredVertexInfo);
// A change of this many entries asks for pages ahead when fewer than kLowKeptPages are kept.
constexpr uint32_t kLargeChangeEntries = 16 * MeshChange::kEntriesPerPage;
constexpr uint64_t kLowKeptPages = 8;

// Entry pages of dropped changes, kept for the next changes. Undo records are made and
// dropped on the host thread, but a background job may drop a document's history, hence the
// lock (taken once per page of entries).
class KeptPages {
public:
    // Never destroyed: undo records held by static objects may go away after it would.
    static KeptPages& Instance() {
        static KeptPages* pages = new KeptPages;
        return *pages;
    }
    void* Take() {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_pages.empty()) return nullptr;
        void* page = m_pages.back();
        m_pages.pop_back();
        return page;
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_pages.size();
    }
    /// False when enough pages are kept already: the caller frees the page.
    bool Keep(void* page) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (uint64_t(m_pages.size() + 1) * kPageBytes > MeshChange::kKeptPageBytes) return false;
        m_pages.push_back(page);
        return true;
    }

private:
    std::mutex m_mutex;
    std::vector<void*> m_pages;
};

// `bytes` of memory tagged as undo entries; null when the allocator refuses.
void* NewPage(uint64_t bytes) {
    const char* previousId = Block::AllocatorID();
    Block::SetAllocatorID("undo entries");
    void* page = Block::Allocate(bytes);
    Block::SetAllocatorID(previousId);
    return page;
}

// A page of `entryBytes` per entry as tracked memory, or null when the budget refuses.
// Entry pages come from the kept ones first.
void* AllocatePage(uint64_t entryBytes) {
    const uint64_t bytes = uint64_t(MeshChange::kEntriesPerPage) * entryBytes;
    if (!Block::RegisterMemoryBlock(bytes)) return nullptr;
    if (bytes == kPageBytes)
        if (void* page = KeptPages::Instance().Take()) return page;
    void* page = NewPage(bytes);
    if (!page) Block::UnregisterMemoryBlock(bytes);
    return page;
}

void FreePage(void* page, uint64_t entryBytes) {
    if (!page) return;
    const uint64_t bytes = uint64_t(MeshChange::kEntriesPerPage) * entryBytes;
    Block::UnregisterMemoryBlock(bytes);
    if (bytes == kPageBytes && KeptPages::Instance().Keep(page)) return;
    Block::Free(page);
}

}  // namespace

MeshChange::MeshChange(Mesh* mesh) : m_mesh(mesh) {}

bool MeshChange::KeepPagesAhead(uint64_t entries) {
    const uint64_t wanted = std::min((entries + kEntriesPerPage - 1) / kEntriesPerPage, kKeptPageBytes / kPageBytes);
    KeptPages& kept = KeptPages::Instance();
    for (uint64_t count = kept.Count(); count < wanted; ++count) {
        void* page = NewPage(kPageBytes);
        if (!page) return false;
        std::memset(page, 0, kPageBytes);  // faults the page in now rather than in a dab
        if (!kept.Keep(page)) {
            Block::Free(page);
            break;
        }
    }
    return true;
}

void MeshChange::KeepPagesAheadInBackground(uint64_t entries) {
    // One fill at a time, on a worker thread of its own arena (the host's other work does not
    // wait behind it); a request made while one runs is dropped, the next change asks again.
    static std::atomic<bool> filling{false};
    if (filling.exchange(true)) return;
    static auto* arena = new tbb::task_arena(1, 0);  // never destroyed, like the kept pages
    arena->enqueue([entries] {
        KeepPagesAhead(entries);
        filling = false;
    });
}

MeshChange::~MeshChange() {
    for (StoredVertexInfo* page : m_pages) FreePage(page, sizeof(StoredVertexInfo));
    for (StoredLayerInfo* page : m_layerPages) FreePage(page, sizeof(StoredLayerInfo));
}

bool MeshChange::Grow() {
    if (m_count < m_pages.Count() * kEntriesPerPage) return true;
    if (m_count == ~uint32_t(0)) return false;
    auto* page = static_cast<StoredVertexInfo*>(AllocatePage(sizeof(StoredVertexInfo)));
    if (!page || !m_pages.Append(page)) {
        FreePage(page, sizeof(StoredVertexInfo));
        return false;
    }
    // A large change that runs low on kept pages (the first stroke on a level, or one larger
    // than the last) has a worker fault in as many again as it holds, ahead of its dabs, which
    // would otherwise wait for each page's first write (a quarter of a first stroke's time on
    // the cube subdivided 9).
    if (m_count >= kLargeChangeEntries && KeptPages::Instance().Count() < kLowKeptPages)
        KeepPagesAheadInBackground(m_count);
    return true;
}

bool MeshChange::GrowLayers(uint32_t slot) {
    const uint32_t pageIndex = slot >> kPageShift;
    while (m_layerPages.Count() <= pageIndex)
        if (!m_layerPages.Append(nullptr)) return false;
    if (m_layerPages[pageIndex]) return true;
    m_layerPages[pageIndex] = static_cast<StoredLayerInfo*>(AllocatePage(sizeof(StoredLayerInfo)));
    return m_layerPages[pageIndex] != nullptr;
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
                     uint64_t(m_pages.Capacity()) * sizeof(StoredVertexInfo*) +
                     uint64_t(m_layerPages.Capacity()) * sizeof(StoredLayerInfo*);
    for (const StoredLayerInfo* page : m_layerPages)
        if (page) bytes += uint64_t(kEntriesPerPage) * sizeof(StoredLayerInfo);
    if (m_topology)
        bytes += sizeof(MeshState) + m_topology->corners.capacity() * sizeof(uint32_t) +
                 m_topology->vertices.capacity() * sizeof(VertexRecord) +
                 m_topology->normals.capacity() * sizeof(PackedNormal) + m_topology->faceFlags.capacity();
    for (const auto& follower : m_followers) bytes += follower->Bytes();
    return bytes;
}

uint32_t MeshChange::KeptVertexCount() const { return m_topology ? uint32_t(m_topology->vertices.size()) : 0; }

Vector MeshChange::KeptPosition(uint32_t vertex) const {
    const float* p = m_topology->vertices[vertex].position;
    return {p[0], p[1], p[2]};
}

StoredVertexInfo* MeshChange::Add_uncached(uint32_t vertex, uint32_t /*face*/, VertexRecord* record, bool withLayer,
                                           float buildUp) {
    if (!Grow()) return nullptr;
    SculptLayer* layer = withLayer ? m_mesh->ActiveLayer() : nullptr;
    if (layer && !GrowLayers(m_count)) return nullptr;
    StoredVertexInfo& entry = (*this)[m_count];
    std::memcpy(entry.m_position, record->position, sizeof(entry.m_position));
    entry.m_stamp = 0;
    entry.m_buildUp = buildUp;
    entry.m_vertex = vertex;
    const PackedNormal& normal = m_mesh->m_normals[vertex];
    entry.m_normal[0] = normal.x;
    entry.m_normal[1] = normal.y;
    entry.m_normal[2] = normal.z;
    entry.m_flags = layer ? StoredVertexInfo::kHasLayer : uint8_t(0);
    entry.m_freeze = uint8_t(record->freeze & Mesh::kFreezeStrengthMask);
    if (layer) {
        // One record serves one layer: the one active when the stroke began.
        if (!m_layer) m_layer = layer;
        StoredLayerInfo& kept = Layer(m_count);
        kept.m_layerWord = layer->LayerWord(vertex);
        const Vector offset = layer->Offset(vertex);
        kept.m_layerOffset[0] = offset.x;
        kept.m_layerOffset[1] = offset.y;
        kept.m_layerOffset[2] = offset.z;
    }
    record->undoSlot = m_count++;
    return &entry;
}

uint32_t MeshChange::LayerWord(const StoredVertexInfo& entry) const {
    if (!(entry.m_flags & StoredVertexInfo::kHasLayer)) return Mesh::kNone;
    return Layer(m_mesh->m_vertices[entry.m_vertex].undoSlot).m_layerWord;
}

StoredVertexInfo* MeshChange::Find(uint32_t vertex) { return EntryAt(m_mesh->m_vertices[vertex].undoSlot, vertex); }

StoredVertexInfo& MeshChange::FindOrAdd(uint32_t vertex, uint32_t face) {
    if (StoredVertexInfo* entry = Find(vertex)) return *entry;
    StoredVertexInfo* entry = Add_uncached(vertex, face, &m_mesh->m_vertices[vertex], false, 0.0f);
    if (!entry) throw &Error::s_cBadAlloc;
    return *entry;
}

void MeshChange::KeepFreeze(uint32_t vertex, uint32_t face) {
    FindOrAdd(vertex, face).m_flags |= StoredVertexInfo::kHasFreeze;
}

void MeshChange::KeepLayerStrength(SculptLayer* layer) {
    if (m_strengthLayer) return;
    // A strength moves every vertex the layer offsets and turns the normals around them: the
    // whole level is kept, so that undo restores both bit for bit.
    for (uint32_t v = 0; v < m_mesh->VertexCount(); ++v) FindOrAdd(v, 0);
    m_strengthLayer = layer;
    m_storedStrength = layer->Strength();
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
            StoredLayerInfo& kept = Layer(slot);
            const Vector current = m_layer->Offset(entry.m_vertex);
            m_layer->SetOffset(entry.m_vertex, {kept.m_layerOffset[0], kept.m_layerOffset[1], kept.m_layerOffset[2]});
            kept.m_layerOffset[0] = current.x;
            kept.m_layerOffset[1] = current.y;
            kept.m_layerOffset[2] = current.z;
        }
        if (entry.m_flags & StoredVertexInfo::kHasFreeze) {
            const auto current = uint8_t(record.freeze & Mesh::kFreezeStrengthMask);
            m_mesh->SetFreeze(entry.m_vertex, entry.m_freeze);
            entry.m_freeze = current;
        }
    }
    if (m_strengthLayer) {
        // The entries put the positions back; the strength only has to match them again.
        const float current = m_strengthLayer->Strength();
        m_strengthLayer->RestoreStrength(m_storedStrength);
        m_storedStrength = current;
    }
    for (const auto& follower : m_followers) follower->Swap();
}

}  // namespace tarnix
