#pragma once
// Prepares a brush for one dab by hand, the way the dab driver will: binds the level (patches
// of `patchDepth` depth below it), its undo record, the padded grid, the dab block and the
// per-dab members, and prepares the dab's frame from them. Kernel tests then call the patch
// tester or the kernels directly (a test that changes the dab after binding prepares the frame
// again); stroke tests run whole strokes through the host's stroke driver instead.

#include <cstdlib>
#include <memory>
#include <vector>

#include "brush/corvane.h"
#include "tarnix/geometry.h"
#include "tarnix/stroke_driver.h"

namespace dab_setup {

struct Dab {
    tarnix::Vector center;
    float radius = 1.0f;
    float length = 1.0f;  // the displacement length
    tarnix::Vector direction{0, 0, 1};
    float planeDistance = 0.0f;
};

/// @brief A brush with the preset of `toolId` active (its presets registered once).
std::unique_ptr<Corvane> MakeBrush(uint32_t toolId);

/// @brief `brush` bound to `level` (patch base: the level `patchDepth` below it) and set up for
/// one dab, its frame prepared, until the object goes: it owns the buffers the dab needs, and unbinds the brush.
class BoundDab {
public:
    BoundDab(Corvane& brush, tarnix::SubdivisionLevel* level, uint32_t patchDepth, const Dab& dab);
    ~BoundDab();
    BoundDab(const BoundDab&) = delete;
    BoundDab& operator=(const BoundDab&) = delete;

private:
    struct Free {
        void operator()(tarnix::HWVector* cells) const { std::free(cells); }
    };
    using Cells = std::unique_ptr<tarnix::HWVector, Free>;
    Corvane& m_brush;
    Cells m_ring, m_layerRing;
};

/// @brief One stroke of `brush` along `path` on `level`, placed as the host's stroke driver places it.
tarnix::StrokeReport Stroke(Corvane& brush, tarnix::SubdivisionLevel& level, const std::vector<tarnix::Vector>& path,
                            float size, float strength);

}  // namespace dab_setup
