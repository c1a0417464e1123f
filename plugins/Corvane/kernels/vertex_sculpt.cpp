// The per-vertex path: meshes that are not all quads (and geodesic results on them) are
// sculpted vertex by vertex, with the pipeline and the write step the patch kernels use, the
// dab's frame they read, its choices read at run time. Normals are not rebuilt here: the
// touched vertices are listed, and their normals recomputed at the end of the dab
// (RecomputeTouchedNormals).

#include <utility>

#include "brush/corvane.h"
#include "host/crash_guard.h"
#include "host/tracked_store.h"
#include "kernels/dab_block.h"
#include "kernels/kernel_index.h"
#include "kernels/patch_work.h"
#include "kernels/vertex_neighbours.h"
#include "kernels/vertex_pipeline.h"
#include "tarnix/mesh_change.h"
#include "tarnix/mesh_renderer.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/subdivision_level.h"

using corvane::EntryGuard;
using tarnix::HWVector;

auto Corvane::VertexStampPoint(uint32_t v, uint32_t f, const HWVector& stored) {
    // The mirrored twin samples the stamp where the vertex's partner first was; the partner
    // enters the undo record only when the stamp is sampled for this vertex.
    return [this, v, f, stored] {
        HWVector partnerStored;
        return m_frame.stampAtPartner && PartnerStoredPosition(v, f, m_hasActiveLayer, partnerStored) ? partnerStored
                                                                                                      : stored;
    };
}

auto Corvane::VertexSmoothing(uint32_t v, uint32_t f, const HWVector& position, bool& recorded) {
    const bool layerSmoothing = !m_affectAllLayersAttr.Value() && m_activeLayer;
    return [this, v, f, position, layerSmoothing, &recorded](HWVector& target, HWVector& base) {
        base = layerSmoothing && !m_switches.relax ? HWVector(LayerPositionOf(v, f)) : position;
        if (m_switches.relax) {
            target = HWVector(RelaxTarget(v));
        } else if (m_smoothPass == 0) {
            target = HWVector(OneRingAverage(v, f));
        } else if (m_smoothPass < 0) {
            RecordVertex(v, f);
            // The later passes read the two lists by the same index: no vertex may be paired
            // with another's face.
            corvane::AppendTrackedPair(m_smoothVertices, v, m_smoothVertexFaces, f);
            recorded = true;
            return false;
        } else {
            target = HWVector(InflateTarget(v, f));
        }
        return true;
    };
}

bool Corvane::Tester(tarnix::Mesh* /*mesh*/, uint32_t v, uint32_t f) {
    const EntryGuard guard(corvane::kGuardVertexSculpt);
    tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    tarnix::MeshChange& change = *m_meshChanges[m_meshChanges.Count() - 1].second;
    tarnix::VertexRecord& record = level.m_vertices[v];
    // The record at hand names the vertex's undo slot when the change is the level's own.
    const bool levelsChange = change.GetMesh() == &level;
    const auto find = [&] { return levelsChange ? change.EntryAt(record.undoSlot, v) : change.Find(v); };
    if (m_gatherPass) {
        if (m_switches.relax) return GatherRelaxVertex(v);
        const tarnix::StoredVertexInfo* entry = find();
        const uint32_t stamp = entry ? entry->m_stamp : record.undoSlot;
        return stamp != level.m_changeCounter && PlaneSample(v);
    }
    corvane::AppendTracked(m_touchedVertices, std::make_pair(f, v));
    if (m_hasActiveLayer && m_activeLayer && !m_activeLayer->AcceptsFace(f)) return false;
    // The tessellating base brush keeps each vertex as the stroke first found it.
    if (m_dynamicTessellation && m_records.IsActive() && v < m_records.VertexCount() &&
        m_records.IndexOf(v) == VertexRecordStore::kNone)
        AppendVertexRecord(level, v);

    const corvane::DabFrame& frame = m_frame;
    const corvane::RuntimeChoices choices{frame.kernel};
    const HWVector position = HWVector::LoadXYZ(record.position);
    tarnix::StoredVertexInfo* entry = find();
    if (!entry) entry = change.Add_uncached(v, f, &record, m_hasActiveLayer, 0.0f);
    if (!entry) return false;
    if (std::exchange(entry->m_stamp, m_dabStamp) == m_dabStamp) {
        // Inside as the brush measures it: in the world under a non-uniform scale.
        const HWVector stored = HWVector::LoadXYZ(entry->m_position);
        const HWVector o =
            choices.NonUniformScale() ? corvane::TransformPoint(frame.rows, corvane::kRowMeshToWorld, stored) : stored;
        return level.m_faceKind == tarnix::Mesh::kTriangles &&
               (tarnix::LengthSquared(frame.center - o) <= frame.radiusSquared || m_wholeMeshPass);
    }

    const corvane::VertexState state = corvane::ReadVertexState(level, record, *entry, v, position);
    bool recorded = false;
    HWVector displacement;
    if (!corvane::CalcDisplacement(frame, choices, state, VertexStampPoint(v, f, state.stored),
                                   VertexSmoothing(v, f, position, recorded), displacement))
        return false;
    if (recorded) return true;
    ++m_vertexUpdates;

    tarnix::SculptLayer* layer = m_hasActiveLayer ? m_activeLayer : nullptr;
    HWVector* rows = m_scratch.dabRows;
    corvane::PatchWork work{level,
                            change,
                            layer,
                            nullptr,
                            nullptr,
                            0,
                            nullptr,
                            0,
                            m_dabStamp,
                            m_renderers,
                            rows[corvane::kRowBoxMinimum],
                            rows[corvane::kRowBoxMaximum]};
    corvane::WriteVertex(frame, work, layer != nullptr, true, record, *entry, state, f, displacement);
    rows[corvane::kRowBoxMinimum] = work.boxMinimum;
    rows[corvane::kRowBoxMaximum] = work.boxMaximum;
    return true;
}

void Corvane::RecomputeTouchedNormals() {
    const EntryGuard guard(corvane::kGuardRecomputeTouchedNormals);
    // The touched vertices belong to the sculpted level (which is also the patch level
    // whenever the per-vertex path runs from the dab driver).
    tarnix::SubdivisionLevel* level = m_subdivisionLevel;
    if (!level) return;
    // Each vertex takes the mean of the unit normals of the faces the mesh reports with its
    // neighbours.
    for (const auto& touched : m_touchedVertices) {
        const uint32_t vertex = touched.second;
        uint32_t count = 0;
        tarnix::Vector sum(0, 0, 0);
        corvane::ForEachNeighbour(*level, vertex, [&](uint32_t /*neighbour*/, uint32_t face) {
            sum += level->FaceNormal(face).Normalized();
            ++count;
        });
        const tarnix::Vector mean = sum * (1.0f / float(count ? count : 1));
        tarnix::PackNormal(HWVector(mean), level->m_normals[vertex]);
    }
    m_touchedVertices.SetCount(0);
}
