#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>

#include "brush/corvane.h"
#include "builtin_shapes.h"
#include "dab_setup.h"
#include "plugin/tool_catalogue.h"
#include "tarnix/kernel.h"
#include "tarnix/stroke_driver.h"

namespace {

// A flat 4 x 4 grid centred on the origin, subdivided to level 3, seen from above.
class StrokeTest : public ::testing::Test {
protected:
    void SetUp() override {
        tarnix::PolygonMesh plane = shapes::Plane(4, 4);
        for (tarnix::Vector& p : plane.positions) p = p - tarnix::Vector(2, 2, 0);
        geometry = shapes::Subdivided(plane, 3);
        level = geometry->HighestLevel();
        tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 10}, {0, 0, 0});
        tarnix::Kernel::ClearLog();
    }
    void Use(uint32_t tool) { brush = dab_setup::MakeBrush(tool); }
    tarnix::StrokeReport Stroke(const std::vector<tarnix::Vector>& path, float size, float strength,
                                tarnix::BrushOperation::Modifier modifier = tarnix::BrushOperation::kModifierNone) {
        tarnix::StrokeOptions options;
        options.size = size;
        options.strength = strength;
        options.modifier = modifier;
        return tarnix::StrokeDriver(*brush).Run(*level, path, options);
    }
    // Bumps of height 0.1 in a checker of the base grid's cells.
    void Roughen() {
        for (uint32_t v = 0; v < level->VertexCount(); ++v) {
            tarnix::Vector p = level->VertexPosition(v);
            p.z = 0.1f * std::sin(p.x * 3.1415926f) * std::sin(p.y * 3.1415926f);
            level->SetVertexPosition(v, p);
        }
        level->RecomputeNormals();
    }
    // The height of the vertex that started at (x, y) (vertices may move sideways).
    float Height(float x, float y) {
        const auto key = std::make_pair(x, y);
        if (!vertexAt.count(key))
            for (uint32_t v = 0; v < level->VertexCount(); ++v) {
                const tarnix::Vector p = level->VertexPosition(v);
                if (std::fabs(p.x - x) < 1e-4f && std::fabs(p.y - y) < 1e-4f) vertexAt[key] = v;
            }
        return vertexAt.count(key) ? level->VertexPosition(vertexAt[key]).z : NAN;
    }
    std::map<std::pair<float, float>, uint32_t> vertexAt;

    std::unique_ptr<tarnix::Geometry> geometry;
    tarnix::SubdivisionLevel* level;
    std::unique_ptr<Corvane> brush;
};

TEST_F(StrokeTest, SculptLiftsAndInvertedLowersAndUndoRestoresBitExactly) {
    Use(corvane::kToolSculpt);
    const auto positions = [&] {
        std::vector<char> bytes(level->VertexCount() * 12);
        for (uint32_t v = 0; v < level->VertexCount(); ++v)
            std::memcpy(&bytes[12 * v], level->m_vertices[v].position, 12);
        return bytes;
    };
    const std::vector<char> before = positions();
    Height(0, 0);
    Height(0, 1.5f);
    const tarnix::StrokeReport report = Stroke({{-1, 0, 0}, {1, 0, 0}}, 0.5f, 0.2f);
    EXPECT_GT(report.dabs, 5u);
    EXPECT_GT(Height(0, 0), 0.01f);
    EXPECT_EQ(Height(0, 1.5f), 0.0f) << "outside the brush";
    for (uint32_t v = 0; v < level->VertexCount(); ++v) ASSERT_GE(level->VertexPosition(v).z, 0.0f);
    EXPECT_FALSE(report.changedArea.IsEmpty());

    // The log line of the stroke, with the rate the module computes.
    bool logged = false;
    for (const QString& line : tarnix::Kernel::LogLines())
        logged |= line.startsWith(QStringLiteral("\n**** Sculpt Brush Performance - ")) &&
                  line.endsWith(QStringLiteral(" Mega vertices per second\n"));
    EXPECT_TRUE(logged);

    ASSERT_TRUE(geometry->Undo());
    EXPECT_EQ(positions(), before) << "positions come back bit for bit";

    Stroke({{-1, 0, 0}, {1, 0, 0}}, 0.5f, 0.2f, tarnix::BrushOperation::kModifierInvert);
    EXPECT_LT(Height(0, 0), -0.01f);
}

TEST_F(StrokeTest, FlattenScrapeAndFillWorkTowardsTheRegionPlane) {
    Roughen();
    const float peak = Height(0.5f, 0.5f), pit = Height(-0.5f, 0.5f);
    Height(0, 0.5f);
    ASSERT_GT(peak, 0.09f);
    ASSERT_LT(pit, -0.09f);
    Use(corvane::kToolScrape);
    Stroke({{0, 0.5f, 0}, {0.01f, 0.5f, 0}}, 1.2f, 50.0f);
    EXPECT_LT(Height(0.5f, 0.5f), peak) << "Scrape lowers the high";
    EXPECT_EQ(Height(-0.5f, 0.5f), pit) << "and leaves the low";
    Use(corvane::kToolFill);
    const float scraped = Height(0.5f, 0.5f);
    Stroke({{0, 0.5f, 0}, {0.01f, 0.5f, 0}}, 1.2f, 50.0f);
    EXPECT_GT(Height(-0.5f, 0.5f), pit) << "Fill raises the low";
    EXPECT_EQ(Height(0.5f, 0.5f), scraped) << "and leaves the high";
    Use(corvane::kToolFlatten);
    const float spread = Height(0.5f, 0.5f) - Height(-0.5f, 0.5f);
    Stroke({{0, 0.5f, 0}, {0.01f, 0.5f, 0}}, 1.2f, 80.0f);
    EXPECT_LT(Height(0.5f, 0.5f) - Height(-0.5f, 0.5f), 0.5f * spread) << "Flatten evens them";
}

TEST_F(StrokeTest, TheSmoothingModifierSmoothsAndGivesTheToolBack) {
    Roughen();
    Use(corvane::kToolSculpt);
    const float peak = Height(0.5f, 0.5f);
    Stroke({{0.5f, 0.5f, 0}, {0.51f, 0.5f, 0}}, 0.6f, 100.0f, tarnix::BrushOperation::kModifierSmooth);
    EXPECT_LT(Height(0.5f, 0.5f), peak) << "smoothed, not lifted";
    EXPECT_EQ(brush->ActiveToolId(), uint32_t(corvane::kToolSculpt));
    EXPECT_FALSE(brush->m_smoothTool);
}

TEST_F(StrokeTest, StrokeDirectionModesDropTheFirstDab) {
    Use(corvane::kToolSmear);
    const tarnix::StrokeReport report = Stroke({{0, 0, 0}}, 0.5f, 0.2f);
    EXPECT_EQ(report.dabs, 1u);
    const uint32_t centre = [&] {
        for (uint32_t v = 0; v < level->VertexCount(); ++v)
            if (level->VertexPosition(v) == tarnix::Vector(0, 0, 0)) return v;
        return 0u;
    }();
    EXPECT_EQ(level->VertexPosition(centre), tarnix::Vector(0, 0, 0)) << "the lone first dab moved nothing";
    Stroke({{-0.5f, 0, 0}, {0.5f, 0, 0}}, 0.5f, 0.2f);
    EXPECT_GT(level->VertexPosition(centre).x, 0.01f) << "later dabs drag along the stroke";
    EXPECT_NEAR(level->VertexPosition(centre).z, 0.0f, 1e-6f);
}

TEST_F(StrokeTest, FrozenVerticesStayAndMirroredStrokesAreSymmetric) {
    Use(corvane::kToolSculpt);
    uint32_t frozen = 0;
    for (uint32_t v = 0; v < level->VertexCount(); ++v)
        if (level->VertexPosition(v).y > 0.0f) {
            level->SetFreeze(v, 127);
            frozen = v;
        }
    brush->MirrorConfig().SetMirrorMode(tarnix::MirrorConfiguration::kLocalX);
    const tarnix::StrokeReport report = Stroke({{0.6f, -0.4f, 0}, {1.2f, 0.6f, 0}}, 0.5f, 0.2f);
    EXPECT_EQ(report.mirroredDabs, report.dabs);
    EXPECT_EQ(level->VertexPosition(frozen).z, 0.0f);
    EXPECT_EQ(Height(1.0f, 0.25f), 0.0f) << "frozen";
    EXPECT_GT(Height(0.75f, -0.25f), 0.0f);
    for (float x : {0.5f, 0.75f, 1.0f})
        for (float y : {-0.5f, -0.25f, -0.125f}) EXPECT_NEAR(Height(x, y), Height(-x, y), 1e-5f) << x << " " << y;
}

}  // namespace
