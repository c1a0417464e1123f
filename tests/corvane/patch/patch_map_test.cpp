#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "builtin_shapes.h"
#include "caught_error.h"
#include "patch/patch_map.h"
#include "tarnix/class_desc.h"
#include "tarnix/node_array.h"
#include "tarnix/stream.h"

namespace {

// A map with `faces` empty rows, as linking fills it before the enumeration runs.
void PrepareRows(PatchMap& map, uint32_t faces) {
    ASSERT_TRUE(map.m_neighbourFaces.Assign(faces * PatchMap::kSlotsPerFace, PatchMap::kNone));
}

TEST(PatchMapTest, RowsCollectDistinctFacesInOrderUpToTen) {
    PatchMap map;
    PrepareRows(map, 3);
    map.m_currentFace = 1;
    for (uint32_t face : {7u, 1u, 7u, 2u, 1u}) map.Operator(0, face);
    const uint32_t* row = map.m_neighbourFaces.Data() + 10;
    EXPECT_EQ(std::vector<uint32_t>(row, row + 4), (std::vector<uint32_t>{7, 1, 2, PatchMap::kNone}));
    for (uint32_t face = 100; face < 120; ++face) map.Operator(0, face);
    EXPECT_EQ(row[9], 106u) << "the first ten distinct faces are kept";
    EXPECT_EQ(map.m_neighbourFaces[20], PatchMap::kNone) << "other rows are untouched";
}

TEST(PatchMapTest, TableIsStoredFromFormat328On) {
    PatchMap map;
    PrepareRows(map, 2);
    map.m_currentFace = 0;
    map.Operator(0, 5);
    tarnix::Stream out;
    out.StoreObject(map);
    PatchMap loaded;
    tarnix::Stream(out.Data()).LoadObject(loaded);
    ASSERT_EQ(loaded.m_neighbourFaces.Count(), 20u);
    EXPECT_EQ(loaded.m_neighbourFaces[0], 5u);
    EXPECT_EQ(loaded.m_neighbourFaces[1], PatchMap::kNone);

    tarnix::Stream old(327);
    old.StoreObject(map);
    PatchMap fromOld;
    tarnix::Stream in(old.Data());
    in.LoadObject(fromOld);
    EXPECT_EQ(fromOld.m_neighbourFaces.Count(), 0u);
    EXPECT_EQ(in.Remaining(), 0) << "older data carries no table";
}

TEST(PatchMapTest, LinkingUnderAGridFillsEachRowWithTheFaceAndItsEightNeighbours) {
    auto geometry = shapes::Subdivided(shapes::Plane(5, 5), 0);
    tarnix::Mesh* plane = geometry->LowestLevel();
    auto* map = dynamic_cast<PatchMap*>(plane->ChildByClass(PatchMap::StaticClass(), true));
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(map->m_neighbourFaces.Count(), 250u);
    const uint32_t* row = map->m_neighbourFaces.Data() + 12 * 10;  // the middle face
    std::set<uint32_t> entries(row, row + 9);
    EXPECT_EQ(entries, (std::set<uint32_t>{6, 7, 8, 11, 12, 13, 16, 17, 18}));
    EXPECT_EQ(row[9], PatchMap::kNone);
    const uint32_t* corner = map->m_neighbourFaces.Data();  // face 0: itself and three more
    EXPECT_EQ(std::set<uint32_t>(corner, corner + 4), (std::set<uint32_t>{0, 1, 5, 6}));
    EXPECT_EQ(corner[4], PatchMap::kNone);

    // Linked again under a smaller mesh: the table shrinks in place and is refilled.
    auto small = shapes::Subdivided(shapes::Plane(2, 1), 0);
    const uint32_t* storage = map->m_neighbourFaces.Data();
    plane->RemoveChild(map);
    small->LowestLevel()->AddChild(map);
    EXPECT_EQ(map->m_neighbourFaces.Count(), 20u);
    EXPECT_EQ(map->m_neighbourFaces.Data(), storage);
    EXPECT_EQ(map->m_neighbourFaces[2], PatchMap::kNone);
}

TEST(PatchMapTest, APatchMapUnderANodeThatIsNoMeshIsAnError) {
    tarnix::TreeNode notAMesh;
    auto* map = new PatchMap;
    const CaughtError error = Caught([&] { notAMesh.AddChild(map); });
    EXPECT_EQ(error.message, QStringLiteral("Wrong parrent for PatchMap class"));
    EXPECT_EQ(error.function, QStringLiteral("PatchMap::OnLinked"));
    EXPECT_EQ(error.line, 3363);
    EXPECT_EQ(map->m_neighbourFaces.Count(), 0u);
}

}  // namespace
