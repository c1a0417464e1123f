#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "brush/corvane.h"
#include "builtin_shapes.h"
#include "dab_setup.h"
#include "plugin/tool_catalogue.h"
#include "tarnix/block.h"
#include "tarnix/kernel.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/stroke_driver.h"

namespace {

// Stamped strokes on a flat 4 x 4 grid centred on the origin (level 5: 1/32 apart), seen from
// above.
class StampTest : public ::testing::Test {
protected:
    void SetUp() override {
        tarnix::PolygonMesh plane = shapes::Plane(4, 4);
        for (tarnix::Vector& p : plane.positions) p = p - tarnix::Vector(2, 2, 0);
        geometry = shapes::Subdivided(plane, 5);
        level = geometry->HighestLevel();
        tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 10}, {0, 0, 0});
    }
    void TearDown() override { tarnix::Block::SetBudget(tarnix::Block::kUnlimited); }
    void Use(uint32_t tool) { brush = dab_setup::MakeBrush(tool); }
    void ChangeStamp(void (*change)(tarnix::StampConfiguration&)) {
        tarnix::StampConfiguration stamp = brush->StampConfig();
        change(stamp);
        brush->SetStampConfig(stamp);
    }
    // The heights a stroke leaves, starting from the flat grid.
    std::vector<float> Stroke(const std::vector<tarnix::Vector>& path, float size, float strength) {
        tarnix::StrokeOptions options;
        options.size = size;
        options.strength = strength;
        tarnix::StrokeDriver(*brush).Run(*level, path, options);
        std::vector<float> heights(level->VertexCount());
        for (uint32_t v = 0; v < level->VertexCount(); ++v) heights[v] = level->VertexPosition(v).z;
        return heights;
    }

    std::unique_ptr<tarnix::Geometry> geometry;
    tarnix::SubdivisionLevel* level = nullptr;
    std::unique_ptr<Corvane> brush;
};

TEST_F(StampTest, TheKnifeCutsAFineGrooveAlongItsStroke) {
    Use(corvane::kToolKnife);
    const std::vector<float> heights = Stroke({{-0.6f, 0.1f, 0}, {0.6f, 0.1f, 0}}, 0.5f, 20.0f);
    float deepest = 0.0f;
    for (float h : heights) deepest = std::max(deepest, std::fabs(h));
    ASSERT_GT(deepest, 1e-3f);
    // Where the knife went in, and how far across the stroke that reaches.
    float across = 0.0f, from = 1.0f, to = -1.0f;
    for (uint32_t v = 0; v < level->VertexCount(); ++v) {
        if (std::fabs(heights[v]) < 0.2f * deepest) continue;
        const tarnix::Vector p = level->VertexPosition(v);
        across = std::max(across, std::fabs(p.y - 0.1f));
        from = std::min(from, p.x);
        to = std::max(to, p.x);
    }
    EXPECT_LT(across, 0.07f) << "a groove a few vertices wide, not slashes across the stroke";
    EXPECT_LT(from, -0.5f) << "from the stroke's start";
    EXPECT_GT(to, 0.5f) << "to its end";
}

TEST_F(StampTest, ChangingOnlyTheBuildUpSwitchReachesTheNextStroke) {
    Use(corvane::kToolRepeat);
    Stroke({{-0.3f, 0, 0}, {0.3f, 0, 0}}, 0.4f, 10.0f);
    EXPECT_FALSE(brush->m_stampBuildUp);
    ChangeStamp([](tarnix::StampConfiguration& s) { s.m_buildUp = true; });
    Stroke({{-0.3f, 0, 0}, {0.3f, 0, 0}}, 0.4f, 10.0f);
    EXPECT_TRUE(brush->m_stampBuildUp);
}

TEST_F(StampTest, AStampWhosePixelsCannotBeHadTakesNoEffectAndIsReadAgainLater) {
    Use(corvane::kToolKnife);
    tarnix::Kernel::Interface()->ClearHUDMessages();
    // The host refuses the memory for the stamp's 128 x 128 samples.
    tarnix::Block::SetBudget(tarnix::Block::RegisteredBytes() + 16 * 1024);
    brush->BeginStroke(level, tarnix::BrushOperation::kModifierNone, tarnix::BrushOperation::kTriggerDrag);
    tarnix::Block::SetBudget(tarnix::Block::kUnlimited);
    EXPECT_EQ(brush->m_stampPixels, nullptr);
    ASSERT_EQ(tarnix::Kernel::Interface()->HUDMessages().size(), 1u);
    EXPECT_TRUE(tarnix::Kernel::Interface()->HUDMessages()[0].text.contains(QStringLiteral("no effect")));
    tarnix::SurfacePoint hit;
    ASSERT_TRUE(level->Grid(true)->CastRay({0, 0, 1}, {0, 0, -1}, hit, false, true));
    brush->PlaceStamp(hit.m_position, hit.m_normal, {1, 0, 0}, 0.5f);
    tarnix::AxisAlignedBoundingBox area;
    const tarnix::Vector world = hit.m_position;
    brush->ApplyDab(&hit, &world, 0.5f, 1.0f, 0.05f, area);
    brush->EndStroke();
    for (uint32_t v = 0; v < level->VertexCount(); ++v) ASSERT_EQ(level->VertexPosition(v).z, 0.0f) << "vertex " << v;

    const std::vector<float> heights = Stroke({{-0.3f, 0, 0}, {0.3f, 0, 0}}, 0.5f, 20.0f);
    EXPECT_NE(brush->m_stampPixels, nullptr) << "the next stroke reads the stamp";
    EXPECT_GT(*std::max_element(heights.begin(), heights.end()), 1e-3f);
}

}  // namespace
