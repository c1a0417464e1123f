// The smoothing neighbourhood: the padded grid of a patch and its ring, the corner
// correction, the one-ring averages of smoothing and of volume-preserving smoothing, the
// relax targets and the region plane's samples. Shared by the patch kernels and the
// per-vertex path.

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/tracked_store.h"

#include "brush/corvane.h"
#include "host/crash_guard.h"
#include "host/preferences.h"
#include "kernels/dab_block.h"
#include "kernels/patch_work.h"
#include "kernels/vertex_neighbours.h"
#include "patch/grid.h"
#include "tarnix/mesh_change.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/subdivision_level.h"

using corvane::EntryGuard;
using tarnix::HWVector;
using tarnix::Vector;

namespace {

// Every stored position in the box is at least as far from the centre as the box's nearest
// point, in floats too, as rounding keeps the order of the differences and of their squares.
bool BoxOutsideBrush(const corvane::StoredBox& box, const HWVector& centre, float radiusSquared) {
    const HWVector nearest =
        tarnix::Minimum(tarnix::Maximum(centre, HWVector::LoadXYZ(box.minimum)), HWVector::LoadXYZ(box.maximum));
    return tarnix::LengthSquared(centre - nearest) > radiusSquared;
}

// Adds a patch's samples to the plane's sums in grid order, the sums kept in registers.
void AddSamplesInGridOrder(const corvane::PlaneSampleValue* samples, uint32_t side, uint32_t ringSide,
                           float* planeSums) {
    float sums[7];
    std::copy(planeSums, planeSums + 7, sums);
    for (uint32_t row = 1; row <= side; ++row)
        for (uint32_t cell = row * ringSide + 1; cell <= row * ringSide + side; ++cell)
            if (samples[cell].taken) corvane::AddPlaneSample(samples[cell], sums);
    std::copy(sums, sums + 7, planeSums);
}

}  // namespace

bool Corvane::SmoothsActiveLayerOnly() const {
    return m_switches.smooth && !m_affectAllLayersAttr.Value() && m_activeLayer != nullptr;
}

Vector Corvane::LayerPositionOf(uint32_t vertex, uint32_t face) {
    tarnix::MeshChange& change = *m_meshChanges[m_meshChanges.Count() - 1].second;
    tarnix::StoredVertexInfo* entry = change.Find(vertex);
    if (!entry) entry = change.Add_uncached(vertex, face, &m_subdivisionLevel->m_vertices[vertex], true, 0.0f);
    const uint32_t kept = entry ? change.LayerWord(*entry) : tarnix::Mesh::kNone;
    const uint32_t word = kept != tarnix::Mesh::kNone ? kept : vertex;
    return m_activeLayer->Position(word);
}

void Corvane::BuildRing(uint32_t face) {
    const EntryGuard guard(corvane::kGuardRingGathering);
    const tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    const uint32_t n = 1u << m_patchLevel, side = n + 1, m = m_ringSide;
    const bool layer = SmoothsActiveLayerOnly() && m_ringLayerPositions;
    const uint32_t q = m_facesPerPatch * face;
    if (layer) {
        const uint32_t* vertexTable = tarnix::SubdivisionLevel::QuadVertexIndexTable(m_patchLevel).Data();
        const uint32_t* corners = level.m_cornerIndices.Data() + size_t(4) * q;
        for (uint32_t k = 0; k < side * side; ++k) {
            const uint32_t cell = (k / side + 1) * m + k % side + 1, vertex = corners[vertexTable[k]];
            m_ringLayerPositions[cell] = HWVector(LayerPositionOf(vertex, q));
        }
    } else {
        // Each cell takes its own vertex's position, so the order does not matter: the patch's
        // records in the vertices' memory order (kept for large patches) stream through the
        // cache where grid order would jump about the level's arrays.
        const uint32_t count = FillGridVertices(face);
        for (uint32_t k = 0; k < count; ++k) {
            const GridVertex& grid = m_gridRecords[k];
            m_ringPositions[grid.ringCell] = HWVector::LoadXYZ(level.m_vertices[grid.vertex].position);
        }
    }
    grid_detail::VisitRing(
        level, *m_patchBaseLevel, face, m_patchLevel,
        [&](uint32_t cell, uint32_t vertex) {
            m_ringPositions[cell] = HWVector::LoadXYZ(level.m_vertices[vertex].position);
            if (layer) m_ringLayerPositions[cell] = HWVector(LayerPositionOf(vertex, q));
        },
        [&](uint32_t cell, uint32_t inside) {
            m_ringPositions[cell] = m_ringPositions[inside];
            if (layer) m_ringLayerPositions[cell] = m_ringLayerPositions[inside];
        });
}

void Corvane::RefreshRing(uint32_t face) {
    const EntryGuard guard(corvane::kGuardRingGathering);
    const tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    grid_detail::VisitRing(
        level, *m_patchBaseLevel, face, m_patchLevel,
        [&](uint32_t cell, uint32_t vertex) {
            m_ringPositions[cell] = HWVector::LoadXYZ(level.m_vertices[vertex].position);
        },
        [&](uint32_t cell, uint32_t inside) { m_ringPositions[cell] = m_ringPositions[inside]; });
}

void Corvane::ApplyCornerCorrection(uint32_t face) {
    const uint32_t n = 1u << m_patchLevel, s = m_ringSide;
    HWVector* cells = m_affectAllLayersAttr.Value() || !m_ringLayerPositions ? m_ringPositions : m_ringLayerPositions;
    const tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    const uint32_t q = m_facesPerPatch * face;
    const uint32_t* quadTable = tarnix::SubdivisionLevel::QuadIndexTable(m_patchLevel).Data();
    // Corners in the order 0, 1, 3, 2: their ring cells, inward steps and corner quads.
    const uint32_t cornerCell[4] = {s + 1, 2 * s - 2, (s - 2) * s + 1, (s - 1) * s - 2};
    const int32_t rowStep[4] = {int32_t(s), int32_t(s), -int32_t(s), -int32_t(s)};
    const int32_t columnStep[4] = {1, -1, 1, -1};
    const uint32_t cornerQuad[4] = {0, n - 1, (n - 1) * n, n * n - 1};
    const uint32_t cornerNumber[4] = {0, 1, 3, 2};
    for (int k = 0; k < 4; ++k) {
        const uint32_t quad = q + quadTable[cornerQuad[k]];
        const uint32_t vertex = level.m_cornerIndices[4 * quad + cornerNumber[k]];
        const HWVector midpoint(OneRingAverage(vertex, quad));
        const uint32_t c = cornerCell[k], up = c - rowStep[k], left = c - columnStep[k];
        m_keptCornerCells[2 * k] = up;
        m_keptCornerValues[2 * k] = cells[up];
        m_keptCornerCells[2 * k + 1] = left;
        m_keptCornerValues[2 * k + 1] = cells[left];
        // The five-point average about the corner then equals the one-ring midpoint,
        // whatever the corner's valence.
        cells[up] = HWVector(tarnix::zero);
        cells[left] = midpoint * 5.0f - (cells[c] + cells[c + rowStep[k]] + cells[c + columnStep[k]]);
    }
}

void Corvane::RestoreCornerCells() {
    HWVector* cells = m_affectAllLayersAttr.Value() || !m_ringLayerPositions ? m_ringPositions : m_ringLayerPositions;
    for (int i = 0; i < 8; ++i) cells[m_keptCornerCells[i]] = m_keptCornerValues[i];
}

void Corvane::VisitNeighbours(uint32_t vertex) {
    corvane::ForEachNeighbour(*m_subdivisionLevel, vertex,
                              [this](uint32_t neighbour, uint32_t face) { Corvane::Operator(neighbour, face); });
}

Vector Corvane::OneRingAverage(uint32_t vertex, uint32_t face) {
    const Vector own =
        SmoothsActiveLayerOnly() ? LayerPositionOf(vertex, face) : m_subdivisionLevel->VertexPosition(vertex);
    m_neighbourSum = Vector(0, 0, 0);
    m_neighbourCount = 0;
    VisitNeighbours(vertex);
    return own * 0.5f + m_neighbourSum * (1.0f / float(m_neighbourCount ? m_neighbourCount : 1));
}

void Corvane::Operator(uint32_t vertex, uint32_t face) {
    ++m_neighbourCount;
    const Vector position = m_affectAllLayersAttr.Value() || !m_activeLayer ? m_subdivisionLevel->VertexPosition(vertex)
                                                                            : LayerPositionOf(vertex, face);
    if (m_smoothPass < 0) {
        m_recordedPositions[vertex] = position;
        const float c = Vector::AngleCos(m_relaxNormal, position - m_relaxCentre);
        m_relaxSpread += c * c;
    } else if (m_smoothPass == 0) {
        // Volume-preserving smoothing averages the positions recorded before this pass.
        const Vector p = m_preserveVolumeAttr.Value() && m_switches.smooth ? m_recordedPositions[vertex] : position;
        m_neighbourSum += p * 0.5f;
    } else {
        m_neighbourSum += m_recordedPositions[vertex] * m_relaxBlend + m_relaxCentre * (1.0f - m_relaxBlend);
    }
}

void Corvane::RecordVertex(uint32_t vertex, uint32_t face) {
    const Vector own =
        SmoothsActiveLayerOnly() ? LayerPositionOf(vertex, face) : m_subdivisionLevel->VertexPosition(vertex);
    m_recordedPositions[vertex] = own;
    m_relaxCentre = own;
    m_relaxNormal = m_subdivisionLevel->VertexNormal(vertex);
    m_neighbourCount = 0;
    m_relaxSpread = 0.0f;
    VisitNeighbours(vertex);
    const float spread = m_relaxSpread / float(m_neighbourCount ? m_neighbourCount : 1);
    m_relaxBlend = 1.0f / (2.0f * (spread - 1.0f));
}

Vector Corvane::InflateTarget(uint32_t vertex, uint32_t /*face*/) {
    m_neighbourSum = Vector(0, 0, 0);
    m_neighbourCount = 0;
    m_relaxCentre = m_recordedPositions[vertex];
    VisitNeighbours(vertex);
    return m_neighbourSum * (1.0f / float(m_neighbourCount ? m_neighbourCount : 1));
}

Vector Corvane::RelaxTarget(uint32_t vertex) const {
    const Vector position = m_subdivisionLevel->VertexPosition(vertex);
    if (vertex >= m_relaxInRange.Count() || m_relaxInRange[vertex] == 0) return position;
    if (m_lockBordersAttr.Value() && m_relaxBorder[vertex]) return position;
    const float lambda = float(m_relaxWeights[vertex]);
    return position * (1.0f - lambda) + m_relaxTargets[vertex] * lambda;
}

bool Corvane::GatherRelaxPatch(uint32_t face) {
    const uint32_t count = FillGridVertices(face);
    bool any = false;
    for (uint32_t r = 0; r < count; ++r) any |= GatherRelaxVertex(m_gridRecords[r].vertex);
    return any;
}

bool Corvane::GatherRelaxVertex(uint32_t v) {
    // For a vertex in range, each face around it adds the midpoint of the vertex's two
    // neighbours in that face (the target that evens the edges) and the vertex's share of the
    // face's corner triangle, by mixed Voronoi area.
    const tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    if (v >= m_relaxInRange.Count() || m_relaxInRange[v] != 0) return false;  // gathered already
    if (!m_wholeMeshPass) {
        tarnix::MeshChange& change = *m_meshChanges[m_meshChanges.Count() - 1].second;
        const HWVector* rows = m_scratch.dabRows;
        const tarnix::StoredVertexInfo* entry = change.Find(v);
        HWVector p = entry ? HWVector::LoadXYZ(entry->m_position) : HWVector::LoadXYZ(level.m_vertices[v].position);
        if (m_nonUniformScale)
            p = corvane::TransformPoint(rows, corvane::kRowMeshToWorld, HWVector(p.ToVector(), 1.0f));
        if (tarnix::LengthSquared(rows[corvane::kRowCenter] - p) > m_radiusSquared) return false;
    }
    const uint32_t k = level.CornersPerFace();
    const Vector centre = level.VertexPosition(v);
    corvane::AppendTracked(m_relaxWritten, v);
    uint32_t faceCount = 0;
    const uint32_t* faces = level.FacesAroundVertex(v, faceCount);
    for (uint32_t i = 0; i < faceCount; ++i) {
        const uint32_t* c = level.FaceCorners(faces[i]);
        uint32_t at = 0;
        while (at < k && c[at] != v) ++at;
        const uint32_t next = c[(at + 1) % k], previous = c[(at + k - 1) % k];
        for (uint32_t side : {at, (at + k - 1) % k})
            if (level.EdgeAdjacency(faces[i], side) >= tarnix::Mesh::kOpenBorder) {
                m_relaxBorder[v] = 1;
                m_relaxBorder[side == at ? next : previous] = 1;
                corvane::AppendTracked(m_relaxWritten, side == at ? next : previous);
            }
        const Vector a = level.VertexPosition(next), b = level.VertexPosition(previous);
        m_relaxTargets[v] += (a + b) * 0.5f;
        ++m_relaxInRange[v];
        const Vector e1 = a - centre, e2 = b - centre, e3 = b - a;
        const double area = 0.5 * double((e1 & e2).Length());
        const double l1 = e1.LengthSquared(), l2 = e2.LengthSquared(), l3 = e3.LengthSquared();
        if (l3 > l1 + l2 || l1 > l2 + l3 || l2 > l1 + l3) {
            // Obtuse: half the area when the obtuse angle is the vertex's, else a quarter.
            const double angle = std::acos(double(Vector::AngleCos(e1, e2)));
            m_relaxWeights[v] += angle > 1.5707963705062866 ? area * 0.5 : area * 0.25;
        } else {
            const auto cotangent = [](const Vector& x, const Vector& y) {
                const float cross = (x & y).Length();
                return cross > 0.0f ? double(x | y) / double(cross) : 0.0;
            };
            // e1 lies opposite the angle at `previous`, e2 opposite the angle at `next`.
            m_relaxWeights[v] += (cotangent(centre - b, a - b) * l1 + cotangent(centre - a, b - a) * l2) * 0.125;
        }
    }
    return true;
}

corvane::PlaneSampleRules Corvane::CurrentPlaneSampleRules() {
    return {corvane::g_prefUseVertexWeightsForFlatten, corvane::g_prefUseOriginalDataForFlatten};
}

// Inlined into the gathering's walk, where it runs for every vertex under the brush.
[[gnu::always_inline]] inline bool Corvane::TakePlaneSample(uint32_t vertex, tarnix::StoredVertexInfo* entry,
                                                            const corvane::PlaneSampleRules& rules,
                                                            corvane::PlaneSampleValue& sample) {
    tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    // A vertex without an undo entry keeps the pass mark in its slot word.
    (entry ? entry->m_stamp : level.m_vertices[vertex].undoSlot) = level.m_changeCounter;
    const HWVector stored =
        entry ? HWVector::LoadXYZ(entry->m_position) : HWVector::LoadXYZ(level.m_vertices[vertex].position);
    const HWVector* rows = m_scratch.dabRows;
    // Measured in the world under a non-uniform scale, as the radius is; sampled in the mesh.
    // An `if`, not a conditional expression: built from a lane-by-lane copy of `stored`, that
    // makes the compiler pass it through the stack and stall every vertex on the reload.
    HWVector measured = stored;
    if (m_nonUniformScale) measured = corvane::TransformPoint(rows, corvane::kRowMeshToWorld, stored);
    const float d2 = tarnix::LengthSquared(rows[corvane::kRowCenter] - measured);
    if (d2 > m_radiusSquared) return false;
    sample.weight = rules.vertexWeights ? 1.0f - std::sqrt(d2) / m_radius : 1.0f;
    if (rules.originalData) {
        sample.position = stored.ToVector();
        sample.normal = entry ? tarnix::UnpackNormal(entry->m_normal) : level.VertexNormal(vertex);
    } else {
        sample.position = level.VertexPosition(vertex);
        sample.normal = level.VertexNormal(vertex);
    }
    sample.taken = 1;
    return true;
}

bool Corvane::GatherPlanePatch(uint32_t face) {
    const EntryGuard guard(corvane::kGuardPlaneSampling);
    // A vertex is sampled where it is stored, and those places stay put while one undo record
    // collects the stroke: a patch, or a run of its records, whose box of them lies wholly
    // outside the brush gives no sample. Under a non-uniform scale the brush is measured in
    // world space, and no box is kept.
    const uint32_t side = (1u << m_patchLevel) + 1, m = m_ringSide;
    const bool boxed = !m_nonUniformScale && PreparePatchRecords();
    corvane::StoredBox* boxes =
        boxed ? m_scratch.patches.storedBoxes.Data() + size_t(face) * corvane::StoredBoxesPerPatch(side * side)
              : nullptr;
    const bool boxesKnown = boxed && boxes[0].change == m_changeSerial;
    const HWVector centre = m_scratch.dabRows[corvane::kRowCenter];
    const auto outside = [&](const corvane::StoredBox& box) { return BoxOutsideBrush(box, centre, m_radiusSquared); };
    if (boxesKnown && outside(boxes[0])) return false;
    const uint32_t count = FillGridVertices(face);
    const tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    tarnix::MeshChange& change = *m_meshChanges[m_meshChanges.Count() - 1].second;
    const corvane::PlaneSampleRules rules = CurrentPlaneSampleRules();
    // The walk may take the vertices in memory order, but the plane's sums round in the order
    // they are added: each sample waits in its padded-grid cell and the cells are added up in
    // grid order, so that the plane does not follow the vertices' numbers.
    corvane::PlaneSampleValue* samples = m_scratch.planeSamples.Ensure(size_t(m) * m);
    if (!samples) return false;
    bool any = false;
    // The boxes take every record, those of vertices sampled already in this pass included,
    // once the records' order is settled (the runs are runs of it). Lanes turn NaN where a
    // stored position is not finite; such boxes are not kept.
    const bool takeBoxes = boxed && !boxesKnown && m_scratch.patches.built[face];
    const HWVector infinity(std::numeric_limits<float>::infinity());
    HWVector patchMinimum = infinity, patchMaximum = -infinity, unfinite(tarnix::zero);
    for (uint32_t run = 0, first = 0; first < count; ++run, first += corvane::kRecordsPerStoredBox) {
        const uint32_t last = std::min(count, first + corvane::kRecordsPerStoredBox);
        corvane::StoredBox* runBox = boxed ? &boxes[1 + run] : nullptr;
        if (boxesKnown && outside(*runBox)) {
            for (uint32_t k = first; k < last; ++k) samples[m_gridRecords[k].ringCell].taken = 0;
            continue;
        }
        HWVector runMinimum = infinity, runMaximum = -infinity;
        for (uint32_t k = first; k < last; ++k) {
            corvane::PrefetchAhead(level, change, m_gridRecords, k, count, true);
            const GridVertex& grid = m_gridRecords[k];
            corvane::PlaneSampleValue& sample = samples[grid.ringCell];
            sample.taken = 0;
            const uint32_t slot = level.m_vertices[grid.vertex].undoSlot;
            tarnix::StoredVertexInfo* entry = change.EntryAt(slot, grid.vertex);
            if (takeBoxes) {
                const HWVector stored =
                    HWVector::LoadXYZ(entry ? entry->m_position : level.m_vertices[grid.vertex].position);
                runMinimum = tarnix::Minimum(runMinimum, stored);
                runMaximum = tarnix::Maximum(runMaximum, stored);
                unfinite += stored * 0.0f;
            }
            const uint32_t stamp = entry ? entry->m_stamp : slot;
            if (stamp != level.m_changeCounter) any |= TakePlaneSample(grid.vertex, entry, rules, sample);
        }
        if (takeBoxes) {
            HWVector::StoreXYZ(runBox->minimum, runMinimum);
            HWVector::StoreXYZ(runBox->maximum, runMaximum);
            patchMinimum = tarnix::Minimum(patchMinimum, runMinimum);
            patchMaximum = tarnix::Maximum(patchMaximum, runMaximum);
        }
    }
    if (takeBoxes && count && tarnix::LengthSquared(unfinite) == 0.0f) {
        HWVector::StoreXYZ(boxes[0].minimum, patchMinimum);
        HWVector::StoreXYZ(boxes[0].maximum, patchMaximum);
        boxes[0].change = m_changeSerial;
    }
    AddSamplesInGridOrder(samples, side, m, m_planeSums);
    return any;
}

bool Corvane::PlaneSample(uint32_t vertex) {
    corvane::PlaneSampleValue sample;
    tarnix::MeshChange& change = *m_meshChanges[m_meshChanges.Count() - 1].second;
    if (!TakePlaneSample(vertex, change.Find(vertex), CurrentPlaneSampleRules(), sample)) return false;
    corvane::AddPlaneSample(sample, m_planeSums);
    return true;
}

bool Corvane::PartnerStoredPosition(uint32_t vertex, uint32_t face, bool withLayer, HWVector& position) {
    tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    const uint32_t* corners = level.FaceCorners(face);
    uint32_t corner = 0;
    while (corner < level.CornersPerFace() && corners[corner] != vertex) ++corner;
    if (corner == level.CornersPerFace()) return false;
    uint32_t mirroredFace = 0, unused = 0;
    const uint32_t partner = level.TopologicalMirror(face, corner, mirroredFace, unused);
    if (partner == tarnix::Mesh::kNone) return false;
    tarnix::MeshChange& change = *m_meshChanges[m_meshChanges.Count() - 1].second;
    const tarnix::StoredVertexInfo* entry = change.Find(partner);
    if (!entry) entry = change.Add_uncached(partner, mirroredFace, &level.m_vertices[partner], withLayer, 0.0f);
    if (!entry) return false;
    position = HWVector::LoadXYZ(entry->m_position);
    return true;
}
