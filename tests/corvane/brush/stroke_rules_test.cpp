#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <tuple>

#include "brush/corvane.h"
#include "builtin_shapes.h"
#include "dab_setup.h"
#include "host/preferences.h"
#include "kernels/dab_block.h"
#include "plugin/tool_catalogue.h"
#include "small_meshes.h"
#include "tarnix/image.h"
#include "tarnix/kernel.h"
#include "tarnix/transformation.h"

// The rules of a stroke's two ends, of a dab's set-up and of its direction, seen on a brush
// driven as the host drives it: BeginStroke, ApplyDab, EndStroke.

namespace {

using tarnix::BrushOperation;
using tarnix::Vector;

// The dab point on the face whose centre lies nearest `target`.
tarnix::SurfacePoint PointOn(tarnix::Mesh* mesh, const Vector& target, uint8_t mirrored = 0) {
    const uint32_t best = test_support::FaceNearest(mesh, target);
    const tarnix::SurfacePoint centre(mesh, best, 0);
    return tarnix::SurfacePoint(mesh, best, target, centre.LocalNormal(), mirrored);
}

float FaceDiagonal(const tarnix::Mesh& mesh, uint32_t face) {
    const uint32_t* c = mesh.FaceCorners(face);
    return (mesh.VertexPosition(c[0]) - mesh.VertexPosition(c[2])).Length();
}

class StrokeRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 10}, {0, 0, 0});
        tarnix::Kernel::Interface()->ClearHUDMessages();
    }
    // One dab of `size` at `at` in a stroke of its own on `level` (strength 0: nothing moves).
    void Dab(tarnix::SubdivisionLevel* level, const Vector& at, float size, bool endStroke = true) {
        if (brush->CanUnlock()) brush->BeginStroke(level, BrushOperation::kModifierNone, BrushOperation::kTriggerDrag);
        const tarnix::SurfacePoint point = PointOn(level, at);
        tarnix::AxisAlignedBoundingBox changed;
        brush->ApplyDab(&point, &at, size, 1.0f, 0.0f, changed);
        if (endStroke) brush->EndStroke();
    }
    size_t Warnings() const { return tarnix::Kernel::Interface()->HUDMessages().size(); }

    std::unique_ptr<Corvane> brush = dab_setup::MakeBrush(corvane::kToolSculpt);
};

TEST_F(StrokeRulesTest, TheRefineIntervalFollowsTheAdaptiveDetail) {
    brush->m_dynamicTessellationAttr.SetValue(true);
    // 0.25 and 0.15 sit on the thresholds: 0.25 is not above 0.25, while 0.15f widened to
    // double is above the double 0.15 (and 0.1f above 0.1). Refine mode 1 (every dab) leaves
    // the interval alone.
    const std::tuple<int, float, int> cases[] = {{0, 0.3f, 1}, {0, 0.25f, 3}, {0, 0.15f, 3}, {0, 0.12f, 4},
                                                 {0, 0.1f, 4}, {0, 0.05f, 8}, {0, 0.0f, 16}, {1, 0.3f, 16}};
    for (const auto& [mode, detail, interval] : cases) {
        brush->m_refineModeAttr.SetValue(mode);
        brush->m_adaptiveRefineAttr.SetValue({true, detail});
        brush->BeginStroke(nullptr, BrushOperation::kModifierNone, BrushOperation::kTriggerPick);
        EXPECT_EQ(brush->m_refineIntervalAttr.Value(), interval) << mode << " " << detail;
        brush->EndStroke();
    }
}

TEST_F(StrokeRulesTest, TheMeshScaleScalesStrengthUnlessTheToolIgnoresIt) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 1);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    const auto bind = [&](uint32_t tool, const Vector& scale) {
        brush = dab_setup::MakeBrush(tool);
        geometry->GetTransformation().SetScale(scale);
        Dab(level, {0.1f, 0.1f, 1.0f}, 0.5f);
        return std::make_pair(brush->Frame().distanceScale, brush->Frame().rows[corvane::kRowInverseScale].ToVector());
    };
    const auto doubled = bind(corvane::kToolSculpt, {2, 2, 2});
    EXPECT_FLOAT_EQ(doubled.first, 0.5f);
    EXPECT_EQ(doubled.second, Vector(0.5f, 0.5f, 0.5f));
    EXPECT_EQ(bind(corvane::kToolSmooth, {2, 2, 2}).first, 1.0f) << "Smooth ignores the mesh scale";
    const auto flat = bind(corvane::kToolSculpt, {1, 0, 2});
    EXPECT_EQ(flat.first, 0.0f);
    EXPECT_EQ(flat.second, Vector(1, 1, 1)) << "a scale with a zero factor counts as none";
}

TEST_F(StrokeRulesTest, StampsNamedVdmDisplaceAndAreConvertedOnlyWhenTheyChange) {
    QTemporaryDir folder;
    const QString rivet = tarnix::Kernel::ResolveResource(QStringLiteral("Stamps/rivet_vdm.exr"));
    auto geometry = shapes::Subdivided(shapes::Cube(), 1);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    for (const auto& [name, vector] :
         {std::make_pair("rivet.VDM.exr", true), {"Rivet_Vdm.exr", true}, {"rivetvdm.exr", false}}) {
        const QString path = QDir(folder.path()).filePath(QString::fromLatin1(name));
        ASSERT_TRUE(QFile::copy(rivet, path));
        brush->SetStamp(true, path);
        brush->BeginStroke(level, BrushOperation::kModifierNone, BrushOperation::kTriggerDrag);
        EXPECT_EQ(brush->ActiveStrengthHints().isLength, !vector) << name << ": a displacement is no length";
        brush->EndStroke();
    }

    brush->SetStamp(true, QStringLiteral("Stamps/bw_scale.tif"));
    const tarnix::Image* image = brush->MaskImage(BrushOperation::kStampMask);
    const auto stroke = [&] {
        Dab(level, {0.1f, 0.1f, 1.0f}, 0.5f);
        return image->TileReads();
    };
    const uint64_t reads = stroke();
    const float first = brush->Frame().stampPixels[0];
    EXPECT_EQ(stroke(), reads) << "an unchanged stamp keeps its pixels";
    tarnix::StampConfiguration config = brush->StampConfig();
    config.m_inverted = true;
    config.m_offset = 0.25f;
    brush->SetStampConfig(config);
    EXPECT_EQ(stroke(), reads + 1) << "inversion and offset are keys of the cache";
    EXPECT_FLOAT_EQ(brush->Frame().stampPixels[0], 1.0f - first + 0.25f) << "inverted once, at conversion";
}

TEST_F(StrokeRulesTest, ThePatchDepthGrowsWithTheBrushOverTheFaceSize) {
    const auto depth = [&](const tarnix::PolygonMesh& shape, uint32_t levels, float diagonals, int falloffType = 0) {
        auto geometry = shapes::Subdivided(shape, levels);
        tarnix::SubdivisionLevel* level = geometry->HighestLevel();
        brush->SetFalloffType(falloffType);
        const tarnix::SurfacePoint point = PointOn(level, {0.1f, 0.1f, 1.0f});
        Dab(level, point.m_position, diagonals * FaceDiagonal(*level, point.m_face));
        const corvane::PatchLevels patches = brush->Patches();
        return std::make_tuple(patches.baseLevelIndex, patches.depth, patches.facesPerPatch);
    };
    // A brush of 16 face diagonals: k = log2(16 / 2) = 3 levels of patch.
    EXPECT_EQ(depth(shapes::Cube(), 3, 16.0f), std::make_tuple(0u, 3u, 64u));
    EXPECT_EQ(depth(shapes::Pyramid(), 3, 16.0f), std::make_tuple(1u, 2u, 16u)) << "level 0 is not all quads";
    EXPECT_EQ(depth(shapes::Cube(), 5, 16.0f), std::make_tuple(2u, 3u, 64u));
    EXPECT_EQ(depth(shapes::Cube(), 3, 0.0f), std::make_tuple(3u, 0u, 1u)) << "no size: single faces";
    EXPECT_EQ(depth(shapes::Cube(), 3, 16.0f, BrushOperation::kFalloffVolume), std::make_tuple(3u, 0u, 1u))
        << "a volume falloff works on single faces of the sculpted level";
    corvane::g_prefLevelFactor.Attribute()->SetValue(0.5f);
    EXPECT_EQ(depth(shapes::Cube(), 3, 16.0f), std::make_tuple(2u, 1u, 4u)) << "half the levels: trunc(1.5)";
    corvane::g_prefLevelFactor.Attribute()->SetValue(1.0f);
}

// Dabs whose numbers degenerate: a face of no size under the brush gives no patch levels (its
// size ratio is not finite) and no warning, and a falloff that finds no vertices (a surface
// distance without the distance mode that measures it) moves nothing but still hands the
// caller the area around the dab to redraw.
TEST_F(StrokeRulesTest, DegenerateFacesAndDabsThatFindNothingAreHandledQuietly) {
    auto geometry = shapes::Subdivided(shapes::Plane(2, 2), 2);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    const Vector at(0.3f, 0.3f, 0.0f);
    const tarnix::SurfacePoint point = PointOn(level, at);
    const float diagonal = FaceDiagonal(*level, point.m_face);
    Dab(level, at, 16.0f * diagonal);
    EXPECT_EQ(std::make_tuple(brush->Patches().baseLevelIndex, brush->Patches().depth), std::make_tuple(0u, 2u));
    const uint32_t* corners = level->FaceCorners(point.m_face);
    level->SetVertexPosition(corners[2], level->VertexPosition(corners[0]));
    Dab(level, at, 16.0f * diagonal);
    EXPECT_EQ(std::make_tuple(brush->Patches().baseLevelIndex, brush->Patches().depth), std::make_tuple(2u, 0u))
        << "a face of no size: no levels of patch";
    EXPECT_EQ(Warnings(), 0u);

    auto flat = shapes::Subdivided(shapes::Plane(2, 2), 2);
    level = flat->HighestLevel();
    brush->SetFalloffType(BrushOperation::kFalloffGeodesic);
    brush->m_distanceModeAttr.SetValue(0);
    brush->BeginStroke(level, BrushOperation::kModifierNone, BrushOperation::kTriggerDrag);
    ASSERT_EQ(brush->m_distanceMode, 0);
    const tarnix::SurfacePoint on = PointOn(level, at);
    tarnix::AxisAlignedBoundingBox changed;
    brush->ApplyDab(&on, &at, 0.5f, 1.0f, 1.0f, changed);
    brush->EndStroke();
    for (uint32_t v = 0; v < level->VertexCount(); ++v) ASSERT_EQ(level->VertexPosition(v).z, 0.0f);
    const float grown = 2.0f * FaceDiagonal(*level, on.m_face);
    EXPECT_TRUE(changed.IsContaining(at + Vector(grown, grown, grown) * 0.99f));
    EXPECT_TRUE(changed.IsContaining(at - Vector(grown, grown, grown) * 0.99f));
}

TEST_F(StrokeRulesTest, TheCoarseMeshWarningNeedsAFaceMoreThanFourTimesTheBrushOnceAStroke) {
    auto geometry = shapes::Subdivided(shapes::Plane(4, 4), 0);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    const Vector at(1.5f, 1.5f, 0.0f);
    const float quarter = FaceDiagonal(*level, PointOn(level, at).m_face) / 4.0f;
    Dab(level, at, quarter);
    EXPECT_EQ(Warnings(), 0u) << "exactly four times is not too coarse";
    Dab(level, at, std::nextafter(quarter, 0.0f), false);
    Dab(level, at, std::nextafter(quarter, 0.0f));
    EXPECT_EQ(Warnings(), 1u) << "once per stroke";
    Dab(level, at, 0.01f);
    EXPECT_EQ(Warnings(), 2u) << "and again in the next";
    Dab(level, at, 0.0f);
    brush->m_dynamicTessellationAttr.SetValue(true);
    Dab(level, at, 0.01f);
    EXPECT_EQ(Warnings(), 2u) << "not without a size, nor with dynamic tessellation";
    brush->m_dynamicTessellationAttr.SetValue(false);
    auto subdivided = shapes::Subdivided(shapes::Plane(4, 4), 1);
    Dab(subdivided->Level(0), at, 0.01f);
    EXPECT_EQ(Warnings(), 2u) << "nor on a mesh that has been subdivided";
}

TEST_F(StrokeRulesTest, MergeChangedBoxAddsTheCornersTheMeshBoxLacks) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 0);
    tarnix::SubdivisionLevel* level = geometry->LowestLevel();
    const tarnix::AxisAlignedBoundingBox unit = level->BoundingBox();
    level->SetPendingUpdateBox(tarnix::AxisAlignedBoundingBox({-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}));
    brush->MergeChangedBox(level);
    EXPECT_EQ(level->BoundingBox().Minimum(), unit.Minimum()) << "held already";
    level->SetPendingUpdateBox(tarnix::AxisAlignedBoundingBox({0, 0, 0}, {3, 1, 2}));
    brush->MergeChangedBox(level);
    EXPECT_EQ(level->BoundingBox().Minimum(), Vector(-1, -1, -1));
    EXPECT_EQ(level->BoundingBox().Maximum(), Vector(3, 1, 2));
    level->SetPendingUpdateBox(tarnix::AxisAlignedBoundingBox());
    brush->MergeChangedBox(level);
    EXPECT_EQ(level->BoundingBox().Maximum(), Vector(3, 1, 2)) << "an empty box adds nothing";
}

TEST_F(StrokeRulesTest, MirroredTwinsTakeTheMirrorOfFixedDirectionsAndTheirOwnOfSurfaceOnes) {
    tarnix::PolygonMesh plane = shapes::Plane(4, 4);
    for (Vector& p : plane.positions) p = p - Vector(2, 2, 0);
    auto geometry = shapes::Subdivided(plane, 0);
    tarnix::SubdivisionLevel* level = geometry->LowestLevel();
    brush->MirrorConfig().SetMirrorMode(tarnix::MirrorConfiguration::kLocalX);
    brush->SetPreviousPatchPosition({0.0f, -0.5f, 0.0f});
    // The twin's own hit is near, not at, the mirror image of the primary one.
    const tarnix::SurfacePoint primary(level, 0, {0.5f, 0.2f, 0.0f}, {0, 0, 1});
    const tarnix::SurfacePoint twin(level, 0, {-0.45f, 0.25f, 0.1f}, Vector(0.1f, 0.0f, 1.0f).Normalized(), 1);
    const auto directions = [&](int mode) {
        brush->m_directionAttr.SetValue(mode);
        EXPECT_TRUE(brush->UpdateDabDirection(primary));
        EXPECT_TRUE(brush->UpdateDabDirection(twin));
    };
    const auto mirrored = [](const Vector& v) { return Vector(-v.x, v.y, v.z); };
    for (int mode = 5; mode <= 12; ++mode) {
        directions(mode);
        SCOPED_TRACE(mode);
        EXPECT_LT((brush->Plane(1).direction - mirrored(brush->Plane(0).direction)).Length(), 1e-6f);
        EXPECT_LT((brush->Plane(1).point - mirrored(brush->Plane(0).point)).Length(), 1e-6f);
        EXPECT_FLOAT_EQ(brush->Plane(1).offset, brush->Plane(1).direction | twin.m_position);
    }
    directions(4);
    const Vector across = ((twin.m_position - Vector(0.0f, -0.5f, 0.0f)) & twin.m_normal).Normalized();
    EXPECT_LT((brush->Plane(1).direction + across).Length(), 1e-6f) << "mode 4: the twin's own, negated";
    directions(0);
    EXPECT_LT((brush->Plane(1).direction - twin.m_normal).Length(), 1e-6f) << "mode 0: the twin's own normal";
    directions(3);
    EXPECT_LT((brush->Plane(1).direction - (twin.m_position - Vector(0.0f, -0.5f, 0.0f)).Normalized()).Length(), 1e-6f);
}

TEST_F(StrokeRulesTest, AGlobalPlaneIsTheRunningMeanOfTheRegionPlanes) {
    // A ridge along y: the regions left and right of it lean different ways.
    auto geometry = shapes::Subdivided(shapes::Plane(4, 4), 2);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    for (uint32_t v = 0; v < level->VertexCount(); ++v) {
        Vector p = level->VertexPosition(v) - Vector(2, 2, 0);
        p.z = 0.4f * std::fabs(p.x) + 0.1f * p.y;
        level->SetVertexPosition(v, p);
    }
    level->RecomputeNormals();
    const Vector centres[3] = {{-1.0f, 0.0f, 0.4f}, {1.0f, 0.2f, 0.42f}, {0.6f, -0.5f, 0.19f}};
    const auto stroke = [&](bool global, Vector directions[3], Vector points[3]) {
        brush = dab_setup::MakeBrush(corvane::kToolFlatten);
        brush->m_directionAttr.SetValue(1);
        brush->m_globalPlaneAttr.SetValue(global);
        for (int i = 0; i < 3; ++i) {
            Dab(level, centres[i], 0.7f, false);
            directions[i] = brush->Plane(0).direction;
            points[i] = brush->Plane(0).point;
        }
        brush->EndStroke();
    };
    Vector alone[3], alonePoints[3], mean[3], meanPoints[3];
    stroke(false, alone, alonePoints);
    stroke(true, mean, meanPoints);
    ASSERT_GT((alone[0] - alone[1]).Length(), 0.3f) << "the two sides differ";
    for (int k = 1; k < 3; ++k) {
        const float w = float(k);
        const Vector direction = ((alone[k] + mean[k - 1] * w) * (1.0f / (w + 1.0f))).Normalized();
        EXPECT_LT((mean[k] - direction).Length(), 1e-5f) << "dab " << k;
        EXPECT_LT((meanPoints[k] - (alonePoints[k] + meanPoints[k - 1] * w) * (1.0f / (w + 1.0f))).Length(), 1e-5f);
    }
}

TEST_F(StrokeRulesTest, TheMeshIsLockedForTheBrushFromBeginToEndOfAStroke) {
    struct OtherTool : tarnix::MeshUnlocker {
        bool CanUnlock() const override { return true; }
    } other;
    auto geometry = shapes::Subdivided(shapes::Cube(), 1);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    EXPECT_TRUE(brush->CanUnlock());
    brush->BeginStroke(level, BrushOperation::kModifierNone, BrushOperation::kTriggerDrag);
    EXPECT_FALSE(brush->CanUnlock());
    EXPECT_FALSE(level->Lock(true, &other)) << "the brush does not give the lock up mid-stroke";
    brush->EndStroke();
    EXPECT_TRUE(brush->CanUnlock());
    EXPECT_TRUE(level->Lock(true, &other));
    level->Unlock(true);
}

TEST_F(StrokeRulesTest, AWholeMeshPassStartsFromTheFaceTheFaceIndexArrayNamesFirst) {
    // Two separate cubes in one mesh: faces 0 to 5 (vertices 8 to 15) at x = 3, faces 6 to 11
    // at x = -3. The first entry of the face index array, a vertex from 8 to 15, names a face
    // of the cube at x = -3.
    tarnix::PolygonMesh cubes = shapes::Cube();
    const tarnix::PolygonMesh one = shapes::Cube();
    for (Vector& p : cubes.positions) p = p + Vector(-3, 0, 0);
    for (const Vector& p : one.positions) cubes.positions.push_back(p + Vector(3, 0, 0));
    std::vector<uint32_t> corners;
    for (uint32_t v : one.faceVertices) corners.push_back(v + 8);
    corners.insert(corners.end(), one.faceVertices.begin(), one.faceVertices.end());
    cubes.faceVertices = corners;
    cubes.faceSizes.insert(cubes.faceSizes.end(), one.faceSizes.begin(), one.faceSizes.end());
    auto geometry = shapes::Subdivided(cubes, 0);
    tarnix::SubdivisionLevel* level = geometry->LowestLevel();
    const std::vector<Vector> before = test_support::PositionsOf(*level);
    brush->ApplyToWholeMesh(level, 0.0f, 0.1f, false);
    uint32_t moved[2] = {0, 0};
    for (uint32_t v = 0; v < level->VertexCount(); ++v)
        moved[before[v].x > 0.0f] += (level->VertexPosition(v) - before[v]).Length() > 1e-4f;
    EXPECT_EQ(moved[0], 8u) << "the pass spreads over the cube that holds the face";
    EXPECT_EQ(moved[1], 0u) << "and not over the cube of face 0";
}

}  // namespace
