#pragma once
// KernelScratch: the brush's one piece of working memory for dabs and patches, kept between
// dabs and strokes: the dab block, the grow-only arrays of the walks and the per-patch records
// of the level being sculpted. Each array is plain 16-byte aligned memory that grows only
// when a larger patch asks for more, so a dab in the steady state allocates nothing. Release
// frees the arrays: at destruction, and when an error unwinds a dab (the next dab then grows
// them again).
//
// Contents:
//   dabRows           the dab block (dab_block.h): the rows the dab driver writes per dab
//   ring, layerRing   the padded grids of the patch being processed (side 2^L + 3)
//   records           the grid records of a patch walked in grid order (or not cached), and
//                     the sorting room of one whose records are being cached
//   planeSamples      a patch's plane samples by padded-grid cell, so that the gathering can
//                     walk in memory order and still add them up in grid order
//   patches           the grid records of every patch of the level, cached in vertex order
//                     while the level's topology and the patch depth hold

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "kernels/dab_block.h"
#include "tarnix/math/hw_vector.h"
#include "tarnix/math/vector.h"
#include "tarnix/store.h"

namespace corvane {

/// A grow-only, 16-byte aligned array of plain elements.
template <class T>
class ScratchArray {
public:
    ScratchArray() = default;
    ScratchArray(const ScratchArray&) = delete;
    ScratchArray& operator=(const ScratchArray&) = delete;
    ~ScratchArray() { Release(); }

    /// @brief Room for `count` elements (their contents undefined: every user fills what it
    /// reads); null when the system refuses the memory.
    T* Ensure(size_t count) {
        if (count <= m_capacity) return m_data;
        Release();
        m_data = static_cast<T*>(std::aligned_alloc(16, (count * sizeof(T) + 15) & ~size_t(15)));
        if (m_data) m_capacity = count;
        return m_data;
    }
    void Release() {
        std::free(m_data);
        m_data = nullptr;
        m_capacity = 0;
    }

private:
    T* m_data = nullptr;
    size_t m_capacity = 0;
};

/// One grid vertex of a patch: the vertex, the quad it is recorded under (its undo entry's
/// face) and its cell in the padded grid.
struct GridVertex {
    uint32_t vertex;
    uint32_t quad;
    uint32_t ringCell;
};

/// A box of stored positions (each vertex where the undo record keeps it, or where it is while
/// the record does not hold it yet), taken under undo record `change` (0: none). Those
/// positions stay put while one record collects the stroke's moves.
struct StoredBox {
    float minimum[3], maximum[3];
    uint32_t change;
};

/// A patch keeps the box of all its records and one for each run of this many of them.
constexpr uint32_t kRecordsPerStoredBox = 256;

/// @brief The boxes a patch of `records` records keeps: its own, then its runs'.
inline uint32_t StoredBoxesPerPatch(uint32_t records) {
    return 1 + (records + kRecordsPerStoredBox - 1) / kRecordsPerStoredBox;
}

/// One vertex's sample of the reference plane: the position and normal it adds, the weight
/// that scales them, and whether the vertex gave a sample at all.
struct PlaneSampleValue {
    tarnix::Vector position, normal;
    float weight;
    uint32_t taken;
};

/// @brief Adds a sample to the plane sums (weighted position, weighted normal, weight).
inline void AddPlaneSample(const PlaneSampleValue& sample, float sums[7]) {
    const float q = sample.weight;
    for (int i = 0; i < 3; ++i) {
        sums[i] += q * (&sample.position.x)[i];
        sums[3 + i] += q * (&sample.normal.x)[i];
    }
    sums[6] += q;
}

/// How plane samples are weighed and what they add (the two Flatten preferences), read once
/// per patch rather than per sample.
struct PlaneSampleRules {
    bool vertexWeights;  // weight 1 - distance / radius instead of 1
    bool originalData;   // positions and normals as the stroke found them
};

/// The grid records of every patch of a level, for the walks whose order cannot change their
/// result; valid while `topology` is the level's TopologyStamp and the depth and padded-grid
/// side are those of the dab.
struct PatchRecordCache {
    tarnix::Store<GridVertex> records{"corvane patch records"};
    tarnix::Store<uint8_t> built{"corvane patch records"};
    /// Per patch, the serial of the undo record that holds all its vertices (0: none).
    tarnix::Store<uint32_t> entryChanges{"corvane patch records"};
    /// Per patch, the boxes of its stored positions (StoredBoxesPerPatch), which let the plane's
    /// gathering pass by a patch, or a run of its records, wholly outside the brush.
    tarnix::Store<StoredBox> storedBoxes{"corvane patch records"};
    uint64_t topology = 0;  // 0: no records
    uint32_t depth = 0;
    uint32_t side = 0;
};

struct KernelScratch {
    tarnix::HWVector dabRows[kDabRowCount];
    ScratchArray<tarnix::HWVector> ring;
    ScratchArray<tarnix::HWVector> layerRing;
    ScratchArray<GridVertex> records;
    ScratchArray<PlaneSampleValue> planeSamples;
    PatchRecordCache patches;

    void Release() {
        ring.Release();
        layerRing.Release();
        records.Release();
        planeSamples.Release();
    }
};

}  // namespace corvane
