#pragma once
// DabInputs: one dab described by hand, for whoever walks patches or vertices without the
// host's stroke (tests, benchmarks). Corvane::PrepareDab takes it in place of the dab driver's
// steps: it binds the level, sets the dab up as those steps would and prepares the dab's
// frame, so that nothing outside the module writes the brush's state.

#include <cstdint>

#include "tarnix/math/matrix.h"
#include "tarnix/math/vector.h"

namespace tarnix {
class SubdivisionLevel;
}

namespace corvane {

struct DabInputs {
    // Where and how far, in the mesh's space.
    tarnix::Vector center;
    float radius = 1.0f;
    float length = 1.0f;  // the displacement length
    tarnix::Vector direction{0, 0, 1};
    float planeDistance = 0.0f;
    float dabFactor = 1.0f;
    float waxDepth = 0.0f;
    /// 0: the dab; 1: its mirrored twin.
    uint32_t mirrorIndex = 0;

    /// The mesh's placement: with a non-uniform scale the centre and the radius are measured
    /// in the world (meshToWorld), and lengths corrected by the inverse axis scales.
    bool nonUniformScale = false;
    tarnix::Vector inverseScale{1, 1, 1};
    tarnix::Matrix meshToWorld;

    /// Moves along the vertices' own normals instead of the dab direction.
    bool alongVertexNormals = false;
    /// A whole-mesh pass, weighted by the view direction when `viewWeighted`.
    bool wholeMesh = false;
    bool viewWeighted = false;
    tarnix::Vector viewDirection{0, 0, -1};
    /// Moved vertices cast back onto the surface.
    bool projectToSurface = false;
    /// Surface distances per vertex (as a geodesic walk gives them); null: straight distances.
    const float* vertexDistances = nullptr;

    /// The level's renderers hear of the moves: of each vertex, or once per patch and, with
    /// `neighbourNotices`, of the patch's neighbours by the base mesh's patch map.
    bool renderers = false;
    bool notifyEachVertex = false;
    bool neighbourNotices = false;

    struct Stamp {
        bool on = false, tiled = false, vectorDisplacement = false, buildUp = false;
        /// Samples (three per texel for a vector stamp), row by row; the caller's, not copied.
        const float* pixels = nullptr;
        uint32_t width = 0, height = 0;
        float maskFactor = 1.0f, scaleX = 0.0f, scaleY = 0.0f, depthStep = 0.0f;
        tarnix::Matrix matrix;  // mesh space to stamp texels
        tarnix::Vector axisX{1, 0, 0}, axisY{0, 1, 0};
    } stamp;

    /// Smoothing phase: -1 recording, 0 smoothing, 1 inflating (volume-preserving smooth).
    int32_t smoothPass = 0;
    /// The gathering pass (the region plane, or Relax's targets) instead of moving; it starts
    /// from empty plane sums.
    bool gather = false;
    /// Continues the stroke of the dab prepared before: the level's undo record keeps the
    /// brush's serial for it, as it does for the dabs of one stroke.
    bool sameStroke = false;

    /// The level sculpted, and the depth of its patches (base faces `patchDepth` levels up).
    tarnix::SubdivisionLevel* level = nullptr;
    uint32_t patchDepth = 0;
};

}  // namespace corvane
