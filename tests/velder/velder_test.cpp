#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "builtin_shapes.h"
#include "tarnix/class_desc.h"
#include "tarnix/stream.h"
#include "velder.h"

namespace {

// Velder leaves its face test to derived brushes; a plain brush for the tests.
struct PlainBrush : Velder {};

TEST(VelderTest, RecordStoreHandsOutRecordsAcrossPages) {
    VertexRecordStore store;
    EXPECT_FALSE(store.IsActive());
    store.Reset(5000);
    ASSERT_TRUE(store.IsActive());
    EXPECT_EQ(store.VertexCount(), 5000u);
    EXPECT_EQ(store.IndexOf(4999), VertexRecordStore::kNone);
    for (uint32_t i = 0; i < VertexRecordStore::kPageSize + 3; ++i) {
        uint8_t* record = store.AppendRecord();
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(record) % 64, 0u);
        record[20] = uint8_t(i);
    }
    EXPECT_EQ(store.RecordCount(), VertexRecordStore::kPageSize + 3);
    EXPECT_EQ(store.Record(VertexRecordStore::kPageSize + 2)[20], uint8_t(VertexRecordStore::kPageSize + 2));
    store.Reset(0);
    EXPECT_FALSE(store.IsActive());
}

TEST(VelderTest, OnlyStandAloneTriangleMeshesAreEditable) {
    PlainBrush brush;
    auto triangles = shapes::Subdivided(shapes::Octahedron(), 0);
    EXPECT_FALSE(brush.MeshEditable(triangles->LowestLevel())) << "tessellation is off";
    brush.m_dynamicTessellationAttr.SetValue(true);
    EXPECT_TRUE(brush.MeshEditable(triangles->LowestLevel()));
    auto subdivided = shapes::Subdivided(shapes::Octahedron(), 1);
    EXPECT_FALSE(brush.MeshEditable(subdivided->LowestLevel())) << "levels are refined from it";
    EXPECT_FALSE(brush.MeshEditable(subdivided->HighestLevel())) << "quads";
    triangles->LowestLevel()->AddLayer(QStringLiteral("detail"));
    EXPECT_FALSE(brush.MeshEditable(triangles->LowestLevel())) << "layers hold per-vertex offsets";
}

// Every edge has one face on each side, the two running it in opposite directions (closed
// and consistently oriented), and no face is shrunk to a point.
void ExpectClosedAndOriented(const tarnix::Mesh& mesh) {
    std::map<std::pair<uint32_t, uint32_t>, int> directed;
    for (uint32_t f = 0; f < mesh.m_faceCount; ++f) {
        const uint32_t* c = mesh.FaceCorners(f);
        EXPECT_FALSE(c[0] == c[1] && c[1] == c[2]) << "face " << f;
        for (int k = 0; k < 3; ++k) ++directed[{c[k], c[(k + 1) % 3]}];
    }
    for (const auto& [edge, count] : directed) {
        EXPECT_EQ(count, 1);
        EXPECT_EQ(directed.count({edge.second, edge.first}), 1u) << edge.first << "-" << edge.second;
    }
}

TEST(VelderTest, RefinementSplitsLongEdgesUnderTheBrushKeepsTheMeshClosedAndUndoes) {
    auto geometry = shapes::Subdivided(shapes::Octahedron(), 0);
    tarnix::SubdivisionLevel* level = geometry->LowestLevel();
    const auto snapshot = [level] {
        std::vector<float> state;
        for (uint32_t v = 0; v < level->VertexCount(); ++v)
            state.insert(state.end(), level->m_vertices[v].position, level->m_vertices[v].position + 3);
        state.insert(state.end(), level->m_cornerIndices.begin(), level->m_cornerIndices.end());
        return state;
    };
    const std::vector<float> original = snapshot();
    PlainBrush brush;
    brush.m_dynamicTessellationAttr.SetValue(true);
    const tarnix::Vector centre(1.0f / 3, 1.0f / 3, 1.0f / 3);  // the middle of face 0
    const tarnix::SurfacePoint point(level, 0, centre, centre.Normalized());
    const float radius = 0.4f;
    brush.InitializeTessellator(&point, radius, level->CurrentChange(), 1.1f, true, false);
    ASSERT_TRUE(brush.CurrentMeshEditable());
    brush.CollectFaces();
    brush.DoRefineReduce(true, true, 19, true);
    ASSERT_GT(level->VertexCount(), 6u);

    // No edge inside the brush is longer than asked for.
    const float longest = radius * Velder::kDefaultDetail * 1.1f;
    for (uint32_t f = 0; f < level->m_faceCount; ++f) {
        const uint32_t* c = level->FaceCorners(f);
        for (int k = 0; k < 3; ++k) {
            const tarnix::Vector a = level->VertexPosition(c[k]), b = level->VertexPosition(c[(k + 1) % 3]);
            if ((a - centre).Length() < radius && (b - centre).Length() < radius) {
                EXPECT_LE((a - b).Length(), longest);
            }
        }
    }
    ExpectClosedAndOriented(*level);
    for (uint32_t v = 0; v < level->VertexCount(); ++v)
        EXPECT_NEAR(level->VertexNormal(v).Length(), 1.0f, 1e-3f) << "normals of new vertices are made";

    const std::vector<float> refined = snapshot();
    level->EndOfChange(true, false);
    ASSERT_TRUE(geometry->Undo());
    EXPECT_EQ(snapshot(), original);
    ASSERT_TRUE(geometry->Redo());
    EXPECT_EQ(snapshot(), refined);
}

TEST(VelderTest, ReductionMergesShortEdgesWithoutOpeningOrTurningTheMesh) {
    auto geometry = shapes::Subdivided(shapes::Octahedron(), 0);
    tarnix::SubdivisionLevel* level = geometry->LowestLevel();
    PlainBrush brush;
    brush.m_dynamicTessellationAttr.SetValue(true);
    const tarnix::Vector centre(1.0f / 3, 1.0f / 3, 1.0f / 3);
    const tarnix::SurfacePoint point(level, 0, centre, centre.Normalized());
    const auto tessellate = [&](float detail, bool refine, bool reduce) {
        brush.m_adaptiveRefineAttr.SetValue({true, detail});
        brush.InitializeTessellator(&point, 0.4f, level->CurrentChange(), 1.1f, refine, reduce);
        brush.CollectFaces();
        brush.DoRefineReduce(refine, reduce, 19, true);
    };
    tessellate(0.1f, true, false);  // fine
    const uint32_t fine = level->VertexCount();
    tessellate(0.5f, false, true);  // coarse
    level->DropCollapsedFaces();
    std::set<uint32_t> used(level->m_cornerIndices.begin(), level->m_cornerIndices.end());
    EXPECT_LT(used.size(), fine);
    EXPECT_GT(used.size(), 6u) << "merges stop at the detail asked for";
    EXPECT_EQ(level->VertexCount(), fine) << "vertices keep their numbers";
    ExpectClosedAndOriented(*level);
    for (uint32_t f = 0; f < level->m_faceCount; ++f)
        EXPECT_GT(level->FaceNormal(f) | tarnix::SurfacePoint(level, f, 0).LocalPosition(), 0.0f) << "faces outward";
    level->EndOfChange(true, false);
    ASSERT_TRUE(geometry->Undo());
    EXPECT_EQ(level->VertexCount(), 6u);
    EXPECT_EQ(level->m_faceCount, 8u);
}

TEST(VelderTest, TessellatorCollectsTheFacesUnderTheDab) {
    auto geometry = shapes::Subdivided(shapes::Plane(4, 4), 1);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    PlainBrush brush;
    const tarnix::SurfacePoint point(level, 0, {2, 2, 0}, {0, 0, 1});
    brush.InitializeTessellator(&point, 0.3f, nullptr, 1.1f, true, false);
    EXPECT_FALSE(brush.CurrentMeshEditable());
    brush.CollectFaces();
    const auto& faces = brush.CollectedFaces();
    ASSERT_FALSE(faces.empty());
    for (uint32_t face = 0; face < level->m_faceCount; ++face) {
        const tarnix::Vector c = tarnix::SurfacePoint(level, face, 0).LocalPosition();
        const bool near = std::fabs(c.x - 2) < 0.3f && std::fabs(c.y - 2) < 0.3f;
        if (near) {
            EXPECT_TRUE(std::count(faces.begin(), faces.end(), face)) << face;
        }
    }
    EXPECT_LT(faces.size(), 16u);
}

TEST(VelderTest, SettingsRoundTripAndCopy) {
    PlainBrush original, copy;
    original.m_dynamicTessellationAttr.SetValue(true);
    original.m_refineIntervalAttr.SetValue(8);
    original.m_facingFalloffStart = 45.0f;
    EXPECT_TRUE(original.m_dynamicTessellation) << "the attribute's value is the member";
    copy.Velder::operator=(static_cast<const tarnix::BrushOperation&>(original));
    EXPECT_TRUE(copy.m_dynamicTessellation);
    EXPECT_EQ(copy.m_refineIntervalAttr.Value(), 8);
    tarnix::Stream out;
    original.Serialize(out);
    PlainBrush loaded;
    tarnix::Stream in(out.Data());
    loaded.Serialize(in);
    EXPECT_EQ(in.Remaining(), 0);
    EXPECT_TRUE(loaded.m_dynamicTessellation);
    EXPECT_EQ(loaded.m_facingFalloffStart, 45.0f);
}

}  // namespace
