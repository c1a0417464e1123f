#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
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
    std::vector<float> stamp{0.5f, 1.0f, 0.25f, 0.0f};  // 2 x 2 grey
    DabFrame frame{};
    float buildUp = 0.0f;

    FrameFixture() {
        rows[1] = HWVector(0, 0, 1);
        // Stamp coordinates: u = x + 1, v = y + 1 (pixels of a 2 x 2 image around the centre).
        rows[7] = HWVector(1, 0, 0, 0);
        rows[8] = HWVector(0, 1, 0, 0);
        rows[9] = HWVector(0, 0, 1, 0);
        rows[10] = HWVector(1, 1, 0, 1);
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
        frame.stampPixels = stamp.data();
        frame.stampWidth = frame.stampHeight = 2;
        frame.stampMaskFactor = 1.0f;
    }
    VertexState At(const HWVector& p, uint8_t freeze = 0) {
        return {0, p, p, p, HWVector(0, 0, 1), HWVector(0, 0, 1), &buildUp, freeze};
    }
    // The displacement of the Sculpt kernel (with `Index` choices) at p; NaN when outside.
    template <uint32_t Index = 0>
    HWVector Displace(const HWVector& p, uint8_t freeze = 0) {
        HWVector d;
        const auto noSmoothing = [](HWVector&, HWVector&) { return false; };
        if (!corvane::CalcDisplacement(frame, corvane::StaticChoices<Index>{}, At(p, freeze), noSmoothing, d))
            return HWVector(std::nanf(""));
        return d;
    }
};

TEST(PlaneRuleTest, FlattenAtFullStrengthLandsOnThePlane) {
    const corvane::PlaneRule::Plane plane{tarnix::Normalize(HWVector(1, 2, 2)), 0.5f, 0.0f, 1.0f, 1.0f, -1e8f, 1e8f};
    std::mt19937 random(3);
    std::uniform_real_distribution<float> coordinate(-3, 3);
    for (int i = 0; i < 50; ++i) {
        const HWVector p(coordinate(random), coordinate(random), coordinate(random));
        const HWVector moved = p + corvane::PlaneRule::Displace(plane, p, 1.0f, 100.0f);
        ASSERT_NEAR(tarnix::Dot(plane.normal, moved), 0.5f, 1e-4f);
    }
}

TEST(PlaneRuleTest, ScrapeOnlyLowersFillOnlyRaisesAmplifyPushesAway) {
    const HWVector n(0, 0, 1);
    std::mt19937 random(4);
    std::uniform_real_distribution<float> height(-2, 2), weight(0, 1);
    for (int i = 0; i < 100; ++i) {
        const HWVector p(0.3f, -0.2f, height(random));
        const float w = weight(random);
        const corvane::PlaneRule::Plane scrape{n, 0.0f, 0.0f, 1.0f, 1.0f, -1e8f, 0.0f};
        const corvane::PlaneRule::Plane fill{n, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1e8f};
        const corvane::PlaneRule::Plane amplify{n, 0.0f, 0.0f, 1.0f, -1.0f, -1e8f, 1e8f};
        ASSERT_LE(corvane::PlaneRule::Displace(scrape, p, w, 50).z, 0.0f) << "Scrape never raises";
        ASSERT_GE(corvane::PlaneRule::Displace(fill, p, w, 50).z, 0.0f) << "Fill never lowers";
        const float away = corvane::PlaneRule::Displace(amplify, p, w, 50).z;
        ASSERT_GE(away * p.z, 0.0f) << "Amplify moves away from the plane";
    }
    // Inverted Amplify (plane sign +1) is Flatten.
    const corvane::PlaneRule::Plane flatten{n, 0.0f, 0.0f, 1.0f, 1.0f, -1e8f, 1e8f};
    EXPECT_FLOAT_EQ(corvane::PlaneRule::Displace(flatten, HWVector(0, 0, 1), 1, 50).z, -0.5f);
    // Wax aims at the plane lifted by its depth.
    const corvane::PlaneRule::Plane wax{n, 0.0f, 0.25f, 1.0f, 1.0f, -1e8f, 1e8f};
    EXPECT_FLOAT_EQ(corvane::PlaneRule::Displace(wax, HWVector(0, 0, 0), 1, 100).z, 0.25f);
}

TEST(PinchRuleTest, TheCentreStaysAndOthersMoveInwards) {
    const HWVector centre(1, 2, 3);
    EXPECT_EQ(corvane::PinchRule::Displace(centre, centre, 1, 1), HWVector(tarnix::zero));
    const HWVector d = corvane::PinchRule::Displace(centre, HWVector(3, 2, 3), 0.5f, 1.0f);
    EXPECT_FLOAT_EQ(d.x, -0.1f) << "a tenth of the weighted fraction of the way";
}

TEST(VertexPipelineTest, RadiusAndFalloffEdges) {
    FrameFixture f;
    EXPECT_FLOAT_EQ(f.Displace(HWVector(0, 0, 0)).z, 1.0f);
    EXPECT_FLOAT_EQ(f.Displace(HWVector(1, 0, 0)).z, 0.0f) << "exactly at the radius: inside, last sample";
    EXPECT_TRUE(std::isnan(f.Displace(HWVector(1.0001f, 0, 0)).z)) << "past the radius: outside";
    f.frame.falloffScale = 5.0f;  // the rim now maps one past the table
    EXPECT_EQ(f.Displace(HWVector(1, 0, 0)).z, 0.0f);
    EXPECT_FALSE(std::isnan(f.Displace(HWVector(1, 0, 0)).z)) << "inside, with weight 0";
}

TEST(VertexPipelineTest, FreezeHoldsAndBuildUpSaturates) {
    FrameFixture f;
    EXPECT_EQ(f.Displace<corvane::kBitFreeze>(HWVector(0, 0, 0), 127).z, 0.0f);
    EXPECT_FLOAT_EQ(f.Displace<corvane::kBitFreeze>(HWVector(0, 0, 0), 0).z, 1.0f);
    EXPECT_FLOAT_EQ(f.Displace(HWVector(0, 0, 0), 0).z, 0.0f) << "build-up reached 1 with the first move";
    f.buildUp = 0.5f;
    f.frame.dabFactor = 0.5f;
    EXPECT_FLOAT_EQ(f.Displace(HWVector(0, 0, 0)).z, 0.5f);
    EXPECT_FLOAT_EQ(f.buildUp, 0.75f);
}

TEST(VertexPipelineTest, StampTexelsOutsideTheImageLeaveTheVertexUnlessTiled) {
    FrameFixture f;
    constexpr uint32_t stamped = corvane::kBitStamp;
    constexpr uint32_t tiled = corvane::kBitStamp | corvane::kBitTiled;
    // (-0.8, 0.1) lies on texel (0, 1) of the 2 x 2 stamp (0.25), at falloff sample 3 (0.25).
    EXPECT_FLOAT_EQ(f.Displace<stamped>(HWVector(-0.8f, 0.1f, 0)).z, 0.25f * 0.25f);
    f.buildUp = 0.0f;
    EXPECT_TRUE(std::isnan(f.Displace<stamped>(HWVector(0.6f, 0, 0)).z)) << "texel (2, 1) is outside";
    EXPECT_FALSE(std::isnan(f.Displace<tiled>(HWVector(0.6f, 0, 0)).z)) << "tiling wraps it to (0, 1)";
    EXPECT_FALSE(std::isnan(f.Displace<0>(HWVector(0.6f, 0, 0)).z)) << "without the stamp it is inside";
}

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
        EXPECT_TRUE(corvane::CalcDisplacement(f.frame, corvane::StaticChoices<0>{}, v, noSmoothing, d));
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

TEST(VertexPipelineTest, DistancesAreMeasuredFromTheStoredPosition) {
    FrameFixture f;
    VertexState far = f.At(HWVector(5, 0, 0));
    far.stored = HWVector(0.5f, 0, 0);  // where the stroke first found it
    HWVector d;
    const auto noSmoothing = [](HWVector&, HWVector&) { return false; };
    ASSERT_TRUE(corvane::CalcDisplacement(f.frame, corvane::StaticChoices<0>{}, far, noSmoothing, d));
    EXPECT_FLOAT_EQ(d.z, 0.5f);
}

}  // namespace
