// The user's strength through the host's conversion, on the loaded module as a program runs
// it: one 0..100 scale for every tool, the same shape on a mesh of any size, never further
// than the brush radius in one stroke, and about the same whether the dabs are dense or not.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "host_suite.h"
#include "moves.h"
#include "tarnix/brush_operation.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/subdivision_level.h"

namespace corvane_apps {
namespace {

using test_support::LargestMove;
using test_support::WorldPositions;

const QStringList kTools = {"Sculpt", "Smear", "Pinch", "Smooth", "Amplify", "Flatten", "Scrape",  "Fill",
                            "Wax",    "Bulge", "Spray", "Repeat", "Knife",   "Foamy",   "Imprint", "Relax"};

class StrengthTest : public test_support::HostSuite {
protected:
    // The plane [-1, 1]^2 times `scale`, subdivided 4 times, with a deterministic ripple of
    // 2% of its width so that the smoothing and plane tools find something to work on. The
    // scale is either in the mesh itself or in its placement.
    std::unique_ptr<Sculpture> Surface(float scale, bool placed) {
        tarnix::PolygonMesh polygons;
        shapes::Named(QStringLiteral("plane"), polygons);
        if (!placed)
            for (auto& p : polygons.positions) p = p * scale;
        auto sculpture = std::make_unique<Sculpture>(Host());
        sculpture->Load(polygons, QStringLiteral("plane"), 4);
        tarnix::SubdivisionLevel& level = sculpture->Level();
        const float unit = placed ? 1.0f : scale;
        for (uint32_t v = 0; v < level.VertexCount(); ++v) {
            const tarnix::Vector p = level.VertexPosition(v) * (1.0f / unit);
            const float ripple = 0.04f * std::sin(20.0f * p.x) * std::cos(17.0f * p.y);
            level.SetVertexPosition(v, tarnix::Vector(p.x, p.y, ripple) * unit);
        }
        level.RecomputeNormals();
        level.Grid(true)->Rebuild();
        if (placed) sculpture->Place({scale, scale, scale}, {0, 0, 0}, {0, 0, 0});
        sculpture->Look({{0, 0, 5 * scale}, {0, 0, 0}});
        return sculpture;
    }

    // A stroke of `tool` across the middle of the plane of width 2 `scale`, there and back
    // again `returns` times over the same path.
    static StrokeStep Stroke(const QString& tool, float strength, float scale, int returns = 0) {
        StrokeStep stroke;
        stroke.tool = tool;
        stroke.size = 0.28f * scale;
        stroke.strength = strength;
        const tarnix::Vector from = tarnix::Vector(-0.3f, 0.0f, 2.0f) * scale,
                             to = tarnix::Vector(0.3f, 0.05f, 2.0f) * scale;
        stroke.path = {from, to};
        for (int i = 0; i < returns; ++i) stroke.path.insert(stroke.path.end(), {from, to});
        return stroke;
    }

    // The largest move of a stroke on a fresh surface.
    double Move(const StrokeStep& stroke, float scale = 1.0f, float spacing = 25.0f) {
        auto sculpture = Surface(scale, true);
        const auto before = WorldPositions(*sculpture);
        sculpture->Prepare(stroke);
        Host().Brush().m_dabSpacingAttr.SetValue(spacing);
        sculpture->Apply(stroke, false);
        return LargestMove(before, WorldPositions(*sculpture));
    }
};

TEST_F(StrengthTest, TheSameStrokeOnAMeshOfAnySizeGivesTheSameShapeScaled) {
    // A hundredth and a hundred times the size, in the mesh's own coordinates: every vertex
    // ends where it does on the unit plane, scaled (but for Relax, whose casts back onto the
    // surface the brush skips for moves shorter than a fixed length, and Spray, whose stamps
    // scatter at random from a seed taken from where the stroke starts). Scaled by its placement
    // instead, the mesh is cut into patches of another size (the brush's patch depth compares
    // the radius in the world with faces in the mesh), which changes the dab's averaged normal,
    // the fast plane estimate and stamp sampling: the largest move still scales with the mesh,
    // within a factor well short of the hundred a strength in fixed units would make.
    for (const QString& tool : kTools) {
        SCOPED_TRACE(tool.toStdString());
        std::vector<std::vector<tarnix::Vector>> shapes;
        std::vector<double> moves;
        for (const auto& [scale, placed] : {std::pair(1.0f, true), std::pair(0.01f, false), std::pair(100.0f, false),
                                            std::pair(0.01f, true), std::pair(100.0f, true)}) {
            auto sculpture = Surface(scale, placed);
            const auto before = WorldPositions(*sculpture);
            const StrokeStep stroke = Stroke(tool, 60.0f, scale);
            sculpture->Prepare(stroke);
            sculpture->Apply(stroke, false);
            std::vector<tarnix::Vector> positions = WorldPositions(*sculpture);
            moves.push_back(LargestMove(before, positions) / scale);
            for (tarnix::Vector& p : positions) p = p * (1.0f / scale);
            shapes.push_back(std::move(positions));
        }
        ASSERT_GT(moves[0], 1e-3) << "the stroke does something";
        const bool exact = tool != "Relax" && tool != "Spray";
        if (exact) {
            EXPECT_LT(LargestMove(shapes[0], shapes[1]), 2e-4) << "a hundredth the size";
            EXPECT_LT(LargestMove(shapes[0], shapes[2]), 2e-4) << "a hundred times the size";
        }
        for (size_t i = exact ? 3 : 1; i < moves.size(); ++i) {
            EXPECT_GT(moves[i] / moves[0], tool == "Relax" ? 0.2 : 0.5) << "scaled variant " << i;
            EXPECT_LT(moves[i] / moves[0], tool == "Relax" ? 5.0 : 2.0) << "scaled variant " << i;
        }
    }
}

// On the unit plane: 0 does nothing; at 100 no vertex moves further than the radius, straight,
// scribbled back and forth five times (Amplify's moves grow with each pass) or with dabs five
// times as dense as the presets'; and dense dabs do about what the presets' spacing does. (That
// each tool shows at its first-use strength and grows with it, the calibration's tests check.)
TEST_F(StrengthTest, EveryToolRunsFromNothingAtZeroToAtMostTheRadiusAtOneHundred) {
    const QStringList sampledForDensity = {"Sculpt", "Foamy", "Flatten", "Smooth", "Pinch"};
    for (const QString& tool : kTools) {
        SCOPED_TRACE(tool.toStdString());
        const float radius = Stroke(tool, 0.0f, 1.0f).size;
        EXPECT_EQ(Move(Stroke(tool, 0.0f, 1.0f)), 0.0) << "0 does nothing";
        EXPECT_LE(Move(Stroke(tool, 100.0f, 1.0f)), radius);
        EXPECT_LE(Move(Stroke(tool, 100.0f, 1.0f, 5)), radius) << "scribbled";
        EXPECT_LE(Move(Stroke(tool, 100.0f, 1.0f), 1.0f, 5.0f), radius) << "dense dabs";
        if (sampledForDensity.contains(tool)) {
            EXPECT_NEAR(Move(Stroke(tool, 50.0f, 1.0f), 1.0f, 5.0f) / Move(Stroke(tool, 50.0f, 1.0f)), 1.0, 0.3);
        }
    }
}

}  // namespace
}  // namespace corvane_apps
