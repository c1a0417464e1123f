#pragma once
// Undo records. A MeshChange belongs to one mesh and collects, for every vertex a stroke
// changes, the vertex's state when the stroke first touched it: position, normal and, when
// the change goes into a sculpt layer, the layer's offset. The vertex's record in the mesh
// points back at its entry (VertexRecord::undoSlot).
//
// Undoing a change swaps the stored and the current states; doing it again (redo) swaps
// them back, so both are bit-exact.
//
// Entries live in pages of kEntriesPerPage that never move: a growing record allocates a
// page and copies nothing, so a stroke that touches a million vertices does not copy (and
// fault in) its record again at every doubling. Pages are tracked memory (Block). An entry is
// 32 bytes; what a sculpt layer adds (the vertex's layer word and offset) lives in layer
// pages beside them, allocated only for the pages whose entries have it. The pages of a
// change that goes away (a redo branch dropped by a new stroke, history past its budget) are
// kept for the next changes, up to kKeptPageBytes in all, so that a stroke after an undo
// writes into memory the process already has instead of faulting in new pages.
//
// A change that alters the topology (a tessellating brush splitting faces) keeps the whole
// mesh as it was when the change began instead: vertices, normals, faces and face flags.
// Swapping then exchanges the whole mesh, and the per-vertex entries are not used.
//
// Besides positions, a change may keep what else a host changes in one step: the freeze of
// the vertices whose entries say so (freeze painting), and the strength of one sculpt layer.
// A change of a subdivision level with levels above it carries followers: one change per
// level above, keeping what the level moved when it followed (Geometry::CommitChange).
// Swapping a change swaps its followers with it, so that undo and redo restore every level.

#include <cstdint>
#include <memory>
#include <vector>

#include "tarnix/math/vector.h"
#include "tarnix/store.h"

namespace tarnix {

class Mesh;
class SculptLayer;
struct VertexRecord;

struct StoredVertexInfo {
    /// The entry keeps the active layer's word and offset (MeshChange::LayerWord).
    static constexpr uint8_t kHasLayer = 1;
    /// The entry keeps the vertex's freeze strength (m_freeze), which undo restores.
    static constexpr uint8_t kHasFreeze = 2;

    float m_position[3];
    /// Change-counter value of the last pass that moved the vertex.
    uint32_t m_stamp;
    /// Build-up accumulated over the stroke, 0..1.
    float m_buildUp;
    uint32_t m_vertex;
    int16_t m_normal[3];
    uint8_t m_flags;
    uint8_t m_freeze;
};
static_assert(sizeof(StoredVertexInfo) == 32, "undo entries are eight 32-bit words");

/// What an entry with kHasLayer keeps of the active layer, in pages beside the entries.
struct StoredLayerInfo {
    /// The vertex's word in the layer.
    uint32_t m_layerWord;
    float m_layerOffset[3];
};

class MeshChange {
public:
    explicit MeshChange(Mesh* mesh);
    ~MeshChange();

    static constexpr uint32_t kPageShift = 12;
    static constexpr uint32_t kEntriesPerPage = 1u << kPageShift;
    /// Entry pages of dropped changes kept for the next changes, in bytes.
    static constexpr uint64_t kKeptPageBytes = uint64_t(128) << 20;

    /// @brief Makes sure the kept entry pages (with their memory faulted in) hold room for
    /// `entries` entries, within kKeptPageBytes: the first stroke on a fresh mesh then writes
    /// its entries as fast as later ones. False when memory is refused.
    static bool KeepPagesAhead(uint64_t entries);
    /// @brief KeepPagesAhead on a worker thread, returning at once: after a change is kept in
    /// the history, the next stroke's entries then go to pages faulted in while the sculptor
    /// was between strokes. A request made while a fill runs is dropped.
    static void KeepPagesAheadInBackground(uint64_t entries);

    Mesh* GetMesh() const { return m_mesh; }
    uint32_t Count() const { return m_count; }
    StoredVertexInfo& operator[](uint32_t slot) { return m_pages[slot >> kPageShift][slot & (kEntriesPerPage - 1)]; }
    const StoredVertexInfo& operator[](uint32_t slot) const {
        return m_pages[slot >> kPageShift][slot & (kEntriesPerPage - 1)];
    }

    /// @brief Adds an entry for `vertex` with its current state, without checking for an
    /// existing one; `withLayer` also keeps the active layer's word and offset. The entry's
    /// build-up starts at `buildUp`; the vertex record's undo slot is pointed at the entry.
    /// `face` is the face the caller met the vertex in: entries are found by vertex, so this
    /// host keeps no face. Null when the host's tracked memory refuses to grow the record.
    StoredVertexInfo* Add_uncached(uint32_t vertex, uint32_t face, VertexRecord* record, bool withLayer, float buildUp);
    /// @brief The vertex's entry, or null when it has none.
    StoredVertexInfo* Find(uint32_t vertex);
    /// @brief Find for a caller that holds the vertex's record: `slot` is its undo slot.
    StoredVertexInfo* EntryAt(uint32_t slot, uint32_t vertex) {
        return slot < m_count && (*this)[slot].m_vertex == vertex ? &(*this)[slot] : nullptr;
    }
    /// @brief The layer word an entry of this change keeps (Mesh::kNone when it keeps no
    /// layer).
    uint32_t LayerWord(const StoredVertexInfo& entry) const;
    /// @brief The vertex's entry, made (without a layer) when it has none. Raises the
    /// framework's out-of-memory error when the record cannot grow.
    StoredVertexInfo& FindOrAdd(uint32_t vertex, uint32_t face);

    /// @brief Before the freeze of `vertex` changes: undo gives back the freeze it has now.
    void KeepFreeze(uint32_t vertex, uint32_t face);
    /// @brief Before the strength of `layer` changes: undo gives back the strength it has now,
    /// and every vertex of the mesh gets an entry, which gives back its position and normal.
    /// One layer per change.
    void KeepLayerStrength(SculptLayer* layer);
    /// @brief Whether the change keeps nothing (no entry, no topology, no layer strength).
    bool IsEmpty() const { return m_count == 0 && !m_topology && !m_strengthLayer && m_followers.empty(); }

    /// @brief Takes the change a level above made when it followed this one.
    void AddFollower(std::unique_ptr<MeshChange> follower) { m_followers.push_back(std::move(follower)); }
    uint32_t FollowerCount() const { return uint32_t(m_followers.size()); }
    MeshChange& Follower(uint32_t index) const { return *m_followers[index]; }

    /// @brief Exchanges the stored and the current states of every entry (undo, then redo),
    /// or of the whole mesh when the change keeps the topology; a kept layer strength and the
    /// followers' states are exchanged with them.
    void Swap();

    /// @brief Keeps the whole mesh as it was when the change began (the entries give the
    /// starting positions and normals of the vertices moved so far). Once per change.
    void KeepTopology();
    bool KeepsTopology() const { return m_topology != nullptr; }
    /// @brief For a change that keeps the topology: how many vertices the mesh had, and where
    /// vertex `vertex` (below that count) was, when the change began.
    uint32_t KeptVertexCount() const;
    Vector KeptPosition(uint32_t vertex) const;

    /// @brief The bytes the record holds (entry pages, a kept mesh, the followers).
    uint64_t Bytes() const;

private:
    /// The whole mesh at one moment.
    struct MeshState;

    /// @brief Room for one more entry: a new page when the last one is full. False when the
    /// tracked memory refuses.
    bool Grow();
    /// @brief Room for the layer data of the entry in `slot`; false when memory refuses.
    bool GrowLayers(uint32_t slot);
    StoredLayerInfo& Layer(uint32_t slot) const {
        return m_layerPages[slot >> kPageShift][slot & (kEntriesPerPage - 1)];
    }

    Mesh* m_mesh;
    SculptLayer* m_layer = nullptr;
    Store<StoredVertexInfo*> m_pages{"undo entry pages"};
    /// Parallel to m_pages; null for a page none of whose entries keeps a layer.
    Store<StoredLayerInfo*> m_layerPages{"undo entry pages"};
    uint32_t m_count = 0;
    std::unique_ptr<MeshState> m_topology;
    SculptLayer* m_strengthLayer = nullptr;  // whose strength the change keeps
    float m_storedStrength = 0.0f;
    std::vector<std::unique_ptr<MeshChange>> m_followers;
};

}  // namespace tarnix
