// The per-vertex weights where the inputs reach their edges: distances that a surface region
// never reached, and normals whose packed form comes out a little longer than 1.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "kernels/vertex_pipeline.h"

namespace {

using corvane::DabFrame;
using corvane::VertexState;
using tarnix::HWVector;

// A dab at the origin, radius 1, linear falloff of 5 samples, moving along +z.
struct FrameFixture {
    std::vector<HWVector> rows = std::vector<HWVector>(19, HWVector(tarnix::zero));
    std::vector<float> falloff{1.0f, 0.75f, 0.5f, 0.25f, 0.0f};
    DabFrame frame{};
    float buildUp = 0.0f;

    FrameFixture() {
        rows[1] = HWVector(0, 0, 1);
        frame.rows = rows.data();
        frame.center = frame.meshCenter = HWVector(tarnix::zero);
        frame.direction = rows[1];
        frame.radiusSquared = 1.0f;
        frame.falloff = falloff.data();
        frame.falloffLastIndex = 4;
        frame.falloffScale = 4.0f;
        frame.buildUpRate = 1.0f;
        frame.dabFactor = 1.0f;
        frame.length = 1.0f;
        frame.waxFactor = 1.0f;
        frame.planeSign = frame.liftSign = 1.0f;
        frame.planeMin = -1e8f;
        frame.planeMax = 1e8f;
    }
    VertexState At(const HWVector& p) { return {0, p, p, HWVector(0, 0, 1), HWVector(0, 0, 1), &buildUp, 0}; }
};

TEST(VertexPipelineTest, WeightsStayDefinedForFarDistancesAndSquarelyFacingNormals) {
    FrameFixture f;
    // Surface distances: a vertex the region did not reach is infinitely far.
    const std::vector<float> distances{0.0f, std::numeric_limits<float>::infinity(), std::nanf("")};
    f.frame.vertexDistances = distances.data();
    f.frame.distanceScale = 1.0f;
    const auto displaceVertex = [&](uint32_t vertex, const HWVector& normal) {
        VertexState v = f.At(HWVector(0, 0, 0));
        v.vertex = vertex;
        v.normal = normal;
        f.buildUp = 0.0f;
        HWVector d;
        const auto noSmoothing = [](HWVector&, HWVector&) { return false; };
        const auto noStamp = [] { return HWVector(0, 0, 0); };
        EXPECT_TRUE(corvane::CalcDisplacement(f.frame, corvane::StaticChoices<0>{}, v, noStamp, noSmoothing, d));
        return d.z;
    };
    EXPECT_FLOAT_EQ(displaceVertex(0, HWVector(0, 0, 1)), 1.0f);
    EXPECT_EQ(displaceVertex(1, HWVector(0, 0, 1)), 0.0f) << "not reached: weight 0";
    EXPECT_EQ(displaceVertex(2, HWVector(0, 0, 1)), 0.0f);
    // A packed normal a little longer than 1, facing the camera squarely, has a cosine past 1.
    f.frame.facing = true;
    f.frame.camera = HWVector(0, 0, 10, 1);
    f.frame.facingStart = 60.0f;
    f.frame.facingWidth = 30.0f;
    EXPECT_FLOAT_EQ(displaceVertex(0, HWVector(0, 0, 1.00003f)), 1.0f) << "facing: full weight";
    EXPECT_EQ(displaceVertex(0, HWVector(0, 0, -1.00003f)), 0.0f) << "facing away: none";
}

}  // namespace
