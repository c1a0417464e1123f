// Template bodies of the patch kernel (patch_kernel.h): the walk over one patch, a free
// template of the dab's frame, the kernel's choices and the patch's working set, and the
// brush's member that sets the working set up for it.

#include <cstdlib>
#include <utility>

#include "host/crash_guard.h"
#include "kernels/dab_block.h"
#include "kernels/kernel_index.h"
#include "kernels/patch_work.h"
#include "kernels/vertex_pipeline.h"

namespace corvane {

/// @brief Walks the records of `work` through the pipeline and the write step. A vertex
/// without an undo entry, or one another patch moved in this pass, only lends its position to
/// the padded grid, as does one outside the brush. `stampAt(grid, entry)` gives where the
/// stamp is sampled for a vertex; `smoothing(grid, position, target, base)` the smoothing
/// family's target and base (kernels/vertex_pipeline.h).
template <class Choices, class StampAt, class Smoothing>
[[gnu::always_inline]] inline void WalkPatch(const DabFrame& frame, const Choices& choices, PatchWork& patch,
                                             StampAt&& stampAt, Smoothing&& smoothing) {
    using tarnix::HWVector;
    // A copy of its own, so that the counts and the box stay in registers across the calls
    // out of the loop.
    PatchWork work = patch;
    tarnix::SubdivisionLevel& level = work.level;
    tarnix::MeshChange& change = work.change;
    const GridVertex* records = work.records;
    HWVector* ring = work.ring;
    for (uint32_t k = 0; k < work.count; ++k) {
        const GridVertex& grid = records[k];
        PrefetchAhead(level, change, records, k, work.count, false);
        tarnix::VertexRecord& record = level.m_vertices[grid.vertex];
        const HWVector position = HWVector::LoadXYZ(record.position);
        tarnix::StoredVertexInfo* entry = change.EntryAt(record.undoSlot, grid.vertex);
        if (!entry) entry = change.Add_uncached(grid.vertex, grid.quad, &record, choices.Layer(), 0.0f);
        work.entered = work.entered && entry != nullptr;
        if (!entry || std::exchange(entry->m_stamp, work.passStamp) == work.passStamp) {
            ring[grid.ringCell] = position;
            continue;
        }
        const VertexState state = ReadVertexState(level, record, *entry, grid.vertex, position);
        HWVector displacement;
        if (!CalcDisplacement(
                frame, choices, state, [&] { return stampAt(grid, *entry); },
                [&](HWVector& target, HWVector& base) { return smoothing(grid, position, target, base); },
                displacement)) {
            ring[grid.ringCell] = position;
            continue;
        }
        ++work.inside;
        ring[grid.ringCell] = WriteVertex(frame, work, choices.Layer(), choices.NotifyEachVertex(), record, *entry,
                                          state, grid.quad, displacement);
    }
    patch.boxMinimum = work.boxMinimum;
    patch.boxMaximum = work.boxMaximum;
    patch.inside = work.inside;
    patch.entered = work.entered;
}

}  // namespace corvane

template <class Choices>
auto Corvane::PatchStampPoint(const Choices& choices) {
    // The mirrored twin samples the stamp where the vertex's partner first was; the partner
    // enters the undo record only when the stamp is sampled for this vertex.
    return [this, choices](const corvane::GridVertex& grid, const tarnix::StoredVertexInfo& entry) {
        tarnix::HWVector partnerStored;
        return m_frame.stampAtPartner && PartnerStoredPosition(grid.vertex, grid.quad, choices.Layer(), partnerStored)
                   ? partnerStored
                   : tarnix::HWVector::LoadXYZ(entry.m_position);
    };
}

template <class Choices>
auto Corvane::PatchSmoothing(const Choices& choices) {
    using tarnix::HWVector;
    const bool layerSmoothing = !choices.VertexNormals() && m_activeLayer != nullptr;
    return [this, layerSmoothing, ring = m_ringPositions, layerRing = m_ringLayerPositions, m = m_ringSide](
               const corvane::GridVertex& grid, const HWVector& position, HWVector& target, HWVector& base) {
        if (m_switches.relax) {
            target = HWVector(RelaxTarget(grid.vertex));
            base = position;
            return true;
        }
        if (m_smoothPass < 0) {
            RecordVertex(grid.vertex, grid.quad);
            return false;
        }
        if (m_smoothPass > 0) {
            target = HWVector(InflateTarget(grid.vertex, grid.quad));
            base = layerSmoothing ? HWVector(LayerPositionOf(grid.vertex, grid.quad)) : position;
            return true;
        }
        // The padded grid already holds the vertices moved earlier in this walk (each is
        // written back after its move); the layer grid keeps the layer as the patch began.
        const HWVector* cells = layerSmoothing ? layerRing : ring;
        const uint32_t c = grid.ringCell;
        target = (cells[c] + cells[c - 1] + cells[c + 1] + cells[c - m] + cells[c + m]) * 0.2f;
        base = layerSmoothing ? cells[c] : position;
        return true;
    };
}

template <class Choices>
bool Corvane::RunPatchKernel(uint32_t face, const Choices& choices) {
    using tarnix::HWVector;
    const corvane::EntryGuard guard(corvane::kGuardPatchKernel);
    if (choices.Layer() && !m_activeLayer->AcceptsFace(face)) return false;
    // The walk reads the dab's frame through a copy of its own: no store of the walk can
    // reach a local, so the frame's values stay in registers across the vertices' writes.
    const corvane::DabFrame frame = m_frame;
    // The faster order of the vertices' numbers only where the walk's order cannot show: not
    // for smoothing (each vertex reads the vertices moved before it) or projection (its casts
    // read the mesh the walk changes, as far as the host's grid sees it), nor for a walk that
    // may add undo entries (its own, or mirror partners') or tells renderers of each vertex,
    // whose order the host sees.
    const bool projects = frame.projectionGrid && !choices.Layer();
    const bool gridOrder = choices.TheFamily() == corvane::Family::kSmoothing || projects ||
                           choices.NotifyEachVertex() || (choices.Stamp() && frame.stampAtPartner) ||
                           !PatchHoldsEntries(face);
    const uint32_t count = FillGridVertices(face, gridOrder);
    HWVector* rows = m_scratch.dabRows;
    corvane::PatchWork work{*m_subdivisionLevel,
                            *m_meshChanges[m_meshChanges.Count() - 1].second,
                            m_activeLayer,
                            m_ringPositions,
                            m_ringLayerPositions,
                            m_ringSide,
                            m_gridRecords,
                            count,
                            m_dabStamp,
                            m_renderers,
                            rows[corvane::kRowBoxMinimum],
                            rows[corvane::kRowBoxMaximum]};
    corvane::WalkPatch(frame, choices, work, PatchStampPoint(choices), PatchSmoothing(choices));
    rows[corvane::kRowBoxMinimum] = work.boxMinimum;
    rows[corvane::kRowBoxMaximum] = work.boxMaximum;
    if (work.entered && count) NotePatchEntries(face);
    corvane::g_processedVertexCount += count;
    m_vertexUpdates += work.inside;
    return work.inside > 0;
}

template <uint32_t Index>
bool Corvane::PatchKernel(uint32_t face) {
    return RunPatchKernel(face, corvane::StaticChoices<Index>{});
}
