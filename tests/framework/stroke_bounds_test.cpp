// The stroke driver's bounds: however far apart the points, however small the brush, a stroke
// either places its dabs or is refused at once, and the count it promises is what it places.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

#include "builtin_shapes.h"
#include "caught_error.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"
#include "tarnix/scene.h"
#include "tarnix/stroke_driver.h"

namespace {

// A brush that only counts its dabs.
class CountingBrush : public tarnix::BrushOperation {
public:
    void ApplyDab(const tarnix::SurfacePoint*, const tarnix::Vector*, float, float, float,
                  tarnix::AxisAlignedBoundingBox&) override {
        ++dabs;
    }
    int dabs = 0;
};

class StrokeBoundsTest : public ::testing::Test {
protected:
    void SetUp() override {
        tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 5}, {0, 0, 0});
        options.size = 0.1f;
    }
    tarnix::StrokeOptions options;
    std::unique_ptr<tarnix::Geometry> cube = shapes::Subdivided(shapes::Cube(), 3);
    CountingBrush brush;
    tarnix::StrokeDriver driver{brush};
};

TEST_F(StrokeBoundsTest, TheCountedDabsAreTheDabsPlaced) {
    brush.m_dabSpacingAttr.SetValue(10.0f);
    options.size = 0.05f;
    const std::vector<tarnix::Vector> path = {{-0.4f, 0, 2}, {0.1f, 0.05f, 2}, {0.1f, 0.05f, 2}, {0.3f, -0.2f, 2}};
    const uint64_t counted = driver.DabCount(path, options.size);
    const tarnix::StrokeReport report = driver.Run(*cube->HighestLevel(), path, options);
    EXPECT_EQ(report.dabs, counted);
    EXPECT_EQ(uint64_t(brush.dabs), counted);
    // 0.5 + 0.32 of path at 0.005 apart, the first dab at the start.
    EXPECT_NEAR(double(counted), 1 + (0.5025 + 0.32016) / 0.005, 2.0);
}

TEST_F(StrokeBoundsTest, TheReportTimesTheBrushsOwnDabs) {
    // A brush that takes a millisecond over each dab, on a stroke whose host side is cheap.
    class SlowBrush : public CountingBrush {
    public:
        void ApplyDab(const tarnix::SurfacePoint* point, const tarnix::Vector* position, float size, float factor,
                      float strength, tarnix::AxisAlignedBoundingBox& changed) override {
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1);
            while (std::chrono::steady_clock::now() < until) {
            }
            CountingBrush::ApplyDab(point, position, size, factor, strength, changed);
        }
    } slow;
    tarnix::StrokeDriver timed(slow);
    const auto start = std::chrono::steady_clock::now();
    const tarnix::StrokeReport report = timed.Run(*cube->HighestLevel(), {{-0.4f, 0, 2}, {0.4f, 0, 2}}, options);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_GT(slow.dabs, 5);
    EXPECT_GE(report.brushSeconds, 1e-3 * slow.dabs);
    EXPECT_LE(report.brushSeconds, wall);
}

TEST_F(StrokeBoundsTest, PathsPastTheBoundAreRefusedBeforeTheStrokeBegins) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float size;
        std::vector<tarnix::Vector> path;
    };
    const Case cases[] = {
        {1e-30f, {{0, 0, 2}, {0.3f, 0, 2}}},  // a spacing far below the path's rounding
        {0.1f, {{0, 0, 2}, {0, 500000, 2}}},  // one mistyped far-off point
        {0.1f, {{0, 0, 2}, {1e30f, 0, 2}}},   // a length no float holds
        {0.1f, {{0, 0, 2}, {inf, 0, 2}}},     // not a point at all
        {0.1f, std::vector<tarnix::Vector>(tarnix::StrokeDriver::kMostPathPoints + 1, {0, 0, 2})},
    };
    const auto start = std::chrono::steady_clock::now();
    for (const Case& c : cases) {
        options.size = c.size;
        EXPECT_TRUE(Caught([&] { driver.Run(*cube->HighestLevel(), c.path, options); }).raised) << c.size;
        EXPECT_FALSE(driver.InStroke());
    }
    EXPECT_EQ(brush.dabs, 0) << "nothing was placed";
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    for (float size : {0.0f, 1e-40f, inf, std::nanf("")}) {
        options.size = size;
        EXPECT_TRUE(Caught([&] { driver.Begin(*cube->HighestLevel(), options); }).raised) << size;
        EXPECT_FALSE(driver.InStroke());
    }
}

TEST_F(StrokeBoundsTest, APointAsTheyComeIsRefusedWithoutItsDabsAndTheStrokeGoesOn) {
    driver.Begin(*cube->HighestLevel(), options);
    driver.AddPoint({-0.2f, 0, 2});
    driver.AddPoint({0.2f, 0, 2});
    const int placed = brush.dabs;
    EXPECT_GT(placed, 1);
    EXPECT_TRUE(FaultOf([&] { driver.AddPoint({0, 5e6f, 2}); }).contains(QStringLiteral("dabs")));
    EXPECT_TRUE(FaultOf([&] { driver.AddPoint({std::nanf(""), 0, 2}); }).contains(QStringLiteral("not finite")));
    EXPECT_EQ(brush.dabs, placed);
    ASSERT_TRUE(driver.InStroke());
    driver.AddPoint({0.3f, 0, 2});
    EXPECT_GT(brush.dabs, placed) << "points after the refused ones still place dabs";
    const uint32_t reported = driver.End().dabs;  // the dabs End places count too
    EXPECT_EQ(reported, uint32_t(brush.dabs));
}

}  // namespace
