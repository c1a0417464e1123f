#pragma once
// What a walk over a patch (or the per-vertex path over one vertex) works on besides the dab's
// frame, and the two steps both walks share around the per-vertex pipeline: reading a
// vertex's state, and the write step that puts its new position where it belongs.

#include <cstdint>

#include "kernels/dab_frame.h"
#include "kernels/kernel_scratch.h"
#include "kernels/vertex_pipeline.h"
#include "tarnix/mesh_change.h"
#include "tarnix/mesh_renderer.h"
#include "tarnix/packed_normal.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/store.h"
#include "tarnix/subdivision_level.h"

namespace corvane {

/// A walk over a patch's records is not in memory order: the vertex records (and, with
/// `normals`, their packed normals) come in ahead of their turn, and their undo entries once
/// the records are in, as a record names its entry's slot. Called at record `k` of `count`.
[[gnu::always_inline]] inline void PrefetchAhead(const tarnix::SubdivisionLevel& level, tarnix::MeshChange& change,
                                                 const GridVertex* records, uint32_t k, uint32_t count, bool normals) {
    constexpr uint32_t kRecordsAhead = 64, kEntriesAhead = 32;
    if (k + kRecordsAhead < count) {
        const uint32_t ahead = records[k + kRecordsAhead].vertex;
        __builtin_prefetch(&level.m_vertices[ahead]);
        if (normals) __builtin_prefetch(&level.m_normals[ahead]);
    }
    if (k + kEntriesAhead < count) {
        const uint32_t slot = level.m_vertices[records[k + kEntriesAhead].vertex].undoSlot;
        if (slot < change.Count()) __builtin_prefetch(&change[slot]);
    }
}

/// The working set of one walk: the level and its undo record, where positions go, the padded
/// grids, the patch's records, the touched box and the renderers to tell. The walk fills
/// `inside` and `entered`.
struct PatchWork {
    tarnix::SubdivisionLevel& level;
    tarnix::MeshChange& change;
    /// The active layer: positions go into it when the walk writes to the layer.
    tarnix::SculptLayer* layer;
    /// The padded grid (side `ringSide`) and the layer's grid as the patch began (smoothing
    /// the active layer only); null on the per-vertex path.
    tarnix::HWVector* ring;
    const tarnix::HWVector* layerRing;
    uint32_t ringSide;
    const GridVertex* records;
    uint32_t count;
    /// The pass a vertex is stamped with once moved: a vertex already stamped is not moved again.
    uint32_t passStamp;
    const tarnix::Store<tarnix::MeshRenderer*>& renderers;
    tarnix::HWVector boxMinimum, boxMaximum;

    uint32_t inside = 0;  // vertices the pipeline took (inside the brush)
    bool entered = true;  // every vertex walked holds an undo entry
};

/// @brief The state the pipeline reads of `vertex`, now at `position`, whose undo entry is `entry`.
inline VertexState ReadVertexState(const tarnix::SubdivisionLevel& level, const tarnix::VertexRecord& record,
                                   tarnix::StoredVertexInfo& entry, uint32_t vertex, const tarnix::HWVector& position) {
    return {vertex,
            position,
            tarnix::HWVector::LoadXYZ(entry.m_position),
            tarnix::UnpackNormal<tarnix::HWVector>(entry.m_normal),
            tarnix::UnpackNormal<tarnix::HWVector>(level.m_normals[vertex]),
            &entry.m_buildUp,
            record.freeze};
}

/// @brief The write step: moves the vertex of `state` (recorded under `face`) by
/// `displacement`, into the active layer when `toLayer` (the level then shows the layers'
/// sum), else in the level, cast back onto the surface when the dab projects and the move is
/// not negligible (a hit farther than ten moves away is not taken). Widens the touched box by
/// the old and the new position and, when `notify`, tells the renderers of the vertex.
/// Returns where the vertex now is.
[[gnu::always_inline]] inline tarnix::HWVector WriteVertex(const DabFrame& frame, PatchWork& work, bool toLayer,
                                                           bool notify, tarnix::VertexRecord& record,
                                                           const tarnix::StoredVertexInfo& entry,
                                                           const VertexState& state, uint32_t face,
                                                           const tarnix::HWVector& displacement) {
    using tarnix::HWVector;
    HWVector moved = state.position + displacement;
    if (toLayer) {
        // The word the undo record keeps for the vertex's layer entry, else the vertex's own.
        const uint32_t kept = work.change.LayerWord(entry);
        const uint32_t word = kept != tarnix::Mesh::kNone ? kept : state.vertex;
        const tarnix::Vector layerPosition = work.layer->Position(word);
        work.layer->SetPosition(word, state.vertex, layerPosition + displacement.ToVector(), true);
        moved = HWVector::LoadXYZ(record.position);
    } else {
        if (frame.projectionGrid && tarnix::LengthSquared(displacement) > 1e-7f) {
            tarnix::SurfacePoint hit;
            if (frame.projectionGrid->CastRay(moved.ToVector(), state.levelNormal.ToVector(), hit, true, true) &&
                (hit.LocalPosition() - moved.ToVector()).LengthSquared() < 100.0f * tarnix::LengthSquared(displacement))
                moved = HWVector(hit.LocalPosition());
        }
        HWVector::StoreXYZ(record.position, moved);
    }
    work.boxMinimum = tarnix::Minimum(tarnix::Minimum(work.boxMinimum, moved), state.position);
    work.boxMaximum = tarnix::Maximum(tarnix::Maximum(work.boxMaximum, moved), state.position);
    if (notify)
        for (tarnix::MeshRenderer* renderer : work.renderers) renderer->Notify(state.vertex, face);
    return moved;
}

}  // namespace corvane
