#include <gtest/gtest.h>

#include <algorithm>

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

TEST(VelderTest, TessellatorCollectsTheFacesUnderTheDab) {
    auto geometry = shapes::Subdivided(shapes::Plane(4, 4), 1);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    PlainBrush brush;
    EXPECT_FALSE(brush.MeshEditable(level)) << "the tessellator changes no topology yet";
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

TEST(VelderTest, BaseFaceTestFollowsTheSculptableFlag) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 0);
    tarnix::SubdivisionLevel* level = geometry->LowestLevel();
    PlainBrush brush;
    EXPECT_TRUE(brush.Tester(level, 2));
    level->SetFaceSculptable(2, false);
    EXPECT_FALSE(brush.Tester(level, 2));
    EXPECT_FALSE(brush.Tester(level, 6)) << "no such face";
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
