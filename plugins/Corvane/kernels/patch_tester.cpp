// The face test of the brush's face enumeration: each patch under the brush arrives here,
// goes through its kernel (or the gathering pass), then gets its normals rebuilt from the
// padded grid and its renderers told.

#include <algorithm>
#include <utility>

#include "host/crash_guard.h"
#include "host/preferences.h"
#include "host/tracked_store.h"
#include "kernels/dab_block.h"
#include "kernels/kernel_index.h"
#include "kernels/kernel_table.h"
#include "kernels/patch_kernel.h"
#include "kernels/patch_normals.h"
#include "patch/patch_map.h"
#include "tarnix/mesh_renderer.h"
#include "tarnix/subdivision_level.h"

using corvane::EntryGuard;

uint32_t Corvane::ComputeKernelIndex() const {
    const bool affectAllLayers = m_affectAllLayersAttr.Value();
    return uint32_t(m_useStamp) * corvane::kBitStamp + uint32_t(m_wholeMeshPass) * corvane::kBitWholeMesh +
           uint32_t(m_alongVertexNormals || (m_switches.smooth && (affectAllLayers || !m_activeLayer))) *
               corvane::kBitVertexNormals +
           uint32_t(m_subdivisionLevel->FrozenVertexCount() != 0) * corvane::kBitFreeze +
           uint32_t(m_hasActiveLayer) * corvane::kBitLayer +
           uint32_t(m_switches.smooth || m_switches.plane) * corvane::kBitSmoothOrPlane +
           uint32_t(m_stampTiled && m_useStamp) * corvane::kBitTiled +
           uint32_t(m_switches.pinch || m_switches.plane) * corvane::kBitPinchOrPlane +
           uint32_t(!m_skipRendererNotify) * corvane::kBitNotifyEachVertex +
           uint32_t(m_nonUniformScale) * corvane::kBitNonUniformScale;
}

namespace {

// Orders a patch's records by vertex index. The indices are distinct, so any sort gives this
// order; a radix sort over the bytes in which they differ costs a few passes instead of a
// comparison sort's log n, which the first stroke over a large mesh pays for every patch.
template <class Record>
void SortByVertex(Record* records, uint32_t count, Record* scratch) {
    uint32_t common = ~uint32_t(0), any = 0;
    for (uint32_t k = 0; k < count; ++k) {
        common &= records[k].vertex;
        any |= records[k].vertex;
    }
    const uint32_t differing = common ^ any;
    Record* from = records;
    Record* to = scratch;
    for (uint32_t shift = 0; shift < 32; shift += 8) {
        if (((differing >> shift) & 0xFF) == 0) continue;
        uint32_t start[256] = {};
        for (uint32_t k = 0; k < count; ++k) ++start[(from[k].vertex >> shift) & 0xFF];
        for (uint32_t digit = 0, sum = 0; digit < 256; ++digit) sum += std::exchange(start[digit], sum);
        for (uint32_t k = 0; k < count; ++k) to[start[(from[k].vertex >> shift) & 0xFF]++] = from[k];
        std::swap(from, to);
    }
    if (from != records) std::copy(from, from + count, records);
}

}  // namespace

bool Corvane::PreparePatchRecords() {
    const tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    if (m_patchLevel < kCachedPatchDepth) return false;
    corvane::PatchRecordCache& cache = m_scratch.patches;
    if (cache.topology == level.TopologyStamp() && cache.depth == m_patchLevel && cache.side == m_ringSide) return true;
    const uint32_t side = (1u << m_patchLevel) + 1, count = side * side;
    const uint32_t faces = m_patchBaseLevel->m_faceCount;
    const uint64_t total = uint64_t(faces) * count, boxes = uint64_t(faces) * corvane::StoredBoxesPerPatch(count);
    cache.topology = 0;
    cache.records.SetCount(0);
    cache.built.SetCount(0);
    cache.entryChanges.SetCount(0);
    cache.storedBoxes.SetCount(0);
    if (total >= UINT32_MAX || boxes >= UINT32_MAX ||
        (cache.built.Capacity() < faces && !corvane::GrowTrackedStore(cache.built, faces)) ||
        (cache.entryChanges.Capacity() < faces && !corvane::GrowTrackedStore(cache.entryChanges, faces)) ||
        (cache.storedBoxes.Capacity() < boxes && !corvane::GrowTrackedStore(cache.storedBoxes, uint32_t(boxes))) ||
        (cache.records.Capacity() < total && !corvane::GrowTrackedStore(cache.records, uint32_t(total))))
        return false;
    cache.built.SetCount(faces);
    std::fill(cache.built.begin(), cache.built.end(), uint8_t(0));
    cache.entryChanges.SetCount(faces);
    std::fill(cache.entryChanges.begin(), cache.entryChanges.end(), 0u);
    cache.storedBoxes.SetCount(uint32_t(boxes));
    std::fill(cache.storedBoxes.begin(), cache.storedBoxes.end(), corvane::StoredBox{});
    cache.records.SetCount(uint32_t(total));
    cache.topology = level.TopologyStamp();
    cache.depth = m_patchLevel;
    cache.side = m_ringSide;
    return true;
}

bool Corvane::PatchHoldsEntries(uint32_t face) {
    return PreparePatchRecords() && m_scratch.patches.entryChanges[face] == m_changeSerial;
}

void Corvane::NotePatchEntries(uint32_t face) {
    if (PreparePatchRecords()) m_scratch.patches.entryChanges[face] = m_changeSerial;
}

uint32_t Corvane::FillGridVertices(uint32_t face, bool inGridOrder) {
    const uint32_t n = 1u << m_patchLevel, side = n + 1, count = side * side;
    const tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    const uint32_t q = m_facesPerPatch * face;
    // Large patches keep their records between dabs, ordered by vertex index: a patch's
    // vertices lie close together in the level's arrays (numbered by first use), and walking
    // them in memory order lets the processor stream the vertex records and undo entries.
    // Only walks whose result cannot follow the vertices' numbers take that order (the
    // callers say which); the plane's gathering takes it but adds its samples up in grid order.
    // Without room for the level's records a patch's records go into the scratch.
    const bool cached = !inGridOrder && PreparePatchRecords();
    GridVertex* records = nullptr;
    if (cached) {
        records = m_scratch.patches.records.Data() + size_t(face) * count;
        m_gridRecords = records;
        m_scratchFace = face;
        if (m_scratch.patches.built[face]) return count;
    } else {
        m_scratchFace = tarnix::Mesh::kNone;
        // A patch whose records are kept has them all, in another order: each goes back to its
        // grid place by its cell (rows a padded row apart, then closed up). That reads a few
        // contiguous kilobytes (which smoothing's ring has just read) where the corners' table
        // would be read in the patch's scattered quad order.
        const bool kept = inGridOrder && PreparePatchRecords() && m_scratch.patches.built[face];
        const uint32_t m = m_ringSide;
        records = m_scratch.records.Ensure(kept ? side * m : count);
        if (!records) return 0;
        m_gridRecords = records;
        m_scratchFace = face;
        if (kept) {
            const GridVertex* keptRecords = m_scratch.patches.records.Data() + size_t(face) * count;
            for (uint32_t k = 0; k < count; ++k) records[keptRecords[k].ringCell - m - 1] = keptRecords[k];
            for (uint32_t row = 1; row < side; ++row)
                std::copy(records + row * m, records + row * m + side, records + row * side);
            return count;
        }
    }
    const uint32_t* vertexTable = tarnix::SubdivisionLevel::QuadVertexIndexTable(m_patchLevel).Data();
    const uint32_t* quadTable = tarnix::SubdivisionLevel::QuadIndexTable(m_patchLevel).Data();
    const uint32_t* corners =
        level.m_cornerIndices.Data() + (size_t(4) * q < level.m_cornerIndices.Count() ? size_t(4) * q : 0);
    // The quad a vertex is recorded under: the one below-left of it (clamped into the grid).
    GridVertex* record = records;
    for (uint32_t row = 0, k = 0; row < side; ++row) {
        const uint32_t* quadRow = quadTable + (row < n ? row : n - 1) * n;
        const uint32_t ringRow = (row + 1) * m_ringSide + 1;
        for (uint32_t column = 0; column < side; ++column, ++k, ++record)
            *record = {corners[vertexTable[k]], q + quadRow[column > 0 ? column - 1 : 0], ringRow + column};
    }
    if (cached) {
        // The scratch is free while the records live in the cache; without it they stay in
        // grid order, which gives the same result, only slower.
        GridVertex* sortRoom = m_scratch.records.Ensure(count);
        if (!sortRoom) return count;
        SortByVertex(records, count, sortRoom);
        m_scratch.patches.built[face] = 1;
    }
    return count;
}

void Corvane::RecomputePatchNormals(uint32_t face) {
    // The grid's vertices and cells are those the kernel just walked; a kernel that walked
    // nothing (a layer refused the patch) moved nothing either.
    if (face != m_scratchFace) return;
    const uint32_t count = ((1u << m_patchLevel) + 1) * ((1u << m_patchLevel) + 1), m = m_ringSide;
    const tarnix::HWVector* ring = m_ringPositions;
    tarnix::PackedNormal* normals = m_subdivisionLevel->m_normals.Data();
    const auto store = [&](const GridVertex& grid, int32_t x, int32_t y, int32_t z) {
        tarnix::PackedNormal& target = normals[grid.vertex];
        target.x = int16_t(x);
        target.y = int16_t(y);
        target.z = int16_t(z);
    };
    // Across the grid's x axis (corner 0 to 1) and its y axis (corner 0 to 3): for
    // counter-clockwise patches their cross product points outward.
    const auto across = [&](uint32_t cell, tarnix::HWVector& u, tarnix::HWVector& v) {
        u = ring[cell + 1] - ring[cell - 1];
        v = ring[cell + m] - ring[cell - m];
    };
    constexpr uint32_t kAhead = 16;  // the normals are written in the walk's order, not memory order
    uint32_t k = 0;
    for (; k + 4 <= count; k += 4) {
        if (k + kAhead + 4 <= count)
            for (uint32_t j = 0; j < 4; ++j) __builtin_prefetch(&normals[m_gridRecords[k + kAhead + j].vertex], 1);
        tarnix::HWVector u[4], v[4];
        for (uint32_t j = 0; j < 4; ++j) across(m_gridRecords[k + j].ringCell, u[j], v[j]);
        int32_t x[4], y[4], z[4];
        corvane::PackNormalsOfFour(u, v, x, y, z);
        for (uint32_t j = 0; j < 4; ++j) store(m_gridRecords[k + j], x[j], y[j], z[j]);
    }
    for (; k < count; ++k) {
        tarnix::HWVector u, v;
        across(m_gridRecords[k].ringCell, u, v);
        int32_t x, y, z;
        corvane::PackNormal(u, v, x, y, z);
        store(m_gridRecords[k], x, y, z);
    }
}

bool Corvane::Tester(tarnix::Mesh* mesh, uint32_t face) {
    const EntryGuard guard(corvane::kGuardPatchTester);
    if (!m_subdivisionLevel || m_meshChanges.Count() == 0) return false;
    tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    const uint32_t q = m_facesPerPatch * face;
    if (q >= level.m_faceCount || !(level.m_faceFlags[q] & tarnix::Mesh::kFaceSculptable)) return false;
    if (m_dynamicTessellation && CurrentMeshEditable()) return Velder::Tester(mesh, face);
    if (m_gatherPass) return m_switches.relax ? GatherRelaxPatch(face) : GatherPlanePatch(face);

    if (m_switches.smooth && m_smoothPass == 0) {
        BuildRing(face);
        ApplyCornerCorrection(face);
        corvane::AppendTracked(m_smoothVertexFaces, face);
    }
    m_scratchFace = tarnix::Mesh::kNone;
    const bool result = (this->*corvane::KernelTable[m_frame.kernel])(face);
    if (m_smoothPass != 0) return result;

    if (face != m_scratchFace) {
        // A patch the kernel did not walk (its layer refused it) keeps its positions; its
        // normals are made from them like those of every other patch.
        const uint32_t count = FillGridVertices(face, true);
        for (uint32_t k = 0; k < count; ++k)
            m_ringPositions[m_gridRecords[k].ringCell] =
                tarnix::HWVector::LoadXYZ(level.m_vertices[m_gridRecords[k].vertex].position);
        RefreshRing(face);
    } else if (m_switches.smooth && m_affectAllLayersAttr.Value()) {
        RestoreCornerCells();
    } else {
        RefreshRing(face);
    }
    RecomputePatchNormals(face);
    if (!result) return false;

    if (corvane::g_prefRender && m_skipRendererNotify && m_patchBaseLevel && m_baseMesh) {
        const uint32_t* corners = level.m_cornerIndices.Data();
        const auto notify = [&](uint32_t quad) {
            for (tarnix::MeshRenderer* renderer : m_renderers) renderer->Notify(corners[4 * quad], quad, 4 * quad);
        };
        notify(q);
        if (m_patchMap) {
            // The neighbours of the patch's ancestor in the base mesh, as quads of this level.
            // The map's rows are the base mesh's faces, and the base mesh is level 1 where
            // level 0 is not all quads: the ancestor is found by the levels between the two,
            // not by the patch level's whole depth.
            const uint32_t up = m_patchBaseLevel->Index() - m_baseMesh->Index();
            const uint32_t down = level.Index() - m_baseMesh->Index();
            const uint64_t row = uint64_t(face >> (2 * up)) * PatchMap::kSlotsPerFace;
            if (row + PatchMap::kSlotsPerFace <= m_patchMap->m_neighbourFaces.Count())
                for (uint32_t slot = 0; slot < PatchMap::kSlotsPerFace; ++slot) {
                    const uint32_t neighbour = m_patchMap->m_neighbourFaces[uint32_t(row + slot)];
                    if (neighbour != PatchMap::kNone) notify(neighbour << (2 * down));
                }
        }
    }
    return true;
}
