#pragma once
// Velder: the host's dynamic-tessellation brush, the base class of sculpting brushes that may
// refine the mesh under the brush while they stroke. It lives in its own plug-in module;
// brushes derive from it and keep its face test, its stroke bookkeeping and its tessellator.
//
// What it offers derived brushes:
//   - the dynamic-tessellation switch and its refinement settings (mode, interval in dabs);
//   - the whole-mesh flags, the facing-falloff angles, the mesh-switch guard;
//   - a geodesic enumerator whose results (vertex, face) brushes walk;
//   - the vertex record store: 64-byte records of the tessellated mesh's vertices, in pages;
//   - the tessellator's entry points and the base face test.
//
// Tessellation applies to triangle meshes that stand alone (a geometry of one level, without
// sculpt layers): there, each refinement splits the edges under the dab that are longer than
// the detail asked for, so the brush always has vertices to move. Edges are split, neighbours
// included, so the mesh stays closed: at their midpoints, or with `smooth` on the
// interpolating surface through the neighbours (modified butterfly), so that refining a
// curved area keeps it curved. Reduction merges edges shorter than the detail asked for at
// their midpoints, where that neither pinches the surface nor turns a face over; flips then
// even out the valences the splits and merges left. Faces merged away stay in place, shrunk
// to a point on their unused vertex, until the stroke ends (the host's dab points keep naming
// faces by index until then); the merged-away vertex stays unused, so vertex numbers hold.
// The stroke's undo record keeps the mesh as it was; undo brings the old faces back and redo
// the new ones.
//
// Per-vertex data follows the edits: after every split, flip and merge the tessellator calls
// OnEdgeSplit, OnEdgeFlip or OnEdgeCollapse, with the mesh already in its new state. Velder's
// own versions give a vertex made by a split (or kept by a merge) the vertex record and the
// undo entry its ends had, blended, so that distances, build-up and the original position
// carry on across the edit; brushes that keep more per-vertex data override them and call
// the base. CheckValidity tells whether the mesh and that data still hold together.

#include <QString>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tarnix/attribute.h"
#include "tarnix/brush_operation.h"
#include "tarnix/enumerators.h"
#include "tarnix/geodesic_enumerator.h"
#include "tarnix/store.h"
#include "tarnix/surface_point.h"

namespace tarnix {
class MeshChange;
struct StoredVertexInfo;
}  // namespace tarnix

/// One vertex as a brush first found it in the stroke: the 64 bytes of a record of the
/// VertexRecordStore, little-endian, at these offsets.
struct VertexRecordData {
    float position[3];        // 0: position
    uint8_t packedNormal[8];  // 12: the vertex's entry of the mesh's normal array, unchanged
    uint32_t vertex;          // 20: vertex index
    float freeze;             // 24: freeze strength / 127
    float normal[3];          // 28: normal as floats
    uint8_t hostBit;          // 40: the top bit of the freeze byte
    uint8_t unused[3];        // 41
    uint8_t layerEntry[20];   // 44: the vertex's entry of the brush's layer vector (zeros
                              //     here: tessellated meshes have no layers)
};
static_assert(sizeof(VertexRecordData) == 64, "vertex records are 64 bytes");

/// Paged store of 64-byte vertex records, with an index per vertex (all ones: none yet).
class VertexRecordStore {
public:
    static constexpr uint32_t kRecordBytes = 64;
    static constexpr uint32_t kPageShift = 10;
    static constexpr uint32_t kPageSize = 1u << kPageShift;
    static constexpr uint32_t kAlignment = 64;
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    VertexRecordStore() = default;
    VertexRecordStore(const VertexRecordStore&) = delete;
    VertexRecordStore& operator=(const VertexRecordStore&) = delete;
    ~VertexRecordStore() { Reset(0); }

    /// @brief Empties the store and sizes the index for `vertexCount` vertices.
    void Reset(uint32_t vertexCount);
    /// @brief Lengthens the index to `vertexCount` vertices (new ones without a record);
    /// false when the memory cannot be had.
    bool Grow(uint32_t vertexCount);
    bool IsActive() const { return m_active; }
    uint32_t VertexCount() const { return m_index.Count(); }
    uint32_t RecordCount() const { return m_count; }
    uint32_t& IndexOf(uint32_t vertex) { return m_index[vertex]; }
    uint32_t IndexOf(uint32_t vertex) const { return m_index[vertex]; }
    /// @brief Makes room for one more record (pages up to the needed count) and returns it;
    /// null when the memory cannot be had.
    uint8_t* AppendRecord();
    uint8_t* Record(uint32_t index) {
        return m_pages[index >> kPageShift] + size_t(index & (kPageSize - 1)) * kRecordBytes;
    }
    /// @brief A copy of record `index`, read as its fields.
    VertexRecordData Data(uint32_t index) const {
        VertexRecordData data;
        std::memcpy(&data, m_pages[index >> kPageShift] + size_t(index & (kPageSize - 1)) * kRecordBytes, sizeof(data));
        return data;
    }

private:
    bool m_active = false;
    std::vector<uint8_t*> m_pages;
    uint32_t m_count = 0;
    tarnix::Store<uint32_t> m_index{"velder records"};
};

class Velder : public tarnix::BrushOperation, public tarnix::FaceEnumerator {
public:
    Velder();
    ~Velder() override;

    const tarnix::ClassDesc* GetClass() const override;
    static const tarnix::ClassDesc* StaticClass();
    void Serialize(tarnix::Stream& stream) override;
    Velder& operator=(const tarnix::BrushOperation& source) override;

    void SetActiveConfiguration(tarnix::BrushConfiguration* configuration) override;
    /// @brief Runs last in activation: the refinement settings are hidden while dynamic
    /// tessellation is off.
    virtual void EnableOptions();

    void BeginStroke(tarnix::Mesh* mesh, Modifier modifier, TriggerType trigger) override;
    void EndStroke() override;

    /// Edge length aimed at, as a fraction of the brush radius, when adaptive refinement is off.
    static constexpr float kDefaultDetail = 0.2f;

    /// @brief Whether the tessellating path applies to `mesh`: dynamic tessellation is on and
    /// `mesh` is a triangle mesh standing alone (no subdivision levels, no sculpt layers).
    bool MeshEditable(const tarnix::Mesh* mesh) const;
    /// @brief Whether it applies to the mesh of the current dab.
    bool CurrentMeshEditable() const;
    /// @brief Starts the tessellator for a dab at `point` of radius `size` (world units).
    /// Refinement aims at edges of the adaptive-refinement amount times the radius
    /// (kDefaultDetail when that is off) and splits edges longer than `detail` times that.
    void InitializeTessellator(const tarnix::SurfacePoint* point, float size, tarnix::MeshChange* change, float detail,
                               bool refine, bool reduce);
    /// @brief Collects the faces under the current dab.
    void CollectFaces();
    const std::vector<uint32_t>& CollectedFaces() const { return m_collectedFaces; }
    /// @brief Refines and reduces the collected faces in up to `iterations` passes, each
    /// splitting, merging and flipping (see the header comment); with `smooth` new vertices
    /// go on the interpolating surface through their neighbours, else on the edge midpoints.
    void DoRefineReduce(bool refine, bool reduce, int iterations, bool smooth);
    /// @brief The base face test: whether `face` of `mesh` may be worked on.
    bool Tester(tarnix::Mesh* mesh, uint32_t face) override;

    // ---- per-vertex data across the tessellator's edits -----------------------------------------
    /// @brief After edge (a, b) was split at the new vertex `middle`: `middle` gets the
    /// vertex record and undo entry of its ends, blended, when either end has one.
    virtual void OnEdgeSplit(uint32_t a, uint32_t b, uint32_t middle);
    /// @brief After the edge (a, b) between faces (a, b, c) and (b, a, d) was flipped to
    /// (c, d). No vertex is made or lost, so Velder's per-vertex data needs nothing; brushes
    /// that keep data per edge or face override it.
    virtual void OnEdgeFlip(uint32_t a, uint32_t b, uint32_t c, uint32_t d);
    /// @brief After `removed` was merged into `kept` at their midpoint (so `kept` was at
    /// 2 kept - removed before): `kept` gets both vertices' record and undo entry, blended.
    virtual void OnEdgeCollapse(uint32_t kept, uint32_t removed);
    /// @brief Where `vertex` of the tessellated mesh was when the stroke first reached it: its
    /// vertex record's position, or where it is now when it has no record.
    tarnix::Vector VertexOriginalPosition(uint32_t vertex) const;
    /// @brief Appends the vertex record of `vertex` of `mesh` (its state now) and points the
    /// vertex's index entry at it; false when there is no room.
    bool AppendVertexRecord(const tarnix::Mesh& mesh, uint32_t vertex);
    /// @brief Whether the mesh of the current dab is sound after the tessellator's edits: live
    /// faces have three distinct corners and an area, faces merged away are shrunk to a point
    /// and not sculptable, no edge runs twice the same way (the mesh is manifold and
    /// consistently oriented), the mesh's faces-around-vertex lists match its faces, positions
    /// are finite, and every vertex record and undo entry names its own vertex. On failure
    /// `problem` (when given) receives the first fault found.
    bool CheckValidity(QString* problem = nullptr) const;

    // ---- state derived brushes read and set -------------------------------------------------
    bool m_dynamicTessellation = false;
    tarnix::AttributeInstance<bool> m_dynamicTessellationAttr;
    /// 0: refine every m_refineIntervalAttr dabs; 1: refine every dab.
    tarnix::AttributeInstance<int> m_refineModeAttr;
    tarnix::AttributeInstance<int> m_refineIntervalAttr;
    bool m_wholeMeshPass = false;
    /// The whole-mesh pass weighs vertices by how much they face the camera.
    bool m_wholeMeshFromCamera = false;
    /// Facing falloff, in degrees: full weight below the start, none past start + width.
    float m_facingFalloffStart = 60.0f;
    float m_facingFalloffWidth = 30.0f;
    tarnix::GeodesicEnumerator m_geodesic;
    /// Non-zero while a dab must not switch meshes.
    uint32_t m_meshSwitchGuard = 0;
    VertexRecordStore m_records;

private:
    struct EdgeLengths {
        tarnix::Vector centre;  // the dab, in mesh space
        float radius;
        float longest;   // edges longer are split
        float shortest;  // edges shorter are merged
    };
    EdgeLengths AimedEdgeLengths(const tarnix::Mesh& mesh) const;
    /// One pass of refinement over `region`; the faces it made or changed are added to it.
    /// False when no edge needed splitting.
    bool SplitLongEdges(tarnix::Mesh& mesh, std::vector<uint32_t>& region, bool& editing);
    /// One pass of reduction over `region`: short edges inside the brush merge at their
    /// midpoints. False when none could.
    bool CollapseShortEdges(tarnix::Mesh& mesh, std::vector<uint32_t>& region, bool& editing);
    /// One pass of flips over `region`: edges inside the brush whose flip brings the valences
    /// of their four vertices closer to regular. False when none was flipped.
    bool FlipEdges(tarnix::Mesh& mesh, const std::vector<uint32_t>& region, bool& editing);
    /// The undo entry of `vertex` in the stroke's record, null without one.
    tarnix::StoredVertexInfo* UndoEntry(uint32_t vertex) const;
    /// Gives `target` the per-vertex data of `a` and `b`, blended; `aWas` and `bWas` are
    /// where the two were before the edit.
    void BlendVertexData(uint32_t target, uint32_t a, const tarnix::Vector& aWas, uint32_t b,
                         const tarnix::Vector& bWas);

    bool m_facesRemoved = false;
    bool m_smoothSplits = false;
    tarnix::MeshChange* m_tessellationChange = nullptr;

    tarnix::Mesh* m_strokeMesh = nullptr;
    tarnix::SurfacePoint m_tessellationPoint;
    float m_tessellationSize = 0.0f;
    float m_tessellationDetail = 0.0f;
    std::vector<uint32_t> m_collectedFaces;
};
