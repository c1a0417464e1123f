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
// the detail asked for, so the brush always has vertices to move. Edges are split at their
// midpoints, neighbours included, so the mesh stays closed; reduction merges edges shorter
// than the detail asked for at their midpoints, where that neither pinches the surface nor
// turns a face over. Faces merged away stay in place, shrunk to a point on their unused
// vertex, until the stroke ends (the host's dab points keep naming faces by index until then);
// the merged-away vertex stays unused, so vertex numbers hold.
// The stroke's undo record keeps the mesh as it was; undo brings the old faces back and redo
// the new ones.

#include <cstdint>
#include <vector>

#include "tarnix/attribute.h"
#include "tarnix/brush_operation.h"
#include "tarnix/enumerators.h"
#include "tarnix/geodesic_enumerator.h"
#include "tarnix/store.h"
#include "tarnix/surface_point.h"

namespace tarnix {
class MeshChange;
}

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
    bool IsActive() const { return m_active; }
    uint32_t VertexCount() const { return m_index.Count(); }
    uint32_t RecordCount() const { return m_count; }
    uint32_t& IndexOf(uint32_t vertex) { return m_index[vertex]; }
    /// @brief Makes room for one more record (pages up to the needed count) and returns it;
    /// null when the memory cannot be had.
    uint8_t* AppendRecord();
    uint8_t* Record(uint32_t index) {
        return m_pages[index >> kPageShift] + size_t(index & (kPageSize - 1)) * kRecordBytes;
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
    void InitializeTessellator(const tarnix::SurfacePoint* point, float size, tarnix::MeshChange* change,
                               float detail, bool refine, bool reduce);
    /// @brief Collects the faces under the current dab.
    void CollectFaces();
    const std::vector<uint32_t>& CollectedFaces() const { return m_collectedFaces; }
    /// @brief Refines and reduces the collected faces in up to `iterations` passes (see the
    /// header comment); `smooth` is accepted and not used.
    void DoRefineReduce(bool refine, bool reduce, int iterations, bool smooth);
    /// @brief The base face test: whether `face` of `mesh` may be worked on.
    bool Tester(tarnix::Mesh* mesh, uint32_t face) override;

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

    bool m_facesRemoved = false;

    tarnix::Mesh* m_strokeMesh = nullptr;
    tarnix::SurfacePoint m_tessellationPoint;
    float m_tessellationSize = 0.0f;
    float m_tessellationDetail = 0.0f;
    std::vector<uint32_t> m_collectedFaces;
};
