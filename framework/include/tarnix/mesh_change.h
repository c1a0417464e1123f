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
// fault in) its record again at every doubling. Pages are tracked memory (Block).
//
// A change that alters the topology (a tessellating brush splitting faces) keeps the whole
// mesh as it was when the change began instead: vertices, normals, faces and face flags.
// Swapping then exchanges the whole mesh, and the per-vertex entries are not used.

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
    static constexpr uint32_t kHasLayer = 1;

    float m_position[3];
    /// Change-counter value of the last pass that moved the vertex.
    uint32_t m_stamp;
    /// The face the vertex was recorded under.
    uint32_t m_face;
    uint32_t m_flags;
    /// Build-up accumulated over the stroke, 0..1.
    float m_buildUp;
    uint32_t m_vertex;
    /// The vertex's word in the active layer (Mesh::kNone without a layer).
    uint32_t m_layerWord;
    int16_t m_normal[3];
    int16_t m_reserved;
    float m_layerOffset[3];
};

class MeshChange {
public:
    explicit MeshChange(Mesh* mesh);
    ~MeshChange();

    static constexpr uint32_t kPageShift = 12;
    static constexpr uint32_t kEntriesPerPage = 1u << kPageShift;

    Mesh* GetMesh() const { return m_mesh; }
    uint32_t Count() const { return m_count; }
    StoredVertexInfo& operator[](uint32_t slot) {
        return m_pages[slot >> kPageShift][slot & (kEntriesPerPage - 1)];
    }
    const StoredVertexInfo& operator[](uint32_t slot) const {
        return m_pages[slot >> kPageShift][slot & (kEntriesPerPage - 1)];
    }

    /// @brief Adds an entry for `vertex` with its current state, without checking for an
    /// existing one; `withLayer` also keeps the active layer's offset. The entry's build-up
    /// starts at `buildUp`; the vertex record's undo slot is pointed at the entry. Null when
    /// the host's tracked memory refuses to grow the record.
    StoredVertexInfo* Add_uncached(uint32_t vertex, uint32_t face, VertexRecord* record,
                                   bool withLayer, float buildUp);
    /// @brief The vertex's entry, or null when it has none.
    StoredVertexInfo* Find(uint32_t vertex);

    /// @brief Exchanges the stored and the current states of every entry (undo, then redo),
    /// or of the whole mesh when the change keeps the topology.
    void Swap();

    /// @brief Keeps the whole mesh as it was when the change began (the entries give the
    /// starting positions and normals of the vertices moved so far). Once per change.
    void KeepTopology();
    bool KeepsTopology() const { return m_topology != nullptr; }
    /// @brief For a change that keeps the topology: how many vertices the mesh had, and where
    /// vertex `vertex` (below that count) was, when the change began.
    uint32_t KeptVertexCount() const;
    Vector KeptPosition(uint32_t vertex) const;

    /// @brief The bytes the record holds (entry pages and a kept mesh).
    uint64_t Bytes() const;

private:
    /// The whole mesh at one moment.
    struct MeshState;

    /// @brief Room for one more entry: a new page when the last one is full. False when the
    /// tracked memory refuses.
    bool Grow();

    Mesh* m_mesh;
    SculptLayer* m_layer = nullptr;
    Store<StoredVertexInfo*> m_pages{"undo entry pages"};
    uint32_t m_count = 0;
    std::unique_ptr<MeshState> m_topology;
};

}  // namespace tarnix
