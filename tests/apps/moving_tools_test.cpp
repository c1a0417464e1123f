// The moving tools of the Drover module, loaded beside Corvane as the programs load them: Grab
// moves what it took hold of by the pointer's travel, Snake Hook draws strands out, Nudge
// pushes along the surface; on levels below the highest, on layers, under
// freeze, on a raw triangle mesh, undone and redone exactly, and refusing what no tool takes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "caught_error.h"
#include "host_suite.h"
#include "moves.h"
#include "tarnix/brush_configuration.h"
#include "tarnix/geometry.h"
#include "tarnix/subdivision_level.h"

namespace corvane_apps {
namespace {

using tarnix::Vector;
using test_support::Positions;

using MovingToolsTest = test_support::HostSuite;

constexpr float kRadius = 0.25f;

// The vertex of `positions` nearest `point`.
uint32_t Nearest(const Positions& positions, const Vector& point) {
    uint32_t nearest = 0;
    for (uint32_t v = 1; v < positions.size(); ++v)
        if ((positions[v] - point).LengthSquared() < (positions[nearest] - point).LengthSquared()) nearest = v;
    return nearest;
}

TEST_F(MovingToolsTest, ToolsComeAfterTheSixteenFromTheirOwnModule) {
    const std::vector<tarnix::BrushConfiguration*> tools = Host().Tools();
    ASSERT_EQ(tools.size(), 19u);
    EXPECT_EQ(tools[16]->Name(), QStringLiteral("Grab"));
    EXPECT_EQ(tools[17]->Name(), QStringLiteral("Snake Hook"));
    EXPECT_EQ(tools[18]->Name(), QStringLiteral("Nudge"));
    EXPECT_NE(&Host().BrushOf(tools[16]), &Host().BrushOf(tools[0])) << "a brush of the module's own class";
    EXPECT_EQ(&Host().BrushOf(tools[16]), &Host().BrushOf(tools[18]));
}

TEST_F(MovingToolsTest, GrabMovesItsRegionByThePointersTravelAtTheCentreAndNothingBeyondTheRadiusOnAnyMesh) {
    // A flat grid facing the camera, with a vertex where the stroke takes hold.
    auto plane = Shape("plane", 5);
    const Positions before = PositionsOf(*plane);
    const uint32_t centre = Nearest(before, {0, 0, 0});
    ASSERT_EQ(before[centre].LengthSquared(), 0.0f);
    const Vector travel(0.3f, 0.2f, 0.0f);
    const StrokeFigures figures =
        Run(*plane, Stroke("Grab", kRadius, 100.0f, {{0, 0, 2}, {0.1f, 0.05f, 2}, travel + Vector(0, 0, 2)}));
    EXPECT_TRUE(figures.warning.isEmpty()) << figures.warning.toStdString();
    const Positions after = PositionsOf(*plane);
    EXPECT_NEAR((after[centre] - before[centre] - travel).Length(), 0.0, 1e-6) << "the centre follows the pointer";
    size_t inside = 0;
    for (size_t v = 0; v < before.size(); ++v) {
        EXPECT_EQ(after[v].z, before[v].z) << "moves stay in the view plane";
        if (before[v].Length() >= kRadius) {
            EXPECT_EQ(after[v], before[v]) << "vertex " << v << " beyond the radius moved";
        } else {
            ++inside;
            // The weights were fixed at the start: each vertex moved along the pointer's travel.
            const Vector move = after[v] - before[v];
            EXPECT_NEAR((move & travel).Length(), 0.0, 1e-6);
        }
    }
    EXPECT_GT(inside, 100u);

    // Half the strength: half of the travel. The pointer may leave the surface (the grid ends
    // at x = 1): the region still follows it.
    auto half = Shape("plane", 5);
    Run(*half, Stroke("Grab", kRadius, 50.0f, {{0, 0, 2}, travel + Vector(0, 0, 2)}));
    EXPECT_NEAR((PositionsOf(*half)[centre] - travel * 0.5f).Length(), 0.0, 1e-6);
    auto far = Shape("plane", 5);
    const uint32_t edge = Nearest(before, {0.75f, 0, 0});
    Run(*far, Stroke("Grab", kRadius, 100.0f, {{0.75f, 0, 2}, {1.4f, 0, 2}, {1.75f, 0, 2}}));
    EXPECT_NEAR(PositionsOf(*far)[edge].x - before[edge].x, 1.0, 1e-5) << "pulled past the outline";

    // The region is fixed: a pointer that comes back leaves the surface as it was, exactly.
    auto back = Shape("plane", 5);
    Run(*back, Stroke("Grab", kRadius, 100.0f, {{0, 0, 2}, {0.2f, 0.3f, 2}, {-0.1f, 0.1f, 2}, {0, 0, 2}}));
    EXPECT_EQ(PositionsOf(*back), before);

    // On a raw triangle mesh, the octahedron unrefined: a grab at its front corner carries that
    // vertex alone.
    auto octahedron = Shape("triangles", 0);
    const Positions corners = PositionsOf(*octahedron);
    const uint32_t front = Nearest(corners, {0, 0, 1});
    Run(*octahedron, Stroke("Grab", 0.5f, 100.0f, {{0, 0, 2}, {0.3f, -0.1f, 2}}));
    const Positions moved = PositionsOf(*octahedron);
    EXPECT_NEAR((moved[front] - corners[front] - Vector(0.3f, -0.1f, 0)).Length(), 0.0, 1e-6);
    for (uint32_t v = 0; v < corners.size(); ++v) EXPECT_TRUE(v == front || moved[v] == corners[v]) << v;
}

TEST_F(MovingToolsTest, TheSmoothingModifierSmoothsWithAMovingToolInHandAsWithAnyOther) {
    // A ridge smoothed with the modifier, once with Grab in hand and once with Sculpt: the same
    // smoothing, to the bit, and Grab's brush afterwards still grabs.
    const auto smoothed = [&](const char* inHand) {
        auto plane = Shape("plane", 5);
        Run(*plane, Stroke("Sculpt", 0.15f, 60.0f, {{-0.5f, 0, 2}, {0.5f, 0, 2}}));
        const Positions ridge = PositionsOf(*plane);
        corvane_apps::StrokeStep smooth = Stroke(inHand, 0.3f, 100.0f, {{-0.4f, 0, 2}, {0.4f, 0, 2}});
        smooth.smooth = true;
        Run(*plane, smooth);
        const Positions after = PositionsOf(*plane);
        EXPECT_NE(after, ridge) << inHand << ": the modifier smooths";
        return after;
    };
    EXPECT_EQ(smoothed("Grab"), smoothed("Sculpt"));
    auto plane = Shape("plane", 5);
    const Positions before = PositionsOf(*plane);
    Run(*plane, Stroke("Grab", kRadius, 100.0f, {{0, 0, 2}, {0.2f, 0, 2}}));
    EXPECT_NEAR(PositionsOf(*plane)[Nearest(before, {0, 0, 0})].x, 0.2f, 1e-6f);
}

TEST_F(MovingToolsTest, SnakeHookDrawsAStrandAsLongAsTheStroke) {
    // Pulled sideways out of the sphere's front, in steps: the farther the pointer goes, the
    // farther the strand reaches, its tip close behind the pointer.
    const auto reach = [&](float length) {
        auto sphere = Shape("sphere", 4);
        std::vector<Vector> path;
        for (int i = 0; i <= 10; ++i) path.push_back({0.0f, length * float(i) / 10.0f, 2.0f});
        const StrokeFigures figures = Run(*sphere, Stroke("Snake Hook", 0.15f, 100.0f, path));
        EXPECT_TRUE(figures.warning.isEmpty()) << figures.warning.toStdString();
        float farthest = 0.0f;
        for (const Vector& p : PositionsOf(*sphere)) farthest = std::max(farthest, p.y);
        return farthest - 1.0f;  // beyond the sphere's top
    };
    const float shortStrand = reach(1.2f), longStrand = reach(2.0f);
    EXPECT_GT(shortStrand, 0.1f);
    EXPECT_NEAR(longStrand - shortStrand, 0.8f, 0.1f) << "the strand grows with the stroke";
}

TEST_F(MovingToolsTest, NudgePushesAlongTheStrokeWithinTheSurfaceAndNoFurtherThanItsReach) {
    auto plane = Shape("plane", 5);
    const Positions before = PositionsOf(*plane);
    constexpr float kStrength = 50.0f;
    Run(*plane, Stroke("Nudge", kRadius, kStrength, {{-0.4f, 0, 2}, {0.4f, 0, 2}}));
    const Positions after = PositionsOf(*plane);
    double furthest = 0.0;
    for (size_t v = 0; v < before.size(); ++v) {
        const Vector move = after[v] - before[v];
        EXPECT_EQ(move.z, 0.0f) << "within the plane";
        EXPECT_GE(move.x, 0.0f) << "along the stroke";
        EXPECT_NEAR(move.y, 0.0f, 1e-6f);
        furthest = std::max(furthest, double(move.Length()));
    }
    EXPECT_GT(furthest, 0.2 * kStrength / 100.0 * kRadius);
    EXPECT_LE(furthest, kStrength / 100.0 * kRadius * 1.0001) << "a stroke moves a vertex at most its reach";
}

TEST_F(MovingToolsTest, OnALevelBelowTheHighestTheLevelsAboveFollowAndUndoAndRedoAreExact) {
    auto sphere = Shape("sphere", 3);
    sphere->SculptLevel(1);
    const auto everyLevel = [&] {
        std::vector<Positions> levels;
        for (uint32_t i = 0; i < sphere->LevelCount(); ++i) {
            const tarnix::SubdivisionLevel& level = *sphere->Geometry().Level(i);
            Positions positions;
            for (uint32_t v = 0; v < level.VertexCount(); ++v) {
                positions.push_back(level.VertexPosition(v));
                positions.push_back(level.VertexNormal(v));
            }
            levels.push_back(positions);
        }
        return levels;
    };
    const std::vector<std::vector<Vector>> before = everyLevel();
    for (const char* tool : {"Grab", "Snake Hook", "Nudge"}) {
        SCOPED_TRACE(tool);
        Run(*sphere, Stroke(tool, 0.4f, 100.0f, {{-0.2f, 0, 2}, {0.1f, 0.2f, 2}, {0.3f, 0.3f, 2}}));
    }
    const std::vector<std::vector<Vector>> after = everyLevel();
    EXPECT_NE(after[3], before[3]) << "the highest level followed";
    for (int i = 0; i < 3; ++i) sphere->Undo();
    EXPECT_EQ(everyLevel(), before);
    for (int i = 0; i < 3; ++i) sphere->Redo();
    EXPECT_EQ(everyLevel(), after);
}

TEST_F(MovingToolsTest, GrabGoesIntoTheActiveLayerAndHoldsFrozenVertices) {
    auto plane = Shape("plane", 5);
    const Positions before = PositionsOf(*plane);
    FreezeRegion held;
    held.centre = {0.1f, 0, 0};
    held.radius = 0.05f;
    plane->Freeze(held);
    plane->AddLayer({QStringLiteral("forms")}, true);
    const Vector travel(0, 0.2f, 0);
    Run(*plane, Stroke("Grab", kRadius, 100.0f, {{0, 0, 2}, travel + Vector(0, 0, 2)}));
    const Positions grabbed = PositionsOf(*plane);
    const uint32_t centre = Nearest(before, {0, 0, 0});
    EXPECT_NEAR((grabbed[centre] - travel).Length(), 0.0, 1e-6);
    for (size_t v = 0; v < before.size(); ++v) {
        if ((before[v] - held.centre).Length() >= 0.5f * held.radius) continue;
        EXPECT_EQ(grabbed[v], before[v]) << "frozen";
    }
    // The move lives in the layer: at half strength, half of it shows.
    ASSERT_TRUE(plane->SetLayerStrength(0, 0.5f));
    EXPECT_NEAR((PositionsOf(*plane)[centre] - travel * 0.5f).Length(), 0.0, 1e-6);

    auto locked = Shape("plane", 5);
    locked->AddLayer({QStringLiteral("locked"), 1.0f, true}, true);
    const StrokeFigures figures = Run(*locked, Stroke("Grab", kRadius, 100.0f, {{0, 0, 2}, travel + Vector(0, 0, 2)}));
    EXPECT_EQ(PositionsOf(*locked), before);
    EXPECT_NE(figures.warning.indexOf(QStringLiteral("locked")), -1) << figures.warning.toStdString();
}

TEST_F(MovingToolsTest, BadInputIsRefusedAndLeavesTheMeshAsItWas) {
    for (const char* tool : {"Grab", "Snake Hook", "Nudge"}) {
        SCOPED_TRACE(tool);
        auto plane = Shape("plane", 3);
        const Positions before = PositionsOf(*plane);
        EXPECT_TRUE(Caught([&] { Run(*plane, Stroke(tool, 0.0f, 100.0f, {{0, 0, 2}, {0.2f, 0, 2}})); }).raised);
        EXPECT_TRUE(Caught([&] { Run(*plane, Stroke(tool, kRadius, 100.0f, {{0, 0, 2}, {NAN, 0, 2}})); }).raised);
        // Nowhere near the surface, or at no strength: nothing moves, and the host says why.
        EXPECT_FALSE(Run(*plane, Stroke(tool, kRadius, 100.0f, {{5, 5, 2}, {6, 5, 2}})).warning.isEmpty());
        EXPECT_FALSE(Run(*plane, Stroke(tool, kRadius, 0.0f, {{0, 0, 2}, {0.2f, 0, 2}})).warning.isEmpty());
        EXPECT_EQ(PositionsOf(*plane), before);
        EXPECT_EQ(plane->UndoCount(), 0u) << "no step that does nothing";
    }
}

}  // namespace
}  // namespace corvane_apps
