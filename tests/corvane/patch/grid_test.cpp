#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "builtin_shapes.h"
#include "patch/grid.h"
#include "tarnix/error.h"
#include "vector_match.h"

namespace {

TEST(GridTest, FaceIsABijectionOntoThePatchInEveryOrientation) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 3);
    for (uint32_t depth = 0; depth <= 3; ++depth) {
        const uint32_t n = 1u << depth;
        for (uint32_t orientation = 0; orientation < 4; ++orientation) {
            const Grid grid{geometry->Level(depth), geometry->Level(0), 4, orientation, depth, n, n * n};
            std::set<uint32_t> quads;
            for (uint32_t y = 0; y < n; ++y)
                for (uint32_t x = 0; x < n; ++x) quads.insert(grid.Face(x, y));
            ASSERT_EQ(quads.size(), n * n);
            EXPECT_EQ(*quads.begin(), 4 * n * n);
            EXPECT_EQ(*quads.rbegin(), 5 * n * n - 1);
        }
    }
}

TEST(GridTest, AWalkStartsOnItsQuadInEveryOrientation) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 2);
    for (uint32_t quad = 0; quad < geometry->Level(2)->m_faceCount; ++quad)
        for (uint32_t orientation = 0; orientation < 4; ++orientation) {
            const GridFace cursor = GridFace::StartAt(geometry->Level(2), geometry->Level(0), 2, quad, orientation);
            ASSERT_EQ(cursor.Face(), quad);
            // The contributed vertex is the quad's corner of that orientation.
            ASSERT_EQ(cursor.Vertex(), geometry->Level(2)->FaceCorners(quad)[orientation]);
        }
}

TEST(GridTest, WalksCrossIntoTheNeighbouringPatchInAStraightLine) {
    // On a subdivided flat grid every vertex stays on the grid, so a straight walk moves by
    // exactly one step of 1 / n each time, until it stops at the open border.
    auto geometry = shapes::Subdivided(shapes::Plane(4, 4), 2);
    tarnix::SubdivisionLevel* level = geometry->Level(2);
    const float step = 0.25f;
    const tarnix::Vector directions[4] = {{0, -1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}};
    const uint32_t startPatch = 5;  // column 1, row 1 of the 4 x 4 base grid
    for (uint32_t orientation = 0; orientation < 4; ++orientation) {
        GridFace cursor = GridFace::StartAt(level, geometry->Level(0), 2, startPatch * 16 + 5, orientation);
        tarnix::Vector previous = level->VertexPosition(cursor.Vertex());
        uint32_t moves = 0, patchChanges = 0;
        for (int i = 0; i < 20; ++i) {
            const uint32_t patch = cursor.m_patch;
            cursor.Step();
            patchChanges += cursor.m_patch != patch;
            const tarnix::Vector now = level->VertexPosition(cursor.Vertex());
            if (now == previous) break;  // reached the open border
            ASSERT_TRUE(test_support::Near(now - previous, directions[orientation] * step, 1e-5f)) << orientation;
            previous = now;
            ++moves;
        }
        EXPECT_GE(patchChanges, 1u) << "the walk left its patch";
        EXPECT_GE(moves, 4u);
        // At the border further steps revisit the same quad.
        const uint32_t face = cursor.Face();
        cursor.Step();
        EXPECT_EQ(cursor.Face(), face);
    }
}

// The corners two quads of a level share.
size_t SharedCorners(const tarnix::Mesh& level, uint32_t a, uint32_t b) {
    const std::set<uint32_t> corners(level.FaceCorners(a), level.FaceCorners(a) + 4);
    return std::count_if(level.FaceCorners(b), level.FaceCorners(b) + 4,
                         [&](uint32_t c) { return corners.count(c) != 0; });
}

TEST(GridTest, AStepAcrossASideEntersTheNeighbourAtItsNearRowAndWalksOn) {
    // Four quads glued into a square tube (a band), subdivided twice: each patch is 4 x 4 quads.
    tarnix::PolygonMesh band;
    band.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    band.faceVertices = {0, 1, 2, 3, 3, 2, 6, 7, 7, 6, 5, 4, 4, 5, 1, 0};
    band.faceSizes.assign(4, 4);
    auto geometry = shapes::Subdivided(band, 2);
    tarnix::SubdivisionLevel* level = geometry->Level(2);
    const uint32_t n = 4;
    // On the row along side 2 of patch 0, which patch 1 shares.
    const Grid patch0{level, geometry->Level(0), 0, 2, 2, n, n * n};
    for (uint32_t column = 0; column < n; ++column) {
        GridFace cursor = GridFace::StartAt(level, geometry->Level(0), 2, patch0.Face(column, 0), 2);
        ASSERT_EQ(cursor.m_y, 0u);
        // Across side 2 into the next face of the band, in the row along that side, then on a
        // row at a time; each step to the quad across a side.
        for (uint32_t step = 1; step <= 2; ++step) {
            SCOPED_TRACE(testing::Message() << "column " << column << ", step " << step);
            const uint32_t previous = cursor.Face();
            cursor.Step();
            EXPECT_EQ(cursor.m_patch, 1u);
            EXPECT_EQ(cursor.m_y, n - step);
            EXPECT_EQ(SharedCorners(*level, previous, cursor.Face()), 2u);
        }
    }
}

// The vertices of a patch's vertex grid.
std::set<uint32_t> PatchVertices(const tarnix::Mesh& level, uint32_t patch, uint32_t depth) {
    const uint32_t n = 1u << depth;
    std::set<uint32_t> vertices;
    for (uint32_t entry : tarnix::SubdivisionLevel::QuadVertexIndexTable(depth))
        vertices.insert(level.m_cornerIndices[4 * patch * n * n + entry]);
    return vertices;
}

struct Neighbours : tarnix::AdjacentVertexEnumerator {
    std::set<uint32_t> vertices;
    void Operator(uint32_t vertex, uint32_t) override { vertices.insert(vertex); }
};

TEST(GridTest, RingCellsHoldTheNeighboursAcrossEachSide) {
    for (const auto& mesh : {shapes::Cube(), shapes::Plane(2, 2)}) {
        auto geometry = shapes::Subdivided(mesh, 2);
        const tarnix::SubdivisionLevel& level = *geometry->Level(2);
        const uint32_t depth = 2, n = 4, m = n + 3;
        const auto& vertexTable = tarnix::SubdivisionLevel::QuadVertexIndexTable(depth);
        for (uint32_t patch = 0; patch < geometry->Level(0)->m_faceCount; ++patch) {
            // Vertex ids in the ring grid: the patch's own, then the ring's from the fill.
            std::vector<uint32_t> cells(m * m, tarnix::Mesh::kNone);
            for (uint32_t y = 0; y <= n; ++y)
                for (uint32_t x = 0; x <= n; ++x)
                    cells[(y + 1) * m + x + 1] =
                        level.m_cornerIndices[4 * patch * n * n + vertexTable[y * (n + 1) + x]];
            std::vector<uint32_t> openCopies;
            grid_detail::VisitRing(
                level, *geometry->Level(0), patch, depth, [&](uint32_t cell, uint32_t vertex) { cells[cell] = vertex; },
                [&](uint32_t cell, uint32_t inside) {
                    cells[cell] = cells[inside];
                    openCopies.push_back(cell);
                });
            const std::set<uint32_t> own = PatchVertices(level, patch, depth);
            for (uint32_t k = 0; k < 4; ++k) {
                const grid_detail::RingSide side = grid_detail::RingSideOf(k, m);
                for (uint32_t i = 0; i <= n; ++i) {
                    const uint32_t cell = side.firstCell + int32_t(i) * side.cellStep;
                    const uint32_t inside = cells[cell + side.insideStep];
                    if (std::count(openCopies.begin(), openCopies.end(), cell)) {
                        EXPECT_EQ(cells[cell], inside);
                        continue;
                    }
                    Neighbours neighbours;
                    level.EnumerateAdjacentVertices(&neighbours, inside, 0);
                    ASSERT_TRUE(neighbours.vertices.count(cells[cell])) << "next to the edge vertex";
                    ASSERT_FALSE(own.count(cells[cell])) << "outside the patch";
                }
            }
        }
    }
}

}  // namespace
