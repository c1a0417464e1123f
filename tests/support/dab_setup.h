#pragma once
// Prepares a brush for one dab by hand, the way the dab driver will (Corvane::PrepareDab over a
// corvane::DabInputs): kernel tests then call the patch tester or the kernels directly; stroke
// tests run whole strokes through the host's stroke driver instead.

#include <memory>
#include <vector>

#include "brush/corvane.h"
#include "brush/dab_inputs.h"
#include "tarnix/geometry.h"
#include "tarnix/stroke_driver.h"

namespace dab_setup {

using Dab = corvane::DabInputs;

/// @brief A brush with the preset of `toolId` active (its presets registered once).
std::unique_ptr<Corvane> MakeBrush(uint32_t toolId);

/// @brief `brush` set up for `dab` on `level` (patch base: the level `patchDepth` below it),
/// its frame prepared, until the object goes.
class BoundDab {
public:
    BoundDab(Corvane& brush, tarnix::SubdivisionLevel* level, uint32_t patchDepth, Dab dab) : m_brush(brush) {
        dab.level = level;
        dab.patchDepth = patchDepth;
        brush.PrepareDab(dab);
    }
    ~BoundDab() { m_brush.ReleaseDab(); }
    BoundDab(const BoundDab&) = delete;
    BoundDab& operator=(const BoundDab&) = delete;

private:
    Corvane& m_brush;
};

/// @brief One stroke of `brush` along `path` on `level`, placed as the host's stroke driver places it.
tarnix::StrokeReport Stroke(Corvane& brush, tarnix::SubdivisionLevel& level, const std::vector<tarnix::Vector>& path,
                            float size, float strength);

}  // namespace dab_setup
