#pragma once
// DabFrame: everything a kernel reads about the dab, as plain values and pointers (not the
// brush). The dab driver fills it once per dab, as the last of its steps before the patches
// are walked (Corvane::PrepareDabFrame); the patch kernels and the per-vertex path only read
// it. What changes during a dab (the pass stamp, the touched box, the padded grids) is not
// part of it: that is the walk's working set (patch_work.h).

#include <cstdint>

#include "kernels/dab_block.h"
#include "tarnix/math/hw_vector.h"

namespace tarnix {
class SpatialGrid;
}

namespace corvane {

struct DabFrame {
    /// The kernel for the dab's choices (kernel_index.h): the patch kernel the patches run,
    /// and the choices the per-vertex path reads.
    uint32_t kernel;

    const tarnix::HWVector* rows;  // the dab block
    tarnix::HWVector center;       // row 0 (world space with a non-uniform scale)
    tarnix::HWVector meshCenter;   // the brush centre in mesh space
    tarnix::HWVector direction;    // row 1
    float radiusSquared;

    const float* falloff;
    uint32_t falloffLastIndex;
    float falloffScale;

    float buildUpRate;
    float dabFactor;
    float length;     // displacement length, with the mesh-scale correction
    float waxDepth;   // with the mesh-scale correction for Wax
    float waxFactor;  // (1 - 0.01 bias) dab factor + 0.01 bias, or 1 for other tools
    float planeDistance;
    float planeMin, planeMax, planeSign, liftSign;

    // Distances along the surface instead of straight ones.
    const float* vertexDistances;  // null: straight distances
    float distanceScale;           // the inverse mesh scale (uniform scale only)

    // Facing falloff (the host's switch), in the mesh's space.
    bool facing;
    tarnix::HWVector camera;
    float facingStart, facingWidth;

    // Whole-mesh pass weighted by the view direction.
    bool viewWeighted;
    tarnix::HWVector viewDirection;

    // Stamp.
    const float* stampPixels;
    uint32_t stampWidth, stampHeight;
    bool stampVector;
    bool stampBilinear;
    bool stampBuildUp;
    float stampMaskFactor;
    float stampScaleX, stampScaleY, stampDepthStep;
    /// The mirrored twin of a topologically mirrored dab samples the stamp at each vertex's
    /// partner (so the twin carries the stamp's mirror image).
    bool stampAtPartner;

    // Surface projection (null grid: off).
    tarnix::SpatialGrid* projectionGrid;
};

}  // namespace corvane
