#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

#include "brush/corvane.h"
#include "builtin_shapes.h"
#include "dab_setup.h"
#include "plugin/tool_catalogue.h"
#include "small_meshes.h"
#include "tarnix/kernel.h"
#include "tarnix/math/hw_vector.h"
#include "tarnix/mesh_change.h"
#include "tarnix/transformation.h"

namespace {

class VertexSculptTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A flat 8 x 8 grid of unit squares, each cut into two triangles.
        geometry = tarnix::Geometry::FromPolygons(shapes::Triangulated(test_support::CentredPlane(8, 8)));
        level = geometry->LowestLevel();
        tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 10}, {0, 0, 0});
    }
    std::unique_ptr<tarnix::Geometry> geometry;
    tarnix::SubdivisionLevel* level;
};

// Triangles are sculpted vertex by vertex: only under the brush, normals the mean of their
// faces' normals, undone exactly.
TEST_F(VertexSculptTest, TriangleMeshesAreSculptedWithFaceMeanNormalsAndUndoneExactly) {
    ASSERT_EQ(level->m_faceKind, tarnix::Mesh::kTriangles);
    auto brush = dab_setup::MakeBrush(corvane::kToolSculpt);
    dab_setup::Stroke(*brush, *level, {{0, 0, 0}, {0.01f, 0, 0}}, 2.5f, 0.5f);
    uint32_t checked = 0;
    for (uint32_t v = 0; v < level->VertexCount(); ++v) {
        const tarnix::Vector p = level->VertexPosition(v);
        ASSERT_GE(p.z, 0.0f);
        if (p.z > 0.0f) {
            ASSERT_LT(std::hypot(p.x, p.y), 2.5f) << "only under the brush";
        }
        if (p.z <= 0.0f || std::fabs(p.x) >= 3.5f || std::fabs(p.y) >= 3.5f) continue;  // touched, interior
        uint32_t count = 0;
        const uint32_t* faces = level->FacesAroundVertex(v, count);
        tarnix::Vector mean(0, 0, 0);
        for (uint32_t i = 0; i < count; ++i) mean += level->FaceNormal(faces[i]).Normalized();
        mean *= 1.0f / float(count);
        tarnix::PackedNormal expected{};
        tarnix::PackNormal(tarnix::HWVector(mean), expected);
        const tarnix::PackedNormal& n = level->m_normals[v];
        EXPECT_EQ(std::tie(n.x, n.y, n.z), std::tie(expected.x, expected.y, expected.z)) << v;
        ++checked;
    }
    EXPECT_GT(checked, 4u);
    ASSERT_TRUE(geometry->Undo());
    for (uint32_t v = 0; v < level->VertexCount(); ++v) ASSERT_EQ(level->VertexPosition(v).z, 0.0f);
}

TEST_F(VertexSculptTest, UnderDynamicTessellationTheBaseBrushRecordsEachVertexAsFirstFound) {
    auto brush = dab_setup::MakeBrush(corvane::kToolSculpt);
    brush->m_dynamicTessellationAttr.SetValue(true);
    const uint32_t held = 40;
    level->m_vertices[held].freeze = 0x80 | 64;  // the host's bit and a freeze of 64
    const uint32_t original = level->VertexCount();
    std::vector<tarnix::VertexRecord> vertices(level->m_vertices.begin(), level->m_vertices.end());
    brush->BeginStroke(level, tarnix::BrushOperation::kModifierNone, tarnix::BrushOperation::kTriggerDrag);
    for (float x : {-0.6f, 0.0f, 0.6f}) {
        const tarnix::Vector at(x, 0.1f, 0.0f);
        const tarnix::SurfacePoint point(level, test_support::FaceNearest(level, at), at, {0, 0, 1});
        tarnix::AxisAlignedBoundingBox changed;
        brush->ApplyDab(&point, &at, 1.5f, 1.0f, 0.3f, changed);
        QString problem;
        ASSERT_TRUE(brush->CheckValidity(&problem)) << problem.toStdString();
    }
    ASSERT_GT(level->VertexCount(), original) << "the brush refined the mesh";
    uint32_t recorded = 0, moved = 0;
    for (uint32_t v = 0; v < original; ++v) {
        const bool hasRecord = brush->m_records.IndexOf(v) != VertexRecordStore::kNone;
        const tarnix::Vector start(vertices[v].position[0], vertices[v].position[1], vertices[v].position[2]);
        if (level->VertexPosition(v) != start) {
            ++moved;
            ASSERT_TRUE(hasRecord) << "a moved vertex was recorded first, vertex " << v;
        }
        if (!hasRecord) continue;
        ++recorded;
        const VertexRecordData record = brush->m_records.Data(brush->m_records.IndexOf(v));
        // As the stroke first found it: where it started, its normal then (which the undo
        // entry made at the same moment keeps too).
        const tarnix::StoredVertexInfo* entry = level->CurrentChange()->Find(v);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(brush->VertexOriginalPosition(v), start);
        EXPECT_EQ(std::memcmp(record.packedNormal, entry->m_normal, 6), 0);
        EXPECT_EQ(record.vertex, v);
        EXPECT_FLOAT_EQ(record.freeze, float(vertices[v].freeze & 0x7F) * 0.007874016f);
        EXPECT_FLOAT_EQ(record.normal[2], float(entry->m_normal[2]) * tarnix::kNormalUnpackScale);
        EXPECT_EQ(record.hostBit, vertices[v].freeze >> 7);
    }
    EXPECT_GT(moved, 10u);
    EXPECT_GE(recorded, moved);
    EXPECT_NE(brush->m_records.IndexOf(held), VertexRecordStore::kNone) << "the held vertex lies under the brush";
    brush->EndStroke();
}

// The same dab through the patch kernels and through the per-vertex path, on one quad level.
TEST(VertexPathTest, OnQuadsThePerVertexPathAgreesWithTheKernels) {
    for (uint32_t tool : {corvane::kToolSculpt, corvane::kToolPinch, corvane::kToolFlatten}) {
        std::vector<tarnix::Vector> results[2];
        for (int path = 0; path < 2; ++path) {
            auto geometry = shapes::Subdivided(shapes::Cube(), 3);
            tarnix::SubdivisionLevel* level = geometry->HighestLevel();
            auto brush = dab_setup::MakeBrush(tool);
            dab_setup::Dab dab{{0.1f, 0.2f, 0.9f}, 0.7f, tool == corvane::kToolFlatten ? 60.0f : 0.2f};
            dab.planeDistance = 0.6f;
            const dab_setup::BoundDab bound(*brush, level, 2, dab);
            if (path == 0) {
                for (uint32_t patch = 0; patch < geometry->Level(1)->m_faceCount; ++patch)
                    brush->PatchTester(level, patch);
            } else {
                for (uint32_t v = 0; v < level->VertexCount(); ++v) {
                    uint32_t count = 0;
                    brush->VertexSculpt(level, v, level->FacesAroundVertex(v, count)[0]);
                }
            }
            results[path] = test_support::PositionsOf(*level);
        }
        auto untouched = shapes::Subdivided(shapes::Cube(), 3);
        uint32_t moved = 0;
        for (size_t v = 0; v < results[0].size(); ++v) {
            ASSERT_NEAR((results[0][v] - results[1][v]).Length(), 0.0f, 1e-6f) << "tool " << tool << " vertex " << v;
            moved += (results[0][v] - untouched->HighestLevel()->VertexPosition(uint32_t(v))).Length() > 1e-5f;
        }
        EXPECT_GT(moved, 20u) << "tool " << tool;
    }
}

// With the stamp sampled at the mirror partner (the mirrored twin of a topologically mirrored
// dab), a vertex's partner enters the undo record only when the stamp is sampled there: after
// the vertex's own entry, and not at all for a vertex the brush does not reach.
TEST(VertexPathTest, AMirroredStampEntersThePartnersOfTheVerticesItSamplesOnly) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 2);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    auto brush = dab_setup::MakeBrush(corvane::kToolSculpt);
    tarnix::StampConfiguration stamp;
    stamp.m_mirrored = true;
    brush->SetStampConfig(stamp);
    brush->MirrorConfig().SetMirrorMode(tarnix::MirrorConfiguration::kTopological);
    const float texel = 1.0f;
    dab_setup::Dab dab{{0.4f, 0.3f, 1.0f}, 0.6f, 0.1f};
    dab.mirrorIndex = 1;
    dab.stamp.on = dab.stamp.tiled = true;  // one texel everywhere
    dab.stamp.pixels = &texel;
    dab.stamp.width = dab.stamp.height = 1;
    const dab_setup::BoundDab bound(*brush, level, 0, dab);

    std::vector<uint32_t> expected;
    std::vector<bool> entered(level->VertexCount(), false);
    const auto enter = [&](uint32_t v) {
        if (!entered[v]) expected.push_back(v);
        entered[v] = true;
    };
    uint32_t partners = 0;
    for (uint32_t v = 0; v < level->VertexCount(); ++v) {
        const uint32_t face = test_support::FaceOf(*level, v);
        const bool inside = (level->VertexPosition(v) - dab.center).LengthSquared() <= dab.radius * dab.radius;
        enter(v);
        if (inside) {
            const uint32_t* c = level->FaceCorners(face);
            uint32_t mirrored = 0, unused = 0;
            const uint32_t partner =
                level->TopologicalMirror(face, uint32_t(std::find(c, c + 4, v) - c), mirrored, unused);
            ASSERT_NE(partner, tarnix::Mesh::kNone);
            partners += !entered[partner];
            enter(partner);
        }
        EXPECT_EQ(brush->VertexSculpt(level, v, face), inside) << v;
    }
    EXPECT_GT(partners, 2u) << "the partners lie across the mirror, beyond the brush";
    const tarnix::MeshChange& change = *level->CurrentChange();
    ASSERT_EQ(change.Count(), expected.size());
    for (uint32_t slot = 0; slot < change.Count(); ++slot) ASSERT_EQ(change[slot].m_vertex, expected[slot]) << slot;
}

// Under a non-uniform scale the brush is measured in the world: a vertex that this pass has
// already moved counts as inside by its world distance from the dab centre, as the radius is.
TEST_F(VertexSculptTest, UnderANonUniformScaleAVertexMovedBeforeCountsByItsWorldDistance) {
    auto brush = dab_setup::MakeBrush(corvane::kToolSculpt);
    dab_setup::Dab dab{{}, 1.2f};
    dab.nonUniformScale = true;
    dab.meshToWorld = tarnix::Matrix::Scale({1, 4, 1});
    const dab_setup::BoundDab bound(*brush, level, 0, dab);
    // One unit from the centre in the mesh: along x one in the world, along y four.
    for (const auto& [at, inside] : {std::make_pair(tarnix::Vector(1, 0, 0), true), {tarnix::Vector(0, 1, 0), false}}) {
        const uint32_t v = test_support::VertexAt(*level, at);
        EXPECT_EQ(brush->VertexSculpt(level, v, test_support::FaceOf(*level, v)), inside) << at.y;
        EXPECT_EQ(brush->VertexSculpt(level, v, test_support::FaceOf(*level, v)), inside) << "moved already, " << at.y;
    }
}

}  // namespace
