#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "builtin_shapes.h"
#include "caught_error.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"
#include "tarnix/mirror_configuration.h"
#include "tarnix/scene.h"
#include "tarnix/stroke_driver.h"
#include "tarnix/surface_point.h"

namespace {

// A brush that sculpts nothing: it locks the mesh as a brush does, records each dab's point
// and stamp matrix, and throws where a test asks it to.
class RecordingBrush : public tarnix::BrushOperation, public tarnix::MeshUnlocker {
public:
    struct Dab {
        tarnix::SurfacePoint point;
        tarnix::Matrix stamp;
        float size, dabFactor;
        tarnix::Vector position;
        uint32_t twin;
    };
    enum Failure { kNone, kInBeginStroke, kInDab };

    void BeginStroke(tarnix::Mesh* mesh, Modifier, TriggerType) override {
        m_mesh = mesh;
        mesh->Lock(true, this);
        if (failure == kInBeginStroke) Fail();  // like a brush that could not bind the mesh
        m_inStroke = true;
    }
    void ApplyDab(const tarnix::SurfacePoint* point, const tarnix::Vector* position, float size, float dabFactor, float,
                  tarnix::AxisAlignedBoundingBox&) override {
        dabs.push_back({*point, MaskMatrix(kStampMask), size, dabFactor, *position, MirrorConfig().SelectedTwin()});
        if (failure == kInDab) Fail();
    }
    void ApplyToWholeMesh(tarnix::Mesh*, float, float, bool) override {
        if (failure == kInDab) Fail();
    }
    void EndStroke() override {
        ++ended;
        if (m_inStroke && m_mesh) m_mesh->Unlock(true);
        m_inStroke = false;
    }
    bool CanUnlock() const override { return !m_inStroke; }
    bool SpacesDabs() const override { return !followsPointer; }

    Failure failure = kNone;
    bool followsPointer = false;  // a grab: a dab per pointer point
    std::vector<Dab> dabs;
    int ended = 0;

private:
    [[noreturn]] static void Fail() { tarnix::Error::Raise(4, "RecordingBrush", "test", 0, QStringLiteral("broken")); }
    tarnix::Mesh* m_mesh = nullptr;
    bool m_inStroke = false;
};

// The image's x axis (where the stamp matrix sends a step along it) and its y axis, in mesh space.
tarnix::Vector StampAxis(const tarnix::Matrix& m, int column) {
    return tarnix::Vector(m[0][column], m[1][column], m[2][column]).Normalized();
}

class StrokeDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        tarnix::PolygonMesh plane = shapes::Plane(4, 4);
        for (tarnix::Vector& p : plane.positions) p = p - tarnix::Vector(2, 2, 0);
        geometry = shapes::Subdivided(plane, 3);
        level = geometry->HighestLevel();
        tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 10}, {0, 0, 0});  // x to the right
        brush.SetStamp(true, QStringLiteral("Stamps/knife.tif"));
        options.size = 0.4f;
    }
    template <class Change>
    void Stamp(Change change) {
        tarnix::StampConfiguration stamp = brush.StampConfig();
        change(stamp);
        brush.SetStampConfig(stamp);
    }
    std::vector<RecordingBrush::Dab> Stroke(const std::vector<tarnix::Vector>& path) {
        brush.dabs.clear();
        tarnix::StrokeDriver(brush).Run(*level, path, options);
        return brush.dabs;
    }

    tarnix::StrokeOptions options;
    std::unique_ptr<tarnix::Geometry> geometry;
    tarnix::SubdivisionLevel* level = nullptr;
    RecordingBrush brush;
};

TEST_F(StrokeDriverTest, StampsFollowTheStrokeFromItsFirstDabOrStayUpright) {
    const tarnix::Vector diagonal = tarnix::Vector(1, 1, 0).Normalized();
    const auto dabs = Stroke({{-1, -1, 0}, {1, 1, 0}});
    ASSERT_GT(dabs.size(), 5u);
    for (const auto& dab : dabs) {
        EXPECT_GT(StampAxis(dab.stamp, 0) | diagonal, 0.999f) << "x along the stroke, the first dab's too";
        EXPECT_GT(StampAxis(dab.stamp, 1) | (diagonal & tarnix::Vector(0, 0, 1)), 0.999f)
            << "rows run down the image: away from the left of the stroke";
    }
    Stamp([](tarnix::StampConfiguration& s) { s.m_followStroke = false; });
    for (const auto& dab : Stroke({{-1, -1, 0}, {1, 1, 0}})) {
        EXPECT_GT(StampAxis(dab.stamp, 0) | tarnix::Vector(1, 0, 0), 0.999f) << "upright as the camera sees it";
        EXPECT_GT(StampAxis(dab.stamp, 1) | tarnix::Vector(0, -1, 0), 0.999f);
    }
    // A lone dab has no direction: it stands upright too.
    Stamp([](tarnix::StampConfiguration& s) { s.m_followStroke = true; });
    const auto lone = Stroke({{0.3f, 0.2f, 0}});
    ASSERT_EQ(lone.size(), 1u);
    EXPECT_GT(StampAxis(lone[0].stamp, 0) | tarnix::Vector(1, 0, 0), 0.999f);
}

TEST_F(StrokeDriverTest, ABrushThatFollowsThePointerGetsADabPerPointAtThePointerPastTheOutline) {
    brush.followsPointer = true;
    brush.MirrorConfig().SetMirrorMode(tarnix::MirrorConfiguration::kLocalX);
    // The first point misses the plane (it spans -2..2), the second takes hold; the rest are
    // a point a radius away and one far past the outline, above the plane.
    const auto dabs = Stroke({{-5, -5, 3}, {0.3f, 0.2f, 3}, {0.5f, 0.2f, 1}, {4.0f, 3.0f, 6}});
    brush.MirrorConfig().SetMirrorMode(tarnix::MirrorConfiguration::kOff);
    ASSERT_EQ(dabs.size(), 6u) << "a dab and its twin per point from the hold on, however far apart";
    const tarnix::Vector pointer[] = {{0.3f, 0.2f, 0}, {0.5f, 0.2f, 0}, {4.0f, 3.0f, 0}};
    for (size_t i = 0; i < 3; ++i) {
        const auto& dab = dabs[2 * i];
        const auto& twin = dabs[2 * i + 1];
        EXPECT_EQ(dab.twin, 0u);
        EXPECT_EQ(twin.twin, 1u);
        EXPECT_EQ(dab.point.m_face, dabs[0].point.m_face) << "the hold stays where the stroke took it";
        EXPECT_NEAR((dab.position - pointer[i]).Length(), 0.0, 1e-5)
            << "the pointer on the view plane through the hold";
        EXPECT_NEAR((twin.position - tarnix::Vector(-pointer[i].x, pointer[i].y, 0)).Length(), 0.0, 1e-5) << "mirrored";
        EXPECT_EQ(dab.dabFactor, dabs[0].dabFactor) << "every point weighs alike";
    }
}

TEST_F(StrokeDriverTest, PenPressureScalesTheDabStrengthAndWithPressureSizeItsSize) {
    // The stamp's x axis is as long as the size the stamp was placed with is short.
    const auto stampScale = [](const tarnix::Matrix& m) { return tarnix::Vector(m[0][0], m[1][0], m[2][0]).Length(); };
    for (const bool pressureSize : {false, true}) {
        brush.m_pressureSizeAttr.SetValue(pressureSize, true);
        brush.dabs.clear();
        tarnix::StrokeDriver driver(brush);
        driver.Begin(*level, options);
        driver.AddPoint({-1, 0, 0}, 1.0f);
        driver.AddPoint({0, 0, 0}, 1.0f);
        const size_t firm = brush.dabs.size();
        driver.AddPoint({1, 0, 0}, 0.25f);
        driver.End();
        ASSERT_GT(firm, 2u);
        ASSERT_GT(brush.dabs.size(), firm + 2);
        const RecordingBrush::Dab& full = brush.dabs[1];
        const RecordingBrush::Dab& light = brush.dabs.back();
        EXPECT_FLOAT_EQ(full.dabFactor, 1.0f);
        EXPECT_FLOAT_EQ(light.dabFactor, 0.25f) << "pressure always scales the strength";
        EXPECT_FLOAT_EQ(full.size, 0.4f);
        EXPECT_FLOAT_EQ(light.size, pressureSize ? 0.1f : 0.4f);
        EXPECT_NEAR(stampScale(light.stamp) / stampScale(full.stamp), pressureSize ? 4.0f : 1.0f, 1e-3f)
            << "the stamp shrinks with the dab";
    }
}

TEST_F(StrokeDriverTest, RandomisedStampsTurnAndShiftPerDabTheSameWayForTheSameStroke) {
    Stamp([](tarnix::StampConfiguration& s) { s.m_randomize = true; });
    const auto first = Stroke({{-1, 0, 0}, {1, 0, 0}});
    ASSERT_GT(first.size(), 5u);
    std::vector<float> angles;
    for (const auto& dab : first) {
        const tarnix::Vector x = StampAxis(dab.stamp, 0);
        angles.push_back(std::atan2(x.y, x.x));
    }
    int turned = 0;
    for (size_t i = 1; i < angles.size(); ++i)
        turned += std::fabs(std::remainder(angles[i] - angles[0], 6.2831853f)) > 0.2f;
    EXPECT_GE(turned, int(angles.size()) / 2) << "turned at random, not along the stroke";
    // The stamp's centre (the image's middle) moves along the stroke, off the dab's centre.
    int shifted = 0;
    for (const auto& dab : first) {
        const tarnix::Vector middle = tarnix::Matrix::ProjectedTransform(dab.stamp, dab.point.m_position, 1.0f);
        shifted += std::fabs(middle.x - 63.5f) + std::fabs(middle.y - 63.5f) > 0.5f;
    }
    EXPECT_GE(shifted, int(first.size()) / 2);
    const auto again = Stroke({{-1, 0, 0}, {1, 0, 0}});
    ASSERT_EQ(again.size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(again[i].stamp, first[i].stamp) << "dab " << i;
}

TEST_F(StrokeDriverTest, TiledStampsStayWhereTheStrokeBegan) {
    Stamp([](tarnix::StampConfiguration& s) { s.m_tiled = true; });
    const auto dabs = Stroke({{-1, 0.5f, 0}, {0.5f, -0.5f, 0}, {1, 1, 0}});
    ASSERT_GT(dabs.size(), 5u);
    for (const auto& dab : dabs) EXPECT_EQ(dab.stamp, dabs.front().stamp);
    const tarnix::Vector start = tarnix::Matrix::ProjectedTransform(dabs.front().stamp, {-1, 0.5f, 0}, 1.0f);
    EXPECT_NEAR(start.x, 63.5f, 1e-3f) << "centred on the first dab";
    EXPECT_NEAR(start.y, 63.5f, 1e-3f);
}

TEST_F(StrokeDriverTest, MirroredStampsPutTheMirrorImageOnTheTwins) {
    brush.MirrorConfig().SetMirrorMode(tarnix::MirrorConfiguration::kLocalX);
    const auto mirrorOf = [](const tarnix::Vector& p) { return tarnix::Vector(-p.x, p.y, p.z); };
    const std::vector<tarnix::Vector> probes = {{0.5f, 0.3f, 0}, {0.7f, 0.1f, 0.05f}, {0.4f, 0.5f, -0.1f}};
    for (bool mirrored : {true, false}) {
        Stamp([&](tarnix::StampConfiguration& s) { s.m_mirrored = mirrored; });
        const auto dabs = Stroke({{0.4f, 0.2f, 0}, {0.8f, 0.5f, 0}});
        ASSERT_GT(dabs.size(), 2u);
        ASSERT_EQ(dabs.size() % 2, 0u);
        float largest = 0.0f;
        for (size_t i = 0; i < dabs.size(); i += 2) {
            ASSERT_FALSE(dabs[i].point.m_mirrored);
            ASSERT_TRUE(dabs[i + 1].point.m_mirrored);
            EXPECT_EQ(dabs[i + 1].point.m_position, mirrorOf(dabs[i].point.m_position))
                << "the twin is the exact image";
            for (const tarnix::Vector& p : probes) {
                const tarnix::Vector primary = tarnix::Matrix::ProjectedTransform(dabs[i].stamp, p, 1.0f);
                const tarnix::Vector twin = tarnix::Matrix::ProjectedTransform(dabs[i + 1].stamp, mirrorOf(p), 1.0f);
                largest = std::max(largest, (primary - twin).Length());
            }
        }
        if (mirrored) EXPECT_LT(largest, 1e-3f) << "each twin vertex samples the stamp at its mirror image";
        else EXPECT_GT(largest, 1.0f) << "the twin carries the image itself, turned to its own stroke";
    }
}

TEST_F(StrokeDriverTest, ABrushThatThrowsGetsItsStrokeEndedAndTheMeshUnlocked) {
    tarnix::Kernel::SetLogEcho(false);
    const auto raised = [](auto&& run) { return FaultOf(run) == QStringLiteral("broken"); };
    for (auto failure : {RecordingBrush::kInBeginStroke, RecordingBrush::kInDab}) {
        brush.failure = failure;
        brush.ended = 0;
        EXPECT_TRUE(raised([&] { Stroke({{-1, 0, 0}, {1, 0, 0}}); })) << "the error reaches the caller";
        EXPECT_EQ(level->LockHolder(), nullptr) << "failure " << failure;
        EXPECT_EQ(brush.ended, 1) << "the brush is told the stroke is over";
        brush.ended = 0;
        EXPECT_TRUE(raised([&] { tarnix::StrokeDriver(brush).RunWholeMesh(*level, 1.0f, false, {}); }));
        EXPECT_EQ(level->LockHolder(), nullptr) << "whole mesh, failure " << failure;
        EXPECT_EQ(brush.ended, 1);
    }
}

}  // namespace
