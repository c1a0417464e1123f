// Texture coordinates and face origins through the hierarchy: carried by cleaning, refined
// with the levels, and withdrawn while level 0's faces are not those the mesh was made with.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "builtin_shapes.h"
#include "caught_error.h"
#include "tarnix/geometry.h"

namespace {

// A flat grid whose texture coordinates are its x and y: a refinement that treats positions
// and coordinates alike keeps them equal at every level.
tarnix::PolygonMesh PlaneWithPlanarUVs(uint32_t columns, uint32_t rows) {
    tarnix::PolygonMesh plane = shapes::Plane(columns, rows);
    for (const tarnix::Vector& p : plane.positions) plane.uvs.push_back({p.x, p.y});
    plane.faceUVs = plane.faceVertices;
    return plane;
}

TEST(UVRefinementTest, CoordinatesFollowTheSurfaceAtEveryLevel) {
    auto geometry = shapes::Subdivided(PlaneWithPlanarUVs(3, 2), 3);
    for (uint32_t l = 0; l < geometry->LevelCount(); ++l) {
        const tarnix::SubdivisionLevel* level = geometry->Level(l);
        const tarnix::FaceVaryingUVs* uvs = geometry->UVs(l);
        ASSERT_NE(uvs, nullptr) << "level " << l;
        ASSERT_EQ(uvs->corners.size(), level->m_cornerIndices.Count());
        for (uint32_t c = 0; c < uvs->corners.size(); ++c) {
            const tarnix::Vector p = level->VertexPosition(level->m_cornerIndices[c]);
            const tarnix::TextureCoordinate& uv = uvs->values[uvs->corners[c]];
            ASSERT_NEAR(uv.u, p.x, 1e-5f) << "level " << l << " corner " << c;
            ASSERT_NEAR(uv.v, p.y, 1e-5f) << "level " << l << " corner " << c;
        }
    }
}

TEST(UVRefinementTest, SeamsKeepOneCoordinatePerSideAndIslandCornersStay) {
    // The cube with every face its own island over [0, 1]^2: corners shared by three faces
    // have three coordinates, and refinement must keep each island inside the square with its
    // corners exactly on the square's corners.
    tarnix::PolygonMesh cube = shapes::Cube();
    for (uint32_t f = 0; f < cube.FaceCount(); ++f) {
        cube.uvs.insert(cube.uvs.end(), {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
        cube.faceUVs.insert(cube.faceUVs.end(), {4 * f, 4 * f + 1, 4 * f + 2, 4 * f + 3});
    }
    auto geometry = shapes::Subdivided(cube, 2);
    const tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    const tarnix::FaceVaryingUVs* uvs = geometry->UVs(2);
    ASSERT_NE(uvs, nullptr);
    uint32_t cornersOnSquareCorners = 0;
    for (uint32_t f = 0; f < level->m_faceCount; ++f)
        for (uint32_t k = 0; k < 4; ++k) {
            const tarnix::TextureCoordinate& uv = uvs->values[uvs->corners[4 * f + k]];
            ASSERT_TRUE(uv.u >= 0.0f && uv.u <= 1.0f && uv.v >= 0.0f && uv.v <= 1.0f)
                << "face " << f << " corner " << k;
            cornersOnSquareCorners += (uv.u == 0.0f || uv.u == 1.0f) && (uv.v == 0.0f || uv.v == 1.0f);
        }
    EXPECT_EQ(cornersOnSquareCorners, 6u * 4u) << "each island's four corners stay put";
    // A cube vertex is one vertex with three coordinates (one per face around it).
    std::vector<std::set<uint32_t>> valuesAt(level->VertexCount());
    for (uint32_t c = 0; c < uvs->corners.size(); ++c) valuesAt[level->m_cornerIndices[c]].insert(uvs->corners[c]);
    size_t threeSided = 0;
    for (const auto& values : valuesAt) threeSided += values.size() == 3;
    EXPECT_EQ(threeSided, 8u);
}

TEST(UVRefinementTest, FacesKnowTheirBasePolygonAtEveryLevel) {
    // A pyramid: one quad and four triangles, so level 0 is a fan of triangles and level 1
    // gives each polygon as many quads as it has corners.
    auto geometry = shapes::Subdivided(shapes::Pyramid(), 2);
    const tarnix::PolygonMesh& base = geometry->BasePolygons();
    const std::vector<uint32_t> level0 = geometry->BasePolygonOfFaces(0);
    ASSERT_EQ(level0.size(), geometry->Level(0)->m_faceCount);
    EXPECT_EQ(level0.size(), 2u + 4u);
    EXPECT_EQ(std::count(level0.begin(), level0.end(), 0u), 2) << "the quad became two triangles";
    const std::vector<uint32_t> level1 = geometry->BasePolygonOfFaces(1);
    const tarnix::SubdivisionLevel* one = geometry->Level(1);
    ASSERT_EQ(level1.size(), one->m_faceCount);
    EXPECT_EQ(level1.size(), 4u + 4 * 3u) << "refined from the polygons, not from level 0";
    size_t offset = 0;
    std::vector<tarnix::Vector> centroids;
    for (uint32_t size : base.faceSizes) {
        tarnix::Vector sum(0, 0, 0);
        for (uint32_t k = 0; k < size; ++k) sum = sum + base.positions[base.faceVertices[offset + k]];
        centroids.push_back(sum * (1.0f / float(size)));
        offset += size;
    }
    for (uint32_t f = 0; f < one->m_faceCount; ++f) {
        // Every quad of level 1 has its polygon's face point, the centroid, as a corner.
        float nearest = 1e9f;
        for (uint32_t k = 0; k < 4; ++k)
            nearest = std::min(nearest, (one->VertexPosition(one->FaceCorners(f)[k]) - centroids[level1[f]]).Length());
        EXPECT_LT(nearest, 1e-5f) << "face " << f;
    }
    const std::vector<uint32_t> level2 = geometry->BasePolygonOfFaces(2);
    ASSERT_EQ(level2.size(), geometry->Level(2)->m_faceCount);
    for (uint32_t f = 0; f < level2.size(); ++f) ASSERT_EQ(level2[f], level1[f >> 2]);
}

TEST(UVRefinementTest, CleaningCarriesCoordinatesAndTagsWithTheirCorners) {
    tarnix::PolygonMesh mesh;
    mesh.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}};
    // A quad with a repeated corner, the same quad again (dropped), and a triangle.
    mesh.faceSizes = {5, 4, 3};
    mesh.faceVertices = {0, 1, 1, 2, 3, 3, 2, 1, 0, 1, 4, 2};
    mesh.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {9, 9}, {2, 0}};
    mesh.faceUVs = {0, 1, 4, 2, 3, 3, 2, 1, 0, 1, 5, 2};
    mesh.faceTags = {7, 8, 9};
    QStringList changes;
    const tarnix::PolygonMesh cleaned = mesh.Cleaned(changes);
    EXPECT_EQ(cleaned.faceUVs, (std::vector<uint32_t>{0, 1, 2, 3, 1, 5, 2}));
    EXPECT_EQ(cleaned.faceTags, (std::vector<uint32_t>{7, 9}));

    const auto refused = [&] { return Caught([&] { mesh.Cleaned(changes); }).raised; };
    mesh.faceUVs.pop_back();
    EXPECT_TRUE(refused()) << "one coordinate per corner";
    mesh.faceUVs.push_back(6);
    EXPECT_TRUE(refused()) << "an index past the coordinates";
}

TEST(UVRefinementTest, RewiredBaseFacesWithdrawCoordinatesUntilUndone) {
    tarnix::PolygonMesh triangles = shapes::Octahedron();
    triangles.uvs = {{0, 0}, {1, 0}, {0, 1}};
    for (uint32_t f = 0; f < triangles.FaceCount(); ++f) triangles.faceUVs.insert(triangles.faceUVs.end(), {0, 1, 2});
    auto geometry = tarnix::Geometry::FromPolygons(triangles);
    tarnix::SubdivisionLevel* level = geometry->LowestLevel();
    ASSERT_NE(geometry->UVs(0), nullptr);
    level->BeginTopologyEdit();
    const uint32_t corners[3] = {level->FaceCorners(0)[1], level->FaceCorners(0)[2], level->FaceCorners(0)[0]};
    level->SetFaceCorners(0, corners);
    level->TopologyChanged();
    level->EndOfChange(true, false);
    EXPECT_EQ(geometry->UVs(0), nullptr);
    EXPECT_TRUE(geometry->BasePolygonOfFaces(0).empty());
    ASSERT_TRUE(geometry->Undo());
    EXPECT_NE(geometry->UVs(0), nullptr);
    EXPECT_EQ(geometry->BasePolygonOfFaces(0).size(), level->m_faceCount);
}

}  // namespace
