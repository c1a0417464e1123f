#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "builtin_shapes.h"
#include "dab_setup.h"
#include "host/preferences.h"
#include "kernels/dab_block.h"
#include "kernels/patch_kernel.h"
#include "kernels/patch_normals.h"
#include "patch/patch_map.h"
#include "plugin/tool_catalogue.h"
#include "small_meshes.h"
#include "tarnix/mesh_change.h"
#include "tarnix/mesh_renderer.h"
#include "tarnix/sculpt_layer.h"

namespace {

class PatchTesterTest : public ::testing::Test {
protected:
    void SetUp() override {
        geometry = shapes::Subdivided(shapes::Plane(2, 2), 2);
        level = geometry->HighestLevel();
        brush = dab_setup::MakeBrush(corvane::kToolSculpt);
    }
    void Bind(const dab_setup::Dab& dab) { bound.emplace(*brush, level, 2, dab); }

    std::unique_ptr<tarnix::Geometry> geometry;
    tarnix::SubdivisionLevel* level;
    std::unique_ptr<Corvane> brush;
    std::optional<dab_setup::BoundDab> bound;
};

// (The normals a patch leaves are checked against a reference for every kernel elsewhere.)
TEST_F(PatchTesterTest, TheChangedBoxHoldsOldAndNewPositions) {
    dab_setup::Dab dab{{0.5f, 0.5f, 0}, 0.4f, 1.0f};
    Bind(dab);
    EXPECT_TRUE(brush->PatchTester(level, 0));
    const tarnix::HWVector* rows = brush->Frame().rows;
    EXPECT_EQ(rows[corvane::kRowBoxMinimum].z, 0.0f) << "the old positions";
    EXPECT_GT(rows[corvane::kRowBoxMaximum].z, 0.1f) << "the new positions";
    EXPECT_NEAR(rows[corvane::kRowBoxMinimum].x, 0.25f, 1e-5f);
}

TEST_F(PatchTesterTest, RenderersHearOfThePatchAndItsNeighbours) {
    auto* renderer = new tarnix::MeshRenderer;
    level->AddChild(renderer);
    dab_setup::Dab dab{{0.5f, 0.5f, 0}, 0.3f};
    dab.renderers = dab.neighbourNotices = true;
    Bind(dab);
    EXPECT_TRUE(brush->PatchTester(level, 0));
    std::set<uint32_t> quads;
    for (const auto& note : renderer->Notifications()) quads.insert(note.quad);
    EXPECT_EQ(quads, (std::set<uint32_t>{0, 16, 32, 48})) << "patch 0 and the three sharing its corners";

    renderer->ClearNotifications();
    level->SetFaceSculptable(16, false);  // the first quad of patch 1
    EXPECT_FALSE(brush->PatchTester(level, 1)) << "refused without running a kernel";
    EXPECT_TRUE(renderer->Notifications().empty());
    EXPECT_FALSE(brush->PatchTester(level, 4)) << "no such patch";
}

// Where the brush ends: a vertex exactly at the radius is inside; a surface distance one
// falloff entry past the last gives weight 0, though the vertex is still written back and
// counted; a move too small to cast a ray for is not projected onto the surface.
TEST_F(PatchTesterTest, TheBrushEndsWhereItsRadiusAndFalloffTableEnd) {
    const uint32_t centre = test_support::VertexAt(*level, {0.5f, 0.5f, 0});
    dab_setup::Dab dab{{0.5f, 0.5f, 0}, 0.25f};  // the grid's spacing: the centre's four neighbours lie on the radius
    Bind(dab);
    uint64_t updates = brush->VertexUpdates();
    EXPECT_TRUE(brush->PatchTester(level, 0));
    EXPECT_EQ(brush->VertexUpdates() - updates, 5u) << "the centre and the four on the radius";

    const corvane::DabFrame& frame = brush->Frame();
    std::vector<float> distances(level->VertexCount(), float(frame.falloffLastIndex + 1) / frame.falloffScale);
    dab_setup::Dab far = dab;
    far.vertexDistances = distances.data();
    Bind(far);
    updates = brush->VertexUpdates();
    const tarnix::Vector before = level->VertexPosition(centre);
    EXPECT_TRUE(brush->PatchTester(level, 0));
    EXPECT_EQ(brush->VertexUpdates() - updates, 25u) << "every vertex of the patch, none weighed";
    EXPECT_EQ(level->VertexPosition(centre), before);

    // One vertex moves, down and sideways, off the flat surface its neighbours keep; projected,
    // it lands back on that surface.
    for (const auto& [length, projected] : {std::make_pair(1e-4f, false), {0.5f, true}}) {
        geometry = shapes::Subdivided(shapes::Plane(2, 2), 2);
        level = geometry->HighestLevel();
        dab.radius = 0.1f;
        dab.length = length;
        dab.direction = {0.6f, 0, -0.8f};
        dab.projectToSurface = true;
        Bind(dab);
        EXPECT_TRUE(brush->PatchTester(level, 0));
        const tarnix::Vector moved = level->VertexPosition(centre);  // the same numbering on the fresh level
        EXPECT_GT(moved.x, 0.5f) << length;
        if (projected) EXPECT_EQ(moved.z, 0.0f);
        else EXPECT_LT(moved.z, -5e-6f) << "moved by D itself, not back onto the surface";
    }
}

// A patch whose layer refuses it is left as it is, but its normals are still made from its
// positions like those of every other patch the dab reaches.
TEST_F(PatchTesterTest, APatchItsLayerRefusesStaysAndGetsItsNormalsFromItsPositions) {
    tarnix::SculptLayer* layer = level->AddLayer(QStringLiteral("locked"));
    level->SetActiveLayer(0);
    layer->SetLocked(true);
    auto* renderer = new tarnix::MeshRenderer;
    level->AddChild(renderer);
    dab_setup::Dab dab{{0.5f, 0.5f, 0}, 0.4f};
    dab.renderers = true;
    Bind(dab);
    uint32_t inside = 0;
    for (uint32_t v = 0; v < level->VertexCount(); ++v)
        if (level->VertexPosition(v).x <= 1.0f && level->VertexPosition(v).y <= 1.0f) {
            level->m_normals[v] = {0, 32767, 0, 0};  // not the flat patch's
            ++inside;
        }
    EXPECT_FALSE(brush->PatchTester(level, 0));
    EXPECT_EQ(inside, 25u);
    for (uint32_t v = 0; v < level->VertexCount(); ++v) {
        ASSERT_EQ(level->VertexPosition(v).z, 0.0f) << "nothing moved";
        if (level->VertexPosition(v).x > 1.0f || level->VertexPosition(v).y > 1.0f) continue;
        EXPECT_EQ(level->m_normals[v].y, 0) << v;
        EXPECT_EQ(level->m_normals[v].z, 32767) << v;
    }
    EXPECT_TRUE(renderer->Notifications().empty());
}

// Renderers hear of the patch's neighbours by the patch map's row of the base-mesh face the
// patch lies in. Where level 0 holds triangles, the base mesh is level 1 (the first of quads)
// and that face is the patch's ancestor there: the patch's face shifted by the levels between
// them, not by the patch level's whole depth, which would name another face's neighbours.
TEST(PatchNoticeTest, OverTrianglesTheNeighboursAreThoseOfThePatchsAncestorInTheFirstQuadLevel) {
    auto geometry = shapes::Subdivided(shapes::Octahedron(), 3);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    tarnix::SubdivisionLevel* quads = geometry->Level(1);
    ASSERT_EQ(geometry->Level(0)->m_faceKind, tarnix::Mesh::kTriangles);
    auto* renderer = new tarnix::MeshRenderer;
    level->AddChild(renderer);
    auto brush = dab_setup::MakeBrush(corvane::kToolSculpt);
    const uint32_t face = 45;  // of level 2, the patch level: a child of level 1's face 11
    dab_setup::Dab dab{level->VertexPosition(level->FaceCorners(4 * face)[0]), 0.3f};
    dab.renderers = dab.neighbourNotices = true;
    const dab_setup::BoundDab bound(*brush, level, 1, dab);
    const auto* map = dynamic_cast<PatchMap*>(quads->ChildByClass(PatchMap::StaticClass(), false));
    ASSERT_NE(map, nullptr) << "the brush reads the map of the first quad level";
    EXPECT_TRUE(brush->PatchTester(level, face));
    std::set<uint32_t> notified;
    for (const auto& note : renderer->Notifications()) notified.insert(note.quad);
    std::set<uint32_t> expected{4 * face};
    for (uint32_t slot = 0; slot < PatchMap::kSlotsPerFace; ++slot) {
        const uint32_t neighbour = map->m_neighbourFaces[(face / 4) * PatchMap::kSlotsPerFace + slot];
        if (neighbour != PatchMap::kNone) expected.insert(16 * neighbour);
    }
    EXPECT_EQ(notified, expected);
    EXPECT_TRUE(notified.count(16 * (face / 4))) << "the ancestor itself";
}

TEST_F(PatchTesterTest, PlaneToolsGatherTheRegionPlaneInsteadOfMovingInTheGatheringPass) {
    brush->SetActiveConfiguration(
        tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), corvane::kToolFlatten));
    dab_setup::Dab dab{{1, 1, 0}, 0.5f};
    dab.gather = true;
    Bind(dab);
    for (uint32_t patch = 0; patch < 4; ++patch) EXPECT_TRUE(brush->PatchTester(level, patch));
    const float* sums = brush->RegionPlaneSums();
    EXPECT_FLOAT_EQ(sums[6], 13.0f) << "each of the 13 grid vertices within the radius once";
    EXPECT_NEAR(sums[0] / sums[6], 1.0f, 1e-5f);
    EXPECT_NEAR(sums[5] / sums[6], 1.0f, 1e-4f) << "normals point up";
    EXPECT_EQ(level->VertexPosition(0).z, 0.0f);
}

// The region plane's seven sums after `dab` is run over every patch of `top` (patches `depth` deep).
std::vector<float> SumsOverAllPatches(Corvane& brush, tarnix::SubdivisionLevel* top, uint32_t depth,
                                      const dab_setup::Dab& dab) {
    const dab_setup::BoundDab bound(brush, top, depth, dab);
    for (uint32_t patch = 0; patch < top->m_faceCount >> (2 * depth); ++patch) brush.PatchTester(top, patch);
    return std::vector<float>(brush.RegionPlaneSums(), brush.RegionPlaneSums() + 7);
}

// The gathering pass passes by patches, and runs of their records, whose stored positions lie
// wholly outside the brush, by boxes kept for the undo record. After a dab has moved vertices
// (the record keeps where they were) and with the brush elsewhere, its sums must be those of a
// pass that walks every record: a box skipping a vertex the brush reaches, or a skipped run
// leaving an earlier patch's samples in the cells, would change them.
TEST(PlaneGatheringTest, PassingPatchesAndRunsByTheirBoxesLeavesTheSumsAsAFullWalk) {
    auto geometry = shapes::Subdivided(shapes::Plane(2, 2), 5);
    tarnix::SubdivisionLevel* top = geometry->HighestLevel();
    auto brush = dab_setup::MakeBrush(corvane::kToolFlatten);
    const auto pass = [&](dab_setup::Dab dab, bool sameStroke) {
        dab.sameStroke = sameStroke;
        return SumsOverAllPatches(*brush, top, 5, dab);
    };
    const auto gather = [&](const tarnix::Vector& centre, float radius, bool sameStroke) {
        dab_setup::Dab dab{centre, radius};
        dab.gather = true;
        return pass(dab, sameStroke);
    };
    const dab_setup::Dab dab{{1.4f, 0.6f, 0}, 0.4f, 1.0f, {0, 0, 1}, 0.2f};
    gather(dab.center, dab.radius, false);
    pass(dab, true);
    uint32_t raised = 0;
    for (const tarnix::Vector& p : test_support::PositionsOf(*top)) raised += p.z > 0.0f;
    ASSERT_GT(raised, 100u) << "the dab moved vertices off their stored places";

    const tarnix::Vector elsewhere(1.0f, 0.3f, 0);
    const std::vector<float> boxed = gather(elsewhere, 0.3f, true);
    // The same record again, under a new serial: the boxes taken under the old one do not hold.
    const std::vector<float> walked = gather(elsewhere, 0.3f, false);
    EXPECT_GT(walked[6], 100.0f) << "samples taken";
    EXPECT_EQ(boxed, walked);
}

// The region plane is a plane of the mesh: under a non-uniform scale the brush measures its
// reach in the world, but the samples stay where the vertices are in the mesh, whether they
// are read as the stroke found them or as they are. Before anything moves the two agree.
TEST(PlaneGatheringTest, UnderANonUniformScaleOriginalAndCurrentSamplesAgree) {
    auto geometry = shapes::Subdivided(shapes::Plane(2, 2), 4);
    tarnix::SubdivisionLevel* top = geometry->HighestLevel();
    auto brush = dab_setup::MakeBrush(corvane::kToolFlatten);
    const auto sums = [&](bool originalData) {
        corvane::g_prefUseOriginalDataForFlatten.Attribute()->SetValue(originalData);
        dab_setup::Dab dab{{1.0f, 1.0f, 0}, 0.9f};
        dab.nonUniformScale = true;
        dab.meshToWorld = tarnix::Matrix::Scale({3, 1, 1});
        dab.gather = true;
        return SumsOverAllPatches(*brush, top, 2, dab);
    };
    const std::vector<float> original = sums(true), current = sums(false);
    corvane::g_prefUseOriginalDataForFlatten.Attribute()->SetValue(false);
    EXPECT_GT(current[6], 10.0f) << "samples taken";
    EXPECT_EQ(original, current);
}

// Surface projection in a deep patch (walked in grid order, though all its undo entries exist
// already) lands every vertex where the per-vertex path, walking the patch's grid vertex by
// vertex, lands it: cast along the vertex's normal from the moved point, kept when the hit is
// near. The casts meet the surface as the spatial grid was last fitted, before this walk.
TEST(PatchWalkTest, WithProjectionDeepPatchesLandWhereThePerVertexPathLands) {
    const auto sculpt = [](bool perVertex) {
        auto geometry = shapes::Subdivided(shapes::Plane(2, 2), 5);
        tarnix::SubdivisionLevel* top = geometry->HighestLevel();
        // A curved sheet: a vertex moved sideways lands off the surface that its neighbours
        // span (on a flat one it would not, whatever they had done).
        for (uint32_t v = 0; v < top->VertexCount(); ++v) {
            tarnix::Vector p = top->VertexPosition(v);
            p.z = 0.5f * (p.x - 0.5f) * (p.x - 0.5f) + 0.3f * p.y * p.y;
            top->SetVertexPosition(v, p);
        }
        top->RecomputeNormals();
        auto brush = dab_setup::MakeBrush(corvane::kToolSculpt);
        dab_setup::Dab dab{{0.5f, 0.45f, 0.06f}, 0.4f, 0.0f};
        std::optional<dab_setup::BoundDab> bound;
        bound.emplace(*brush, top, 5, dab);  // patch 0 is base face 0: a quarter of the level
        EXPECT_TRUE(brush->PatchTester(top, 0)) << "entries for every vertex of the patch";
        // Down and sideways: the ray cast from the moved point meets the faces beside the
        // vertex, as far as this walk has moved their corners.
        dab.length = 0.04f;
        dab.direction = {0.6f, 0, -0.8f};
        dab.projectToSurface = true;
        bound.emplace(*brush, top, 5, dab);
        if (!perVertex) {
            EXPECT_TRUE(brush->PatchTester(top, 0));
        } else {
            const uint32_t* table = tarnix::SubdivisionLevel::QuadVertexIndexTable(5).Data();
            const uint32_t side = 33;
            for (uint32_t k = 0; k < side * side; ++k) {
                const uint32_t row = k / side, column = k % side;
                const uint32_t quad = std::min(row, side - 2) * (side - 1) + (column > 0 ? column - 1 : 0);
                brush->VertexSculpt(top, top->m_cornerIndices[table[k]],
                                    tarnix::SubdivisionLevel::QuadIndexTable(5)[quad]);
            }
        }
        return test_support::PositionsOf(*top);
    };
    const std::vector<tarnix::Vector> kernel = sculpt(false), reference = sculpt(true);
    auto untouched = shapes::Subdivided(shapes::Plane(2, 2), 5);
    uint32_t moved = 0;
    for (size_t v = 0; v < kernel.size(); ++v) {
        ASSERT_LT((kernel[v] - reference[v]).Length(), 1e-6f) << v;
        moved += kernel[v].x != untouched->HighestLevel()->VertexPosition(uint32_t(v)).x;
    }
    EXPECT_GT(moved, 100u);
}

// The patch normals are packed four at a time with the coordinates in lanes; a normal must
// not depend on whether it was one of four or packed alone (undo, reports and later dabs read
// these bits). Wide magnitude ranges, parallel and zero differences, values whose squares
// overflow or vanish, and lanes that disagree in sign or size all stay bit for bit.
TEST(PatchNormalsTest, FourAtOnceRoundAsOneAtATime) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f), exponent(-30.0f, 30.0f);
    const float huge = std::numeric_limits<float>::max() / 4, tiny = std::numeric_limits<float>::denorm_min();
    const auto draw = [&] {
        const float scale = std::exp2(std::round(exponent(random)));
        return tarnix::HWVector(unit(random) * scale, unit(random) * scale, unit(random) * scale);
    };
    const std::vector<std::pair<tarnix::HWVector, tarnix::HWVector>> special{
        {tarnix::HWVector(0, 0, 0), tarnix::HWVector(1, 0, 0)},
        {tarnix::HWVector(1, 2, 3), tarnix::HWVector(2, 4, 6)},
        {tarnix::HWVector(huge, 0, 0), tarnix::HWVector(0, huge, 0)},
        {tarnix::HWVector(tiny, 0, 0), tarnix::HWVector(0, tiny, 0)},
        {tarnix::HWVector(1e-20f, 3e-21f, 0), tarnix::HWVector(0, 2e-20f, 1e-20f)},
        {tarnix::HWVector(0.1f, -0.7f, 0.3f), tarnix::HWVector(-0.2f, 0.05f, 0.9f)},
    };
    for (int trial = 0; trial < 20000; ++trial) {
        tarnix::HWVector u[4], v[4];
        for (int j = 0; j < 4; ++j) {
            const size_t pick = size_t(random() % (special.size() * 4));
            if (pick < special.size()) {
                u[j] = special[pick].first;
                v[j] = special[pick].second;
            } else {
                u[j] = draw();
                v[j] = draw();
            }
        }
        int32_t x[4], y[4], z[4];
        corvane::PackNormalsOfFour(u, v, x, y, z);
        for (int j = 0; j < 4; ++j) {
            int32_t ex, ey, ez;
            corvane::PackNormal(u[j], v[j], ex, ey, ez);
            ASSERT_EQ(std::tie(x[j], y[j], z[j]), std::tie(ex, ey, ez)) << "trial " << trial << " lane " << j;
        }
    }
}

}  // namespace
