// The per-vertex path: meshes that are not all quads (and geodesic results on them) are
// sculpted vertex by vertex, with the pipeline the patch kernels use and the choices read at
// run time. Normals are not rebuilt here: the touched vertices are listed, and their normals
// recomputed at the end of the dab (RecomputeTouchedNormals).

#include <utility>

#include "brush/corvane.h"
#include "host/crash_guard.h"
#include "host/tracked_store.h"
#include "kernels/dab_block.h"
#include "kernels/kernel_index.h"
#include "kernels/vertex_pipeline.h"
#include "tarnix/mesh_change.h"
#include "tarnix/mesh_renderer.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/subdivision_level.h"

using corvane::EntryGuard;
using tarnix::HWVector;

bool Corvane::Tester(tarnix::Mesh* /*mesh*/, uint32_t v, uint32_t f) {
    const EntryGuard guard(corvane::kGuardVertexSculpt);
    tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    tarnix::MeshChange& change = *m_meshChanges[m_meshChanges.Count() - 1].second;
    tarnix::VertexRecord& record = level.m_vertices[v];
    if (m_gatherPass) {
        if (m_relaxTool) return GatherRelaxVertex(v);
        const tarnix::StoredVertexInfo* entry = change.Find(v);
        const uint32_t stamp = entry ? entry->m_stamp : record.undoSlot;
        return stamp != level.m_changeCounter && PlaneSample(v);
    }
    corvane::AppendTracked(m_touchedVertices, std::make_pair(f, v));
    if (m_hasActiveLayer && m_activeLayer && !m_activeLayer->AcceptsFace(f)) return false;
    // The tessellating base brush keeps each vertex as the stroke first found it.
    if (m_dynamicTessellation && m_records.IsActive() && v < m_records.VertexCount() &&
        m_records.IndexOf(v) == VertexRecordStore::kNone)
        AppendVertexRecord(level, v);

    const corvane::RuntimeChoices choices{ComputeKernelIndex()};
    const corvane::DabFrame frame = corvane::MakeDabFrame(*this);
    const HWVector position = HWVector::LoadXYZ(record.position);
    tarnix::StoredVertexInfo* entry = change.Find(v);
    if (!entry) entry = change.Add_uncached(v, f, &record, m_hasActiveLayer, 0.0f);
    if (!entry) return false;
    const HWVector stored = HWVector::LoadXYZ(entry->m_position);
    if (std::exchange(entry->m_stamp, m_dabStamp) == m_dabStamp) {
        // Inside as the brush measures it: in the world under a non-uniform scale.
        const HWVector o =
            choices.NonUniformScale() ? corvane::TransformPoint(frame.rows, corvane::kRowMeshToWorld, stored) : stored;
        return level.m_faceKind == tarnix::Mesh::kTriangles &&
               (tarnix::LengthSquared(frame.center - o) <= m_radiusSquared || m_wholeMeshPass);
    }

    const corvane::VertexState state{
        v,
        position,
        stored,
        tarnix::UnpackNormal<HWVector>(entry->m_normal),
        HWVector(level.VertexNormal(v)),
        &entry->m_buildUp,
        record.freeze};
    // The mirrored twin samples the stamp where the vertex's partner first was; the partner
    // enters the undo record only when the stamp is sampled for this vertex.
    const auto stampAt = [&] {
        HWVector partnerStored;
        return frame.stampAtPartner && PartnerStoredPosition(v, f, m_hasActiveLayer, partnerStored) ? partnerStored
                                                                                                  : stored;
    };
    const bool layerSmoothing = !m_affectAllLayersAttr.Value() && m_activeLayer;
    bool recorded = false;
    const auto smoothing = [&](HWVector& target, HWVector& base) {
        base = layerSmoothing && !m_relaxTool ? HWVector(LayerPositionOf(v, f)) : position;
        if (m_relaxTool) {
            target = HWVector(RelaxTarget(v));
        } else if (m_smoothPass == 0) {
            target = HWVector(OneRingAverage(v, f));
        } else if (m_smoothPass < 0) {
            RecordVertex(v, f);
            // The later passes read the two lists by the same index: a pair goes into both or
            // neither, so that no vertex is paired with another's face and no list is read past
            // its end when one of them cannot grow.
            if (corvane::AppendTracked(m_smoothVertices, v) && !corvane::AppendTracked(m_smoothVertexFaces, f))
                m_smoothVertices.SetCount(m_smoothVertices.Count() - 1);
            recorded = true;
            return false;
        } else {
            target = HWVector(InflateTarget(v, f));
        }
        return true;
    };
    HWVector displacement;
    if (!corvane::CalcDisplacement(frame, choices, state, stampAt, smoothing, displacement)) return false;
    if (recorded) return true;
    ++m_vertexUpdates;

    HWVector moved;
    if (m_hasActiveLayer && m_activeLayer) {
        const uint32_t kept = change.LayerWord(*entry);
        const uint32_t word = kept != tarnix::Mesh::kNone ? kept : v;
        m_activeLayer->SetPosition(word, v, m_activeLayer->Position(word) + displacement.ToVector(), true);
        moved = HWVector::LoadXYZ(record.position);
    } else {
        moved = position + displacement;
        if (frame.projectionGrid && tarnix::LengthSquared(displacement) > 1e-7f) {
            tarnix::SurfacePoint hit;
            if (frame.projectionGrid->CastRay(moved.ToVector(), state.levelNormal.ToVector(), hit, true, true) &&
                (hit.LocalPosition() - moved.ToVector()).LengthSquared() < 100.0f * tarnix::LengthSquared(displacement))
                moved = HWVector(hit.LocalPosition());
        }
        HWVector::StoreXYZ(record.position, moved);
    }
    HWVector* rows = corvane::DabRows(m_dabBlock);
    rows[corvane::kRowBoxMinimum] = tarnix::Minimum(tarnix::Minimum(rows[corvane::kRowBoxMinimum], moved), position);
    rows[corvane::kRowBoxMaximum] = tarnix::Maximum(tarnix::Maximum(rows[corvane::kRowBoxMaximum], moved), position);
    for (tarnix::MeshRenderer* renderer : m_renderers) renderer->Notify(v, f);
    return true;
}

namespace {

// Sums the unit normals of the faces the mesh reports around a vertex.
class NormalCalculator : public tarnix::AdjacentVertexEnumerator {
public:
    explicit NormalCalculator(const tarnix::Mesh* mesh) : m_mesh(mesh) {}
    void Operator(uint32_t /*vertex*/, uint32_t face) override {
        m_sum += m_mesh->FaceNormal(face).Normalized();
        ++m_count;
    }
    uint32_t m_count = 0;
    tarnix::Vector m_sum{0, 0, 0};

private:
    const tarnix::Mesh* m_mesh;
};

}  // namespace

void Corvane::RecomputeTouchedNormals() {
    const EntryGuard guard(corvane::kGuardRecomputeTouchedNormals);
    // The touched vertices belong to the sculpted level (which is also the patch level
    // whenever the per-vertex path runs from the dab driver).
    tarnix::SubdivisionLevel* level = m_subdivisionLevel;
    if (!level) return;
    NormalCalculator calculator(level);
    for (const auto& [face, vertex] : m_touchedVertices) {
        calculator.m_count = 0;
        calculator.m_sum = tarnix::Vector(0, 0, 0);
        level->EnumerateAdjacentVertices(&calculator, vertex, face);
        const tarnix::Vector mean = calculator.m_sum * (1.0f / float(calculator.m_count ? calculator.m_count : 1));
        tarnix::PackNormal(HWVector(mean), level->m_normals[vertex]);
    }
    m_touchedVertices.SetCount(0);
}
