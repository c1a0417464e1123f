// What a sculptor relies on beyond the strength scale, on the loaded module as the programs run
// it: the Knife cuts one groove in any direction, a frozen region holds, the twin of a mirrored
// stroke is its mirror image, and a mesh placed with a scale that differs by axis sculpts as
// any other.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "host_suite.h"
#include "moves.h"
#include "tarnix/class_desc.h"
#include "tarnix/mirror_configuration.h"
#include "tarnix/subdivision_level.h"

namespace corvane_apps {
namespace {

using test_support::LargestMove;
using test_support::MirrorMismatch;
using test_support::Positions;
using test_support::WorldPositions;

using ToolBehaviourTest = test_support::HostSuite;

// ---- Knife ----------------------------------------------------------------------------------

TEST_F(ToolBehaviourTest, TheKnifeCutsOneEvenGrooveInAnyDirectionOnACurvedSurface) {
    // The studio's first mesh (a sphere subdivided to about 100k faces) and a brush of ten
    // vertex spacings, seen from in front.
    constexpr float kRadius = 0.12f;
    for (int degrees = 0; degrees < 180; degrees += 30) {
        SCOPED_TRACE(degrees);
        const float angle = float(degrees) * 3.14159265f / 180.0f;
        const tarnix::Vector along(std::cos(angle), std::sin(angle), 0);
        const tarnix::Vector from = along * -0.5f + tarnix::Vector(0, 0, 2),
                             to = along * 0.5f + tarnix::Vector(0, 0, 2);
        auto sphere = Shape("sphere", 5);
        const Positions before = PositionsOf(*sphere);
        Run(*sphere, Stroke("Knife", kRadius, 50.0f, {from, to}));
        const Positions after = PositionsOf(*sphere);

        // Depth along the stroke, away from its ends: the deepest cut near each of 15 places.
        std::vector<double> depths(15, 0.0);
        double beyond = 0.0;
        for (size_t v = 0; v < before.size(); ++v) {
            if (before[v].z < 0.0f) continue;
            const float t = (before[v] - from) | along;  // along the path, seen from the camera
            const float off = std::fabs((before[v] - from).x * -along.y + (before[v] - from).y * along.x);
            const double depth = before[v].Length() - after[v].Length();
            if (off > kRadius || t < -kRadius || t > 1.0f + kRadius) beyond = std::max(beyond, std::fabs(depth));
            for (size_t i = 0; i < depths.size(); ++i) {
                const float place = 0.15f + 0.7f * float(i) / float(depths.size() - 1);
                if (std::fabs(t - place) < 0.01f && off < kRadius) depths[i] = std::max(depths[i], depth);
            }
        }
        const double deepest = *std::max_element(depths.begin(), depths.end());
        ASSERT_GT(deepest, 0.01 * kRadius) << "it cuts";
        EXPECT_GE(*std::min_element(depths.begin(), depths.end()), 0.8 * deepest) << "no dashes";
        EXPECT_EQ(beyond, 0.0) << "nothing cut beyond a radius from the path";
    }
}

// ---- freeze ---------------------------------------------------------------------------------

TEST_F(ToolBehaviourTest, FreezePaintedAtFullStrengthHoldsAndHalfStrengthTakesTwoPasses) {
    constexpr float kRadius = 0.25f;
    const auto paint = [](Sculpture& sculpture, int points, float strength) {
        for (int i = 0; i <= points; ++i)
            sculpture.PaintFreeze({-0.5f + float(i) / float(points), 0, 0}, kRadius, strength, false);
        sculpture.CommitEdit();
    };
    const auto freezes = [](const Sculpture& sculpture) {
        std::vector<uint8_t> freeze;
        for (uint32_t v = 0; v < sculpture.Level().VertexCount(); ++v)
            freeze.push_back(sculpture.Level().m_vertices[v].freeze & tarnix::Mesh::kFreezeStrengthMask);
        return freeze;
    };
    // Within half the radius of the painted line (its ends left aside).
    const auto core = [](const tarnix::Vector& p) { return std::fabs(p.y) < 0.5f * kRadius && std::fabs(p.x) < 0.5f; };

    auto held = Shape("plane", 5);
    paint(*held, 1, 1.0f);
    auto dense = Shape("plane", 5);
    paint(*dense, 40, 1.0f);
    EXPECT_EQ(freezes(*held), freezes(*dense)) << "however often the pointer reported";

    const Positions before = PositionsOf(*held);
    Run(*held, Stroke("Sculpt", kRadius, 100.0f, {{-0.9f, 0, 2}, {0.9f, 0, 2}}));
    const Positions after = PositionsOf(*held);
    double movedOutside = 0.0;
    for (size_t v = 0; v < before.size(); ++v) {
        if (core(before[v])) {
            EXPECT_EQ(after[v].z, before[v].z) << "frozen vertex " << v << " moved";
        } else {
            movedOutside = std::max(movedOutside, double(after[v].z - before[v].z));
        }
    }
    EXPECT_GT(movedOutside, 0.1 * kRadius) << "the stroke sculpts beyond the frozen band";

    auto twice = Shape("plane", 5);
    paint(*twice, 8, 0.5f);
    const std::vector<uint8_t> once = freezes(*twice);
    paint(*twice, 8, 0.5f);
    const std::vector<uint8_t> again = freezes(*twice);
    for (uint32_t v = 0; v < twice->Level().VertexCount(); ++v) {
        if (!core(twice->Level().VertexPosition(v))) continue;
        EXPECT_NEAR(once[v], tarnix::Mesh::kFreezeStrengthMask / 2, 1) << "one pass: half way";
        EXPECT_EQ(again[v], tarnix::Mesh::kFreezeStrengthMask) << "two passes: held";
    }
}

// ---- mirror ---------------------------------------------------------------------------------

TEST_F(ToolBehaviourTest, TheTwinsOfAStrokeClearOfThePlanesAreItsMirrorImages) {
    // The twins' moves are the stroke's mirrored across each plane, or combination of planes,
    // the mirror sets, up to `flips`.
    const auto expectMirrorImages = [](Sculpture& sculpture, const StrokeStep& stroke, int flips, size_t dabsPerPoint) {
        const Positions before = PositionsOf(sculpture);
        EXPECT_EQ(Run(sculpture, stroke).dabs % dabsPerPoint, 0u) << "a dab and its twins";
        const Positions after = PositionsOf(sculpture);
        const double largest = LargestMove(before, after);
        ASSERT_GT(largest, 0.0);
        for (int image = 1; image <= flips; ++image)
            EXPECT_LE(MirrorMismatch(before, after, image), 1e-4 * largest) << image;
    };
    // Clear of the plane: the dabs land at x > 0.35 (the camera looks from the right), the
    // radius is 0.2. Grab, of the moving tools' module, mirrors as the others do.
    const std::vector<tarnix::Vector> path = {{0.45f, -0.35f, 2}, {0.6f, 0.1f, 2}, {0.5f, 0.45f, 2}};
    struct Case {
        const char* tool;
        int direction;  // -1: the tool's own
    };
    const std::vector<Case> cases = {{"Sculpt", 0}, {"Sculpt", 2},  {"Sculpt", 3}, {"Sculpt", 4}, {"Sculpt", 5},
                                     {"Sculpt", 8}, {"Sculpt", 10}, {"Smear", -1}, {"Pinch", -1}, {"Flatten", -1},
                                     {"Wax", -1},   {"Bulge", -1},  {"Grab", -1}};
    for (const char* shape : {"sphere", "cube"})
        for (const char* mirror : {"x", "world_x", "topological"})
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(shape) + " " + mirror + " " + c.tool + " " + std::to_string(c.direction));
                auto sculpture = Shape(shape, 4);
                // A placement that keeps the world's x plane the mesh's: turned about x, moved
                // along y.
                if (std::string(mirror) == "world_x") sculpture->Place({1, 1, 1}, {30, 0, 0}, {0, 0.3f, 0.2f});
                sculpture->Look({{0.8f, 0.3f, 5}, {0, 0, 0}});
                StrokeStep stroke = Stroke(c.tool, 0.2f, 40.0f, path);
                stroke.mirror = std::string(mirror) == "x" ? 1 : std::string(mirror) == "world_x" ? 4 : 7;
                if (c.direction >= 0) stroke.direction = c.direction;
                expectMirrorImages(*sculpture, stroke, 1, 2);
            }

    // A stroke on the sphere's front, clear of its three planes: seven twins, each the image of
    // the stroke across its own combination of the planes (the world's turned a quarter about z
    // against the mesh's, so that the world's x plane is the mesh's y plane).
    for (const bool world : {false, true}) {
        SCOPED_TRACE(world ? "world_xyz" : "xyz");
        auto sphere = Shape("sphere", 4);
        if (world) sphere->Place({1, 1, 1}, {0, 0, 90}, {0, 0, 0});
        sphere->Look({{0.8f, 0.6f, 5}, {0, 0, 0}});
        StrokeStep stroke = Stroke("Sculpt", 0.2f, 40.0f, {{0.45f, 0.4f, 2}, {0.6f, 0.5f, 2}});
        stroke.mirror = world ? tarnix::MirrorConfiguration::kWorldXYZ : tarnix::MirrorConfiguration::kLocalXYZ;
        stroke.direction = 0;
        expectMirrorImages(*sphere, stroke, 7, 8);
    }
}

// ---- placement ------------------------------------------------------------------------------

TEST_F(ToolBehaviourTest, AMeshScaledUnevenlySculptsAsAnyOtherAndIsWrittenInItsOwnSpace) {
    const auto largestWorldMove = [](const tarnix::Vector& scale) {
        auto sphere = Shape("sphere", 4);
        sphere->Place(scale, {0, 0, 0}, {0, 0, 0});
        sphere->Look({{0, 0, 6}, {0, 0, 0}});
        const Positions before = WorldPositions(*sphere);
        Run(*sphere, Stroke("Bulge", 0.2f, 40.0f, {{0.2f, 0, 3}, {0.4f, 0.2f, 3}}));
        return LargestMove(before, WorldPositions(*sphere));
    };
    const double even = largestWorldMove({1, 1, 1});
    ASSERT_GT(even, 0.0);
    for (const tarnix::Vector& scale : {tarnix::Vector(1, 1.4f, 1), tarnix::Vector(1, 1, 2)}) {
        SCOPED_TRACE(scale.z);
        const double uneven = largestWorldMove(scale);
        EXPECT_GT(uneven, 0.7 * even);
        EXPECT_LT(uneven, 1.5 * even);
    }

    // Placed unevenly, the positions a program reads and writes are still the mesh's own.
    auto sphere = Shape("sphere", 3);
    const Positions own = PositionsOf(*sphere);
    sphere->Place({1, 1.4f, 0.5f}, {10, 0, 0}, {0, 0, 0});
    const MeshToWrite written = sphere->ToWrite();
    for (uint32_t v = 0; v < own.size(); ++v) {
        EXPECT_LT((written.OwnPosition(v) - own[v]).Length(), 1e-6f);
        EXPECT_LT((sphere->OwnPosition(sphere->Level().VertexPosition(v)) - own[v]).Length(), 1e-6f);
    }
}

// ---- levels ---------------------------------------------------------------------------------

// Choosing a level frees the other levels' spatial grids; a volume-falloff stroke, which
// searches the patch level's grid, builds it again and sculpts as if it had never gone.
TEST_F(ToolBehaviourTest, OnlyTheSculptedLevelKeepsItsGridAndGoingThroughLevelsChangesNoStroke) {
    StrokeStep first = Stroke("Sculpt", 0.3f, 50.0f, {{-0.3f, 0.1f, 3}, {0.3f, 0.2f, 3}});
    first.attributes.push_back({QStringLiteral("distancemode"), 2, QString()});
    StrokeStep second = first;
    second.path = {{0.2f, -0.3f, 3}, {0.1f, 0.3f, 3}};

    auto hopping = Shape("sphere", 3), staying = Shape("sphere", 3), untouched = Shape("sphere", 3);
    for (Sculpture* sculpture : {hopping.get(), staying.get(), untouched.get()}) sculpture->SculptLevel(2);
    for (Sculpture* sculpture : {hopping.get(), staying.get()}) Run(*sculpture, first);
    hopping->SculptLevel(3);
    hopping->SculptLevel(2);
    for (uint32_t i = 0; i < hopping->Geometry().LevelCount(); ++i)
        EXPECT_EQ(hopping->Geometry().Level(i)->Grid(false) != nullptr, i == 2) << "level " << i;
    for (Sculpture* sculpture : {hopping.get(), staying.get()}) Run(*sculpture, second);

    const Positions hopped = PositionsOf(*hopping), stayed = PositionsOf(*staying), before = PositionsOf(*untouched);
    ASSERT_EQ(hopped.size(), stayed.size());
    size_t moved = 0;
    for (size_t v = 0; v < hopped.size(); ++v) {
        ASSERT_TRUE(hopped[v].x == stayed[v].x && hopped[v].y == stayed[v].y && hopped[v].z == stayed[v].z) << v;
        moved += (hopped[v] - before[v]).Length() > 1e-4f;
    }
    EXPECT_GT(moved, 50u) << "both strokes sculpted";
}

// A scan subdivided once is sculpted in patches of its first level of quads, whose table of
// neighbour faces the module builds on linking (a second on the dragon). Loading builds it,
// so the first stroke finds it and uses it, rather than waiting for it.
TEST_F(ToolBehaviourTest, TheTablesOfAFirstStrokeAreBuiltWhenTheLevelIsChosen) {
    const tarnix::ClassDesc* mapClass = tarnix::ClassDesc::Find(QStringLiteral("PatchMap"));
    ASSERT_NE(mapClass, nullptr);
    Sculpture scan(Host());
    scan.Load(shapes::Triangulated(shapes::Sphere(8)), QStringLiteral("scan"), 1);
    scan.Look({{0, 0, 5}, {0, 0, 0}});
    tarnix::SubdivisionLevel& quads = *scan.Geometry().Level(1);
    tarnix::TreeNode* map = quads.ChildByClass(mapClass, false);
    ASSERT_NE(map, nullptr) << "built on loading";
    EXPECT_EQ(scan.Geometry().Level(0)->ChildByClass(mapClass, false), nullptr) << "triangles have none";
    Run(scan, Stroke("Sculpt", 0.3f, 50.0f, {{-0.3f, 0.1f, 3}, {0.3f, 0.2f, 3}}));
    EXPECT_EQ(quads.ChildByClass(mapClass, false), map) << "the stroke kept the table built ahead";
    EXPECT_EQ(quads.ChildByClass(mapClass, false, 1), nullptr);
}

}  // namespace
}  // namespace corvane_apps
