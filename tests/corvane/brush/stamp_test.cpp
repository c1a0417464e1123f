#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "brush/corvane.h"
#include "builtin_shapes.h"
#include "dab_setup.h"
#include "plugin/tool_catalogue.h"
#include "small_meshes.h"
#include "tarnix/block.h"
#include "tarnix/kernel.h"
#include "tarnix/spatial_grid.h"

namespace {

// Stamped strokes on a flat 4 x 4 grid centred on the origin (level 5: 1/32 apart), seen from
// above.
class StampTest : public ::testing::Test {
protected:
    void SetUp() override {
        MakeGrid();
        tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 10}, {0, 0, 0});
    }
    void MakeGrid() {
        geometry = shapes::Subdivided(test_support::CentredPlane(4, 4), 5);
        level = geometry->HighestLevel();
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
        dab_setup::Stroke(*brush, *level, path, size, strength);
        return test_support::HeightsOf(*level);
    }

    std::unique_ptr<tarnix::Geometry> geometry;
    tarnix::SubdivisionLevel* level = nullptr;
    std::unique_ptr<Corvane> brush;
};

// Checks the heights a Knife stroke left on the flat grid: a groove cut in (nothing raised)
// along the line from `from` to `to` on the grid, no wider than the stamp's line (16 of its
// 128 pixels either side of its middle, across the brush's diameter, 1) and a vertex spacing,
// and cut all along its middle, without gaps of two vertex spacings.
void ExpectGrooveAlong(const tarnix::SubdivisionLevel& level, const std::vector<float>& heights,
                       const tarnix::Vector& from, const tarnix::Vector& to) {
    const float deepest = -*std::min_element(heights.begin(), heights.end());
    ASSERT_GT(deepest, 1e-3f) << "the knife cuts in";
    EXPECT_LE(*std::max_element(heights.begin(), heights.end()), 0.02f * deepest) << "and raises nothing";
    const tarnix::Vector along = (to - from).Normalized(), middle = (from + to) * 0.5f;
    const float reach = 0.5f * (to - from).Length() - 0.5f;
    float across = 0.0f;
    std::vector<float> cut;
    for (uint32_t v = 0; v < level.VertexCount(); ++v) {
        const tarnix::Vector p = level.VertexPosition(v) - middle;
        const float s = p.x * along.x + p.y * along.y, off = std::fabs(p.x * along.y - p.y * along.x);
        if (std::fabs(heights[v]) > 0.05f * deepest) across = std::max(across, off);
        if (heights[v] < -0.3f * deepest && std::fabs(s) < reach) cut.push_back(s);
    }
    EXPECT_LT(across, 16.0f / 128.0f + 1.0f / 32.0f) << "a groove along the stroke, not slashes off it";
    std::sort(cut.begin(), cut.end());
    ASSERT_FALSE(cut.empty());
    float gap = std::max(cut.front() + reach, reach - cut.back());
    for (size_t i = 1; i < cut.size(); ++i) gap = std::max(gap, cut[i] - cut[i - 1]);
    EXPECT_LT(gap, 2.0f / 32.0f) << "cut all along";
}

TEST_F(StampTest, TheKnifeCutsAFineGrooveIntoTheSurfaceAlongItsStrokeAtEveryStrength) {
    // A stroke slightly across the grid's rows, so that the line does not follow one row.
    for (float strength : {5.0f, 15.0f, 50.0f, 100.0f}) {
        SCOPED_TRACE(strength);
        MakeGrid();
        Use(corvane::kToolKnife);
        const std::vector<float> heights = Stroke({{-0.6f, 0.08f, 0}, {0.6f, 0.12f, 0}}, 0.5f, strength);
        ExpectGrooveAlong(*level, heights, {-0.6f, 0.08f, 0}, {0.6f, 0.12f, 0});
    }
}

TEST_F(StampTest, TheKnifeCutsAlongTheStrokeAsTheCameraSeesItWhereTheSurfaceLeansAway) {
    // The camera looks down at the grid obliquely and the pointer moves diagonally across its
    // view: the dab centres, cast along the view, run at 51 degrees to x on the grid, while
    // the path dropped straight onto the grid runs at 39.
    tarnix::Kernel::Scene()->GetCamera().LookAt({0, -6, 8}, {0, 0, 0});
    Use(corvane::kToolKnife);
    const std::vector<float> heights = Stroke({{-0.5f, -0.4f, -0.3f}, {0.5f, 0.4f, 0.3f}}, 0.5f, 15.0f);
    ExpectGrooveAlong(*level, heights, {-0.5f, -0.625f, 0}, {0.5f, 0.625f, 0});
}

TEST_F(StampTest, ChangingOnlyTheBuildUpSwitchReachesTheNextStroke) {
    Use(corvane::kToolRepeat);
    Stroke({{-0.3f, 0, 0}, {0.3f, 0, 0}}, 0.4f, 10.0f);
    EXPECT_FALSE(brush->Frame().stampBuildUp);
    ChangeStamp([](tarnix::StampConfiguration& s) { s.m_buildUp = true; });
    Stroke({{-0.3f, 0, 0}, {0.3f, 0, 0}}, 0.4f, 10.0f);
    EXPECT_TRUE(brush->Frame().stampBuildUp);
}

TEST_F(StampTest, AStampWhosePixelsCannotBeHadTakesNoEffectAndIsReadAgainLater) {
    Use(corvane::kToolKnife);
    tarnix::Kernel::Interface()->ClearHUDMessages();
    // The host refuses the memory for the stamp's 128 x 128 samples.
    tarnix::Block::SetBudget(tarnix::Block::RegisteredBytes() + 16 * 1024);
    brush->BeginStroke(level, tarnix::BrushOperation::kModifierNone, tarnix::BrushOperation::kTriggerDrag);
    tarnix::Block::SetBudget(tarnix::Block::kUnlimited);
    ASSERT_EQ(tarnix::Kernel::Interface()->HUDMessages().size(), 1u);
    EXPECT_TRUE(tarnix::Kernel::Interface()->HUDMessages()[0].text.contains(QStringLiteral("no effect")));
    tarnix::SurfacePoint hit;
    ASSERT_TRUE(level->Grid(true)->CastRay({0, 0, 1}, {0, 0, -1}, hit, false, true));
    brush->PlaceStamp(hit.m_position, hit.m_normal, {1, 0, 0}, 0.5f);
    tarnix::AxisAlignedBoundingBox area;
    const tarnix::Vector world = hit.m_position;
    brush->ApplyDab(&hit, &world, 0.5f, 1.0f, 0.05f, area);
    brush->EndStroke();
    EXPECT_EQ(brush->Frame().stampPixels, nullptr);
    for (uint32_t v = 0; v < level->VertexCount(); ++v) ASSERT_EQ(level->VertexPosition(v).z, 0.0f) << "vertex " << v;

    const std::vector<float> heights = Stroke({{-0.3f, 0, 0}, {0.3f, 0, 0}}, 0.5f, 20.0f);
    EXPECT_NE(brush->Frame().stampPixels, nullptr) << "the next stroke reads the stamp";
    EXPECT_LT(*std::min_element(heights.begin(), heights.end()), -1e-3f);
}

}  // namespace
