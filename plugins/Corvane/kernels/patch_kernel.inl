// Template body of the patch kernel frame (patch_kernel.h).

#include <cstdlib>
#include <utility>

#include "host/crash_guard.h"
#include "kernels/dab_block.h"
#include "kernels/kernel_index.h"
#include "kernels/vertex_pipeline.h"
#include "tarnix/mesh_change.h"
#include "tarnix/mesh_renderer.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/subdivision_level.h"

template <class Choices>
bool Corvane::RunPatchKernel(uint32_t face, const Choices& choices) {
    using tarnix::HWVector;
    const corvane::EntryGuard guard(corvane::kGuardPatchKernel);
    if (choices.Layer() && !m_activeLayer->AcceptsFace(face)) return false;

    tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    tarnix::MeshChange& change = *m_meshChanges[m_meshChanges.Count() - 1].second;
    const corvane::DabFrame frame = corvane::MakeDabFrame(*this);
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
    const uint32_t m = m_ringSide;
    HWVector* ring = m_ringPositions;
    HWVector* rows = corvane::DabRows(m_dabBlock);
    HWVector boxMinimum = rows[corvane::kRowBoxMinimum], boxMaximum = rows[corvane::kRowBoxMaximum];
    const bool layerSmoothing = !choices.VertexNormals() && m_activeLayer != nullptr;
    uint32_t inside = 0;
    bool entered = true;  // every vertex of the patch holds an undo entry

    // The grid walk is not in memory order: the vertex records come in ahead of their turn,
    // and their undo entries once the records are in (the record names the entry's slot).
    constexpr uint32_t kRecordsAhead = 16, kEntriesAhead = 8;
    for (uint32_t k = 0; k < count; ++k) {
        const GridVertex& grid = m_gridRecords[k];
        if (k + kRecordsAhead < count) __builtin_prefetch(&level.m_vertices[m_gridRecords[k + kRecordsAhead].vertex]);
        if (k + kEntriesAhead < count) {
            const uint32_t slot = level.m_vertices[m_gridRecords[k + kEntriesAhead].vertex].undoSlot;
            if (slot < change.Count()) __builtin_prefetch(&change[slot]);
        }
        tarnix::VertexRecord& record = level.m_vertices[grid.vertex];
        const HWVector position = HWVector::LoadXYZ(record.position);
        tarnix::StoredVertexInfo* entry = change.EntryAt(record.undoSlot, grid.vertex);
        if (!entry) entry = change.Add_uncached(grid.vertex, grid.quad, &record, choices.Layer(), 0.0f);
        entered = entered && entry != nullptr;
        // A vertex another patch moved in this pass only lends its position to the ring.
        if (!entry || std::exchange(entry->m_stamp, m_dabStamp) == m_dabStamp) {
            ring[grid.ringCell] = position;
            continue;
        }
        // The mirrored twin samples the stamp where the vertex's partner first was; the
        // partner enters the undo record only when the stamp is sampled for this vertex.
        const auto stampAt = [&] {
            HWVector partnerStored;
            return frame.stampAtPartner && PartnerStoredPosition(grid.vertex, grid.quad, choices.Layer(), partnerStored)
                       ? partnerStored
                       : HWVector::LoadXYZ(entry->m_position);
        };
        const corvane::VertexState state{
            grid.vertex,
            position,
            HWVector::LoadXYZ(entry->m_position),
            tarnix::UnpackNormal<HWVector>(entry->m_normal),
            tarnix::UnpackNormal<HWVector>(level.m_normals[grid.vertex]),
            &entry->m_buildUp,
            record.freeze};
        const auto smoothing = [&](HWVector& target, HWVector& base) {
            if (m_relaxTool) {
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
            // written back below); the layer grid keeps the layer as the patch began.
            const HWVector* cells = layerSmoothing ? m_ringLayerPositions : ring;
            const uint32_t c = grid.ringCell;
            target = (cells[c] + cells[c - 1] + cells[c + 1] + cells[c - m] + cells[c + m]) * 0.2f;
            base = layerSmoothing ? cells[c] : position;
            return true;
        };
        HWVector displacement;
        if (!corvane::CalcDisplacement(frame, choices, state, stampAt, smoothing, displacement)) {
            ring[grid.ringCell] = position;
            continue;
        }
        ++inside;
        HWVector moved = position + displacement;
        if (choices.Layer()) {
            const uint32_t kept = change.LayerWord(*entry);
            const uint32_t word = kept != tarnix::Mesh::kNone ? kept : grid.vertex;
            const tarnix::Vector layerPosition = m_activeLayer->Position(word);
            m_activeLayer->SetPosition(word, grid.vertex, layerPosition + displacement.ToVector(), true);
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
        ring[grid.ringCell] = moved;
        boxMinimum = tarnix::Minimum(tarnix::Minimum(boxMinimum, moved), position);
        boxMaximum = tarnix::Maximum(tarnix::Maximum(boxMaximum, moved), position);
        if (choices.NotifyEachVertex())
            for (tarnix::MeshRenderer* renderer : m_renderers) renderer->Notify(grid.vertex, grid.quad);
    }
    rows[corvane::kRowBoxMinimum] = boxMinimum;
    rows[corvane::kRowBoxMaximum] = boxMaximum;
    if (entered && count) NotePatchEntries(face);
    corvane::g_processedVertexCount += count;
    m_vertexUpdates += inside;
    return inside > 0;
}

template <uint32_t Index>
bool Corvane::PatchKernel(uint32_t face) {
    return RunPatchKernel(face, corvane::StaticChoices<Index>{});
}
