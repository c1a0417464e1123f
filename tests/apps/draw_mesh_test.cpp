// DrawMesh writes the arrays a program draws from equal to the mesh and names only the
// chunks a change reached: after vertices in one corner move, every draw vertex written again
// holds its mesh vertex's position, normal and freeze, and far less than the whole array
// changed.

#include "draw_mesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>

#include "builtin_shapes.h"
#include "tarnix/geometry.h"
#include "tarnix/subdivision_level.h"

namespace {

using corvane_apps::DrawMesh;

// The whole index array as draw vertices: each run's indices count from its first vertex.
std::vector<uint32_t> Indices(const DrawMesh& drawMesh, bool edges) {
    std::vector<uint32_t> indices;
    size_t run = 0;
    drawMesh.WriteIndices(edges, [&](const std::vector<uint16_t>& piece, size_t at) {
        EXPECT_EQ(at, indices.size());
        const DrawMesh::Run& written = drawMesh.Runs()[run++];
        EXPECT_EQ(piece.size(), edges ? written.edgeIndices : written.triangleIndices);
        for (uint16_t index : piece) indices.push_back(written.firstVertex + index);
    });
    EXPECT_EQ(run, drawMesh.Runs().size());
    EXPECT_EQ(indices.size(), edges ? drawMesh.EdgeIndexCount() : drawMesh.TriangleIndexCount());
    return indices;
}

// The draw vertices hold exactly the mesh: every draw vertex its vertex's data.
void ExpectMatchesMesh(const std::vector<corvane_apps::DrawVertex>& vertices, const tarnix::Mesh& mesh,
                       const std::vector<uint32_t>& meshVertexOf) {
    ASSERT_EQ(vertices.size(), meshVertexOf.size());
    for (size_t d = 0; d < meshVertexOf.size(); ++d) {
        const corvane_apps::DrawVertex& vertex = vertices[d];
        const uint32_t v = meshVertexOf[d];
        ASSERT_EQ(vertex.position[0], mesh.m_vertices[v].position[0]) << d;
        ASSERT_EQ(vertex.position[2], mesh.m_vertices[v].position[2]) << d;
        ASSERT_EQ(vertex.normal[1], mesh.m_normals[v].y) << d;
        ASSERT_EQ(vertex.normal[3] != 0, (mesh.m_vertices[v].freeze & 0x7F) != 0) << d;
    }
}

// Which mesh vertex each draw vertex stands for, read back through the triangles (every face
// its two).
std::vector<uint32_t> MeshVertexOf(const DrawMesh& drawMesh, const tarnix::Mesh& mesh) {
    std::vector<uint32_t> of(drawMesh.VertexCount(), UINT32_MAX);
    const std::vector<uint32_t> allTriangles = Indices(drawMesh, false);
    EXPECT_EQ(allTriangles.size(), size_t(mesh.m_faceCount) * 6);
    for (uint32_t face = 0; face < mesh.m_faceCount; ++face) {
        const uint32_t* corners = mesh.FaceCorners(face);
        const uint32_t* triangles = &allTriangles[size_t(face) * 6];
        for (uint32_t k : {0u, 1u, 2u}) of[triangles[k]] = corners[k];
        of[triangles[5]] = corners[3];
    }
    return of;
}

TEST(DrawMesh, SendsOnlyTheChunksAChangeReachedAndStaysEqualToTheMesh) {
    auto cube = shapes::Subdivided(shapes::Cube(), 6);  // 24576 quads
    tarnix::SubdivisionLevel& level = *cube->HighestLevel();
    DrawMesh* drawMesh = DrawMesh::AttachTo(level);
    ASSERT_EQ(drawMesh->ChunkCount(), level.m_faceCount / DrawMesh::kFacesPerChunk);
    const std::vector<uint32_t> meshVertexOf = MeshVertexOf(*drawMesh, level);
    ASSERT_EQ(std::count(meshVertexOf.begin(), meshVertexOf.end(), UINT32_MAX), 0);
    // Every mesh edge appears once (2 per quad on a closed quad mesh), between the draw
    // vertices of its two ends.
    const std::vector<uint32_t> edges = Indices(*drawMesh, true);
    ASSERT_EQ(edges.size(), size_t(level.m_faceCount) * 2 * 2);
    std::set<std::pair<uint32_t, uint32_t>> meshEdges;
    for (size_t e = 0; e < edges.size(); e += 2)
        meshEdges.insert(std::minmax(meshVertexOf[edges[e]], meshVertexOf[edges[e + 1]]));
    EXPECT_EQ(meshEdges.size(), edges.size() / 2);
    // What a program sends first: every vertex.
    std::vector<corvane_apps::DrawVertex> card(drawMesh->VertexCount());
    drawMesh->WriteVertices(0, drawMesh->VertexCount(), card.data());
    ExpectMatchesMesh(card, level, meshVertexOf);

    // Push the vertices near one cube corner outwards and freeze them, as a dab would.
    uint32_t corner = 0;
    for (uint32_t v = 0; v < level.VertexCount(); ++v) {
        const tarnix::Vector p = level.VertexPosition(v), c = level.VertexPosition(corner);
        if (p.x + p.y + p.z > c.x + c.y + c.z) corner = v;
    }
    const tarnix::Vector cornerPosition = level.VertexPosition(corner);
    tarnix::AxisAlignedBoundingBox changed;
    for (uint32_t v = 0; v < level.VertexCount(); ++v) {
        const tarnix::Vector p = level.VertexPosition(v);
        if ((p - cornerPosition).Length() > 0.2f) continue;
        changed.Extend(p);
        level.SetVertexPosition(v, p * 1.1f);
        level.SetFreeze(v, 100);
        changed.Extend(p * 1.1f);
    }
    level.RecomputeNormals();
    drawMesh->MarkArea(changed);
    bool rebuilt = true;
    const std::vector<DrawMesh::Range> ranges = drawMesh->Refresh(rebuilt);
    EXPECT_FALSE(rebuilt);
    uint32_t sent = 0;
    for (const DrawMesh::Range& range : ranges) {
        drawMesh->WriteVertices(range.first, range.count, card.data() + range.first);
        sent += range.count;
    }
    EXPECT_GT(sent, 0u);
    // A corner touches three of the six faces' chunks.
    EXPECT_LE(sent, drawMesh->VertexCount() / 2 + 1);
    ExpectMatchesMesh(card, level, meshVertexOf);

    // A vertex report names the chunk of its quad; nothing else is sent. A patch report
    // (without extent) leaves the choice to the changed areas.
    drawMesh->Notify(0, 4 * DrawMesh::kFacesPerChunk + 7, 4 * (4 * DrawMesh::kFacesPerChunk + 7));
    EXPECT_EQ(drawMesh->PendingChunks(), 0u);
    drawMesh->Notify(0, 5 * DrawMesh::kFacesPerChunk + 7, DrawMesh::kVertexReport);
    const std::vector<DrawMesh::Range> notified = drawMesh->Refresh(rebuilt);
    ASSERT_EQ(notified.size(), 1u);
    EXPECT_LT(notified[0].count, 2 * drawMesh->VertexCount() / drawMesh->ChunkCount());
    EXPECT_EQ(drawMesh->PendingChunks(), 0u);

    // New faces make the arrays anew.
    const uint32_t corners[4] = {0, 1, 2, 3};
    level.AppendFace(corners, tarnix::Mesh::kFaceSculptable);
    level.TopologyChanged();
    drawMesh->Refresh(rebuilt);
    EXPECT_TRUE(rebuilt);
    EXPECT_EQ(Indices(*drawMesh, false).size(), size_t(level.m_faceCount) * 6);
}

// Disjoint quads give every chunk its most draw vertices (four a face): full runs still count
// their indices in 16 bits, and every index reads back the vertex it names.
TEST(DrawMesh, RunsOfTheMostVerticesKeepSixteenBitIndices) {
    tarnix::PolygonMesh quads;
    constexpr uint32_t kQuads = 20 * DrawMesh::kFacesPerChunk;
    for (uint32_t q = 0; q < kQuads; ++q) {
        const float x = float(q % 256), y = float(q / 256);
        for (const auto& [dx, dy] : {std::pair{0.0f, 0.0f}, {0.5f, 0.0f}, {0.5f, 0.5f}, {0.0f, 0.5f}}) {
            quads.faceVertices.push_back(uint32_t(quads.positions.size()));
            quads.positions.push_back({x + dx, y + dy, 0.0f});
        }
        quads.faceSizes.push_back(4);
    }
    auto geometry = tarnix::Geometry::FromPolygons(quads);
    tarnix::SubdivisionLevel& level = *geometry->LowestLevel();
    DrawMesh* drawMesh = DrawMesh::AttachTo(level);
    ASSERT_EQ(drawMesh->VertexCount(), 4 * kQuads);
    ASSERT_EQ(drawMesh->Runs().size(), (20 + DrawMesh::kChunksPerRun - 1) / DrawMesh::kChunksPerRun);
    for (size_t r = 1; r < drawMesh->Runs().size(); ++r)
        EXPECT_EQ(drawMesh->Runs()[r].firstVertex, r * DrawMesh::kChunksPerRun * 4 * DrawMesh::kFacesPerChunk);
    const std::vector<uint32_t> meshVertexOf = MeshVertexOf(*drawMesh, level);
    std::vector<corvane_apps::DrawVertex> card(drawMesh->VertexCount());
    drawMesh->WriteVertices(0, drawMesh->VertexCount(), card.data());
    ExpectMatchesMesh(card, level, meshVertexOf);
    EXPECT_EQ(Indices(*drawMesh, true).size(), size_t(kQuads) * 8);
    DrawMesh::Detach(drawMesh);
}

}  // namespace
