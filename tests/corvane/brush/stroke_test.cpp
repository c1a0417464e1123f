#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "brush/corvane.h"
#include "builtin_shapes.h"
#include "dab_setup.h"
#include "kernels/kernel_index.h"
#include "plugin/tool_catalogue.h"
#include "small_meshes.h"
#include "tarnix/kernel.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/stroke_driver.h"
#include "tarnix/topological_symmetry.h"

namespace {

// A flat 4 x 4 grid centred on the origin, subdivided to level 3, seen from above.
class StrokeTest : public ::testing::Test {
protected:
    void SetUp() override {
        geometry = shapes::Subdivided(test_support::CentredPlane(4, 4), 3);
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
    const tarnix::StrokeReport report = Stroke({{-1, 0, 0}, {1, 0, 0}}, 0.5f, 20.0f);
    EXPECT_GT(report.dabs, 5u);
    EXPECT_GT(Height(0, 0), 0.01f);
    EXPECT_EQ(Height(0, 1.5f), 0.0f) << "outside the brush";
    for (uint32_t v = 0; v < level->VertexCount(); ++v) ASSERT_GE(level->VertexPosition(v).z, 0.0f);
    EXPECT_FALSE(report.changedArea.IsEmpty());

    ASSERT_TRUE(geometry->Undo());
    EXPECT_EQ(positions(), before) << "positions come back bit for bit";

    Stroke({{-1, 0, 0}, {1, 0, 0}}, 0.5f, 20.0f, tarnix::BrushOperation::kModifierInvert);
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

TEST_F(StrokeTest, TheSmoothingModifierSmooths) {
    Roughen();
    Use(corvane::kToolSculpt);
    const float peak = Height(0.5f, 0.5f);
    Stroke({{0.5f, 0.5f, 0}, {0.51f, 0.5f, 0}}, 0.6f, 100.0f, tarnix::BrushOperation::kModifierSmooth);
    EXPECT_LT(Height(0.5f, 0.5f), peak) << "smoothed, not lifted";
    EXPECT_EQ(brush->ActiveToolId(), uint32_t(corvane::kToolSculpt)) << "the tool comes back";
}

TEST_F(StrokeTest, StrokeDirectionModesDropTheFirstDab) {
    Use(corvane::kToolSmear);
    const tarnix::StrokeReport report = Stroke({{0, 0, 0}}, 0.5f, 0.2f);
    EXPECT_EQ(report.dabs, 1u);
    const uint32_t centre = test_support::VertexAt(*level, {0, 0, 0});
    EXPECT_EQ(level->VertexPosition(centre), tarnix::Vector(0, 0, 0)) << "the lone first dab moved nothing";
    Stroke({{-0.5f, 0, 0}, {0.5f, 0, 0}}, 0.5f, 20.0f);
    EXPECT_GT(level->VertexPosition(centre).x, 0.01f) << "later dabs drag along the stroke";
    EXPECT_NEAR(level->VertexPosition(centre).z, 0.0f, 1e-6f);
}

TEST_F(StrokeTest, FrozenVerticesStayUnderTheBrush) {
    Use(corvane::kToolSculpt);
    for (uint32_t v = 0; v < level->VertexCount(); ++v)
        if (level->VertexPosition(v).y > 0.0f) level->SetFreeze(v, 127);
    Stroke({{0.6f, -0.4f, 0}, {1.2f, 0.6f, 0}}, 0.5f, 0.2f);
    EXPECT_EQ(Height(1.0f, 0.25f), 0.0f) << "frozen, under the brush";
    EXPECT_GT(Height(0.75f, -0.25f), 0.0f);
}

TEST_F(StrokeTest, TopologicalTwinsCarryTheMirrorImageOfTheStamp) {
    for (bool mirroredStamp : {false, true}) {
        SetUp();
        Use(corvane::kToolSculpt);
        brush->m_directionAttr.SetValue(7);
        brush->SetStrokeSmoothing(false, 0.0f);
        tarnix::StampConfiguration stamp;
        stamp.m_imagePath = QStringLiteral("Stamps/bw_brickTile.tif");  // not symmetric
        stamp.m_enabled = true;
        stamp.m_mirrored = mirroredStamp;
        brush->SetStampConfig(stamp);
        brush->MirrorConfig().SetMirrorMode(tarnix::MirrorConfiguration::kTopological);
        const tarnix::StrokeReport report = Stroke({{0.5f, -0.3f, 0}, {0.51f, -0.3f, 0}}, 0.45f, 20.0f);
        EXPECT_EQ(report.mirroredDabs, report.dabs);
        float largest = 0.0f, twinDepth = 0.0f;
        for (float x : {0.25f, 0.375f, 0.5f, 0.625f, 0.75f})
            for (float y : {-0.5f, -0.375f, -0.25f, -0.125f}) {
                largest = std::max(largest, std::fabs(Height(x, y) - Height(-x, y)));
                twinDepth = std::max(twinDepth, std::fabs(Height(-x, y)));
            }
        EXPECT_GT(twinDepth, 1e-3f) << "the twin sculpts the other side";
        if (mirroredStamp) EXPECT_LT(largest, 1e-5f) << "the twin samples at the partners";
        else EXPECT_GT(largest, 1e-3f) << "the twin places its own stamp";
        vertexAt.clear();
    }
}

TEST_F(StrokeTest, BulgeMovesEachVertexAlongItsOwnNormal) {
    Roughen();
    const std::vector<tarnix::Vector> before = test_support::PositionsOf(*level);
    std::vector<tarnix::Vector> normals(level->VertexCount());
    for (uint32_t v = 0; v < level->VertexCount(); ++v) normals[v] = level->VertexNormal(v);
    Use(corvane::kToolBulge);
    Stroke({{0.3f, 0.3f, 0}, {0.31f, 0.3f, 0}}, 0.6f, 0.05f);
    uint32_t moved = 0;
    for (uint32_t v = 0; v < level->VertexCount(); ++v) {
        const tarnix::Vector d = level->VertexPosition(v) - before[v];
        if (d.Length() < 1e-6f) continue;
        ++moved;
        ASSERT_GT(tarnix::Vector::AngleCos(d, normals[v]), 0.999f) << "vertex " << v;
    }
    EXPECT_GT(moved, 20u);
}

TEST_F(StrokeTest, AmplifyPushesAwayAndInvertedFlattens) {
    // Over the top of one bump the region plane lies level, below the bump's crown.
    Roughen();
    const float crown = Height(0.5f, 0.5f), side = Height(0.5f, 0.875f);
    Use(corvane::kToolAmplify);
    Stroke({{0.5f, 0.5f, 0}, {0.51f, 0.5f, 0}}, 0.45f, 50.0f);
    EXPECT_GT(Height(0.5f, 0.5f), crown) << "pushed away from the plane";
    EXPECT_LT(Height(0.5f, 0.875f), side) << "below the plane: pushed further down";
    const float spread = Height(0.5f, 0.5f) - Height(0.5f, 0.875f);
    Stroke({{0.5f, 0.5f, 0}, {0.51f, 0.5f, 0}}, 0.45f, 50.0f, tarnix::BrushOperation::kModifierInvert);
    EXPECT_LT(Height(0.5f, 0.5f) - Height(0.5f, 0.875f), spread) << "inverted, it reduces detail";
}

TEST_F(StrokeTest, WaxBuildsTowardsItsLiftedPlane) {
    Use(corvane::kToolWax);
    Height(0, 0);
    // The host lifts each dab's region plane by a fifth of the radius, 0.1 here.
    const tarnix::StrokeReport report = Stroke({{-0.5f, 0, 0}, {0.5f, 0, 0}}, 0.5f, 40.0f);
    const float once = Height(0, 0);
    EXPECT_GT(once, 0.0f);
    EXPECT_LE(once, 0.1f * float(report.dabs) + 1e-5f) << "no higher than the lifted planes";
    Stroke({{-0.5f, 0, 0}, {0.5f, 0, 0}}, 0.5f, 40.0f);
    EXPECT_GT(Height(0, 0), once) << "layer upon layer";
}

TEST_F(StrokeTest, StampToolsCarryTheirStamps) {
    for (uint32_t tool : {corvane::kToolSpray, corvane::kToolRepeat, corvane::kToolKnife, corvane::kToolImprint}) {
        SCOPED_TRACE(tool);
        const auto stroke = [&](bool stamped) {
            SetUp();
            Use(tool);
            ASSERT_NE(brush->MaskImage(tarnix::BrushOperation::kStampMask), nullptr);
            if (!stamped) brush->SetStamp(false, brush->StampConfig().m_imagePath);
            Stroke({{-0.6f, 0.1f, 0}, {0.6f, 0.1f, 0}}, 0.6f, 0.1f);
        };
        stroke(true);
        const std::vector<float> heights = test_support::HeightsOf(*level);
        stroke(false);
        uint32_t differ = 0, movedWithStamp = 0;
        for (uint32_t v = 0; v < level->VertexCount(); ++v) {
            differ += std::fabs(heights[v] - level->VertexPosition(v).z) > 1e-5f;
            movedWithStamp += heights[v] != 0.0f;
        }
        EXPECT_GT(movedWithStamp, 0u);
        EXPECT_GT(differ, 10u) << "the stamp shapes the stroke";
    }
}

TEST_F(StrokeTest, WithAnActiveLayerTheChangeLandsInTheLayer) {
    tarnix::SculptLayer* layer = level->AddLayer(QStringLiteral("detail"));
    layer->SetStrength(0.5f);
    level->SetActiveLayer(0);
    Use(corvane::kToolSculpt);
    const uint32_t centre = test_support::VertexAt(*level, {0, 0, 0});
    Stroke({{-0.5f, 0, 0}, {0.5f, 0, 0}}, 0.5f, 0.2f);
    EXPECT_GT(layer->Offset(centre).z, 0.0f);
    EXPECT_FLOAT_EQ(level->VertexPosition(centre).z, 0.5f * layer->Offset(centre).z) << "at half strength";
    ASSERT_TRUE(geometry->Undo());
    EXPECT_EQ(layer->Offset(centre), tarnix::Vector(0, 0, 0));
    EXPECT_EQ(level->VertexPosition(centre), tarnix::Vector(0, 0, 0));
}

// Pinch pulls the vertices, which it moves in the mesh's space, towards the dab centre taken
// into that space. Under a non-uniform scale the brush centre the kernels measure distances
// from is the world position (the brush is measured in the world), which as a point of the
// mesh's space lies elsewhere: pulled towards it, even the vertex under the dab would move.
TEST_F(StrokeTest, UnderANonUniformScalePinchPullsTowardsTheDabItself) {
    geometry->GetTransformation().SetScale({1, 2, 1});
    Use(corvane::kToolPinch);
    const float below = Height(0, 0.125f), centre = Height(0, 0.25f), above = Height(0, 0.375f);
    ASSERT_EQ(below + centre + above, 0.0f);
    const uint32_t b = vertexAt[{0.0f, 0.125f}], c = vertexAt[{0.0f, 0.25f}], a = vertexAt[{0.0f, 0.375f}];
    Stroke({{0, 0.5f, 0}, {0.01f, 0.5f, 0}}, 0.6f, 60.0f);  // world (0, 0.5): the mesh's (0, 0.25)
    EXPECT_TRUE(brush->Frame().kernel & corvane::kBitNonUniformScale);
    EXPECT_NEAR(level->VertexPosition(c).y, 0.25f, 1e-6f) << "the vertex under the dab stays";
    EXPECT_GT(level->VertexPosition(b).y, 0.125f + 1e-3f) << "pulled up towards the dab";
    EXPECT_LT(level->VertexPosition(a).y, 0.375f - 1e-3f) << "pulled down towards the dab";
}

// The host converts the user's strength by what the running tool does with it, and reports
// what a stroke did: the brush keeps both where the host reads them. The smoothing modifier
// runs Smooth for its stroke; the tool comes back after it.
TEST_F(StrokeTest, TheBrushTellsTheHostWhatItsToolMakesOfStrengthAndWhatAStrokeDid) {
    using Hints = tarnix::BrushOperation::StrengthHints;
    Use(corvane::kToolSculpt);
    const auto begin = [&](tarnix::BrushOperation::Modifier modifier) {
        brush->BeginStroke(level, modifier, tarnix::BrushOperation::kTriggerDrag);
        const Hints hints = brush->ActiveStrengthHints();
        brush->EndStroke();
        return hints;
    };
    const Hints smoothing = begin(tarnix::BrushOperation::kModifierSmooth);
    EXPECT_EQ(smoothing.family, Hints::kSmoothing);
    EXPECT_TRUE(smoothing.iterates);
    EXPECT_FALSE(smoothing.isLength) << "Smooth ignores the mesh scale";
    const Hints sculpt = begin(tarnix::BrushOperation::kModifierNone);
    EXPECT_EQ(sculpt.family, Hints::kDisplacement);
    EXPECT_TRUE(sculpt.isLength);
    Use(corvane::kToolRelax);
    EXPECT_EQ(begin(tarnix::BrushOperation::kModifierNone).iterates, false) << "Relax targets span the brush";
    Use(corvane::kToolFlatten);
    EXPECT_EQ(begin(tarnix::BrushOperation::kModifierNone).family, Hints::kPlane);

    Use(corvane::kToolSculpt);
    const std::vector<tarnix::Vector> before = test_support::PositionsOf(*level);
    Stroke({{-0.5f, 0, 0}, {0.5f, 0, 0}}, 0.5f, 20.0f);
    uint32_t moved = 0;
    for (uint32_t v = 0; v < level->VertexCount(); ++v) moved += level->VertexPosition(v) != before[v];
    const tarnix::BrushOperation::StrokeStatistics figures = brush->LastStrokeStatistics();
    EXPECT_GT(moved, 20u);
    EXPECT_GE(figures.vertexUpdates, moved) << "each moved vertex at least once";
    EXPECT_GT(figures.processedVertices, figures.vertexUpdates) << "patches hold vertices beyond the brush";
}

TEST_F(StrokeTest, WithUpdatePlaneOffTheFirstDabsPlaneServesTheStroke) {
    Roughen();
    Use(corvane::kToolFlatten);
    brush->m_updatePlaneAttr.SetValue(false);
    Stroke({{-1, 0.5f, 0}, {1, 0.5f, 0}}, 0.4f, 10.0f);
    const tarnix::Vector kept = brush->Plane(0).point;
    EXPECT_LT(kept.x, -0.5f) << "the plane of the first dab";
    Use(corvane::kToolFlatten);
    Stroke({{-1, 0.5f, 0}, {1, 0.5f, 0}}, 0.4f, 10.0f);
    EXPECT_GT(brush->Plane(0).point.x, 0.5f) << "updated at every dab";
}

// ---- what a sculptor means -----------------------------------------------------------------------

using test_support::PositionsOf;

// The farthest any vertex of `mesh` lies from where `before` has it.
float LargestMove(const std::vector<tarnix::Vector>& before, const tarnix::Mesh& mesh) {
    float largest = 0.0f;
    for (uint32_t v = 0; v < mesh.VertexCount(); ++v)
        largest = std::max(largest, (mesh.VertexPosition(v) - before[v]).Length());
    return largest;
}

TEST_F(StrokeTest, OnAFlatMeshEveryFalloffTypeSculptsTheSameStroke) {
    // Surface distances on a flat mesh are the straight ones, so geodesic and volume falloffs
    // must leave what the surface falloff leaves: no diamond, no cliff where a patch or an
    // earlier dab ends.
    for (bool triangles : {false, true}) {
        std::vector<tarnix::Vector> reference;
        float largest = 0.0f;
        for (int type : {tarnix::BrushOperation::kFalloffSurface, tarnix::BrushOperation::kFalloffGeodesic,
                         tarnix::BrushOperation::kFalloffVolume}) {
            SCOPED_TRACE(testing::Message() << (triangles ? "triangles" : "quads") << ", falloff type " << type);
            SetUp();
            if (triangles) {
                // The same grid at the same density, cut into triangles (the per-vertex path).
                tarnix::PolygonMesh plane = shapes::Triangulated(shapes::Plane(32, 32));
                for (tarnix::Vector& p : plane.positions) p = p * 0.125f - tarnix::Vector(2, 2, 0);
                geometry = shapes::Subdivided(plane, 0);
                level = geometry->HighestLevel();
            }
            const std::vector<tarnix::Vector> before = PositionsOf(*level);
            Use(corvane::kToolSculpt);
            brush->SetFalloffType(type);
            brush->m_distanceModeAttr.SetValue(type == tarnix::BrushOperation::kFalloffGeodesic ? 1 : 0);
            Stroke({{-0.7f, 0.1f, 0}, {0.7f, 0.3f, 0}}, 0.6f, 6.0f);
            if (reference.empty()) {
                reference = PositionsOf(*level);
                largest = LargestMove(before, *level);
                ASSERT_GT(largest, 0.02f);
                continue;
            }
            // Distances a rounding apart may pick neighbouring samples of the falloff table.
            EXPECT_LT(LargestMove(reference, *level), 0.01f * largest);
        }
    }
}

TEST(MirrorTest, MirroredStrokesOnASymmetricMeshAgreeToFloatPrecision) {
    // Direction 0 (the normal under each dab) and 1 (the region's normal, the default). The
    // region walk of mode 1 samples one corner per cell, turning with the walk: a pinwheel,
    // whose mirror image samples other vertices, so there the halves differ by the brush's
    // own estimate; plane and topological twins must still sculpt alike.
    std::map<int, std::vector<tarnix::Vector>> results;
    for (int direction : {0, 1}) {
        for (int mode : {tarnix::MirrorConfiguration::kLocalX, tarnix::MirrorConfiguration::kTopological}) {
            SCOPED_TRACE(testing::Message() << "direction " << direction << ", mirror " << mode);
            auto geometry = shapes::Subdivided(shapes::Sphere(4), 3);
            tarnix::SubdivisionLevel* level = geometry->HighestLevel();
            tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 5}, {0, 0, 0});
            const tarnix::TopologicalSymmetry& symmetry = level->Symmetry();
            ASSERT_TRUE(symmetry.IsValid());
            const std::vector<tarnix::Vector> before = PositionsOf(*level);
            auto brush = dab_setup::MakeBrush(corvane::kToolSculpt);
            brush->m_directionAttr.SetValue(direction);
            brush->MirrorConfig().SetMirrorMode(mode);
            // Away from the plane (the two sides do not meet) and across several faces, so that
            // later dabs land on a surface the earlier ones changed.
            dab_setup::Stroke(*brush, *level, {{0.45f, -0.2f, 1}, {0.7f, 0.3f, 1}, {0.5f, 0.6f, 1}}, 0.3f, 20.0f);
            const float largest = LargestMove(before, *level);
            ASSERT_GT(largest, 0.01f);
            if (direction == 1) {
                std::vector<tarnix::Vector>& other = results[direction];
                if (other.empty()) other = PositionsOf(*level);
                else EXPECT_LT(LargestMove(other, *level), 1e-6f * largest);
                continue;
            }
            float asymmetry = 0.0f;
            for (uint32_t v = 0; v < level->VertexCount(); ++v) {
                const uint32_t partner = symmetry.PartnerVertex(v);
                const tarnix::Vector moved = level->VertexPosition(v) - before[v];
                const tarnix::Vector image = level->VertexPosition(partner) - before[partner];
                asymmetry = std::max(asymmetry, (moved - tarnix::Vector(-image.x, image.y, image.z)).Length());
            }
            EXPECT_LT(asymmetry, 1e-4f * largest);
        }
    }
}

}  // namespace
