// DrawMesh keeps the arrays a program draws from equal to the mesh while sending only the
// chunks a change reached: after vertices in one corner move, every draw vertex again holds
// its mesh vertex's position, normal and freeze, and far less than the whole array changed.

#include <gtest/gtest.h>

#include <set>

#include "builtin_shapes.h"
#include "draw_mesh.h"
#include "tarnix/subdivision_level.h"

namespace {

using corvane_apps::DrawMesh;

// The draw arrays hold exactly the mesh: every draw vertex its vertex's data, every face its
// triangles, every mesh edge once.
void ExpectMatchesMesh(const DrawMesh& drawMesh, const tarnix::Mesh& mesh, const std::vector<uint32_t>& meshVertexOf) {
    ASSERT_EQ(drawMesh.Vertices().size(), meshVertexOf.size());
    for (size_t d = 0; d < meshVertexOf.size(); ++d) {
        const corvane_apps::DrawVertex& vertex = drawMesh.Vertices()[d];
        const uint32_t v = meshVertexOf[d];
        ASSERT_EQ(vertex.position[0], mesh.m_vertices[v].position[0]) << d;
        ASSERT_EQ(vertex.position[2], mesh.m_vertices[v].position[2]) << d;
        ASSERT_EQ(vertex.normal[1], mesh.m_normals[v].y) << d;
        ASSERT_EQ(vertex.normal[3] != 0, (mesh.m_vertices[v].freeze & 0x7F) != 0) << d;
    }
}

// Which mesh vertex each draw vertex stands for, read back through the triangles.
std::vector<uint32_t> MeshVertexOf(const DrawMesh& drawMesh, const tarnix::Mesh& mesh) {
    std::vector<uint32_t> of(drawMesh.Vertices().size(), UINT32_MAX);
    for (uint32_t face = 0; face < mesh.m_faceCount; ++face) {
        const uint32_t* corners = mesh.FaceCorners(face);
        const uint32_t* triangles = &drawMesh.Triangles()[size_t(face) * 6];
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
    // Each face's edges appear once: 2 per quad on a closed quad mesh.
    EXPECT_EQ(drawMesh->Edges().size(), size_t(level.m_faceCount) * 2 * 2);

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
    for (const DrawMesh::Range& range : ranges) sent += range.count;
    EXPECT_GT(sent, 0u);
    // A corner touches three of the six faces' chunks.
    EXPECT_LE(sent, drawMesh->Vertices().size() / 2 + 1);
    ExpectMatchesMesh(*drawMesh, level, meshVertexOf);

    // A vertex report names the chunk of its quad; nothing else is sent. A patch report
    // (without extent) leaves the choice to the changed areas.
    drawMesh->Notify(0, 4 * DrawMesh::kFacesPerChunk + 7, 4 * (4 * DrawMesh::kFacesPerChunk + 7));
    EXPECT_EQ(drawMesh->PendingChunks(), 0u);
    drawMesh->Notify(0, 5 * DrawMesh::kFacesPerChunk + 7, DrawMesh::kVertexReport);
    const std::vector<DrawMesh::Range> notified = drawMesh->Refresh(rebuilt);
    ASSERT_EQ(notified.size(), 1u);
    EXPECT_LT(notified[0].count, 2 * drawMesh->Vertices().size() / drawMesh->ChunkCount());
    EXPECT_EQ(drawMesh->PendingChunks(), 0u);

    // New faces make the arrays anew.
    const uint32_t corners[4] = {0, 1, 2, 3};
    level.AppendFace(corners, tarnix::Mesh::kFaceSculptable);
    level.TopologyChanged();
    drawMesh->Refresh(rebuilt);
    EXPECT_TRUE(rebuilt);
    EXPECT_EQ(drawMesh->Triangles().size(), size_t(level.m_faceCount) * 6);
}

}  // namespace
