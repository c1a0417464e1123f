#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "builtin_shapes.h"
#include "tarnix/geometry.h"
#include "tarnix/mesh_change.h"
#include "tarnix/sculpt_layer.h"

namespace {

TEST(HierarchyTest, QuadLevelsQuadrupleAndChildrenKeepTheirParentsOrientation) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 3);
    ASSERT_EQ(geometry->LevelCount(), 4u);
    EXPECT_EQ(geometry->LowestLevel(), geometry->Level(0));
    EXPECT_EQ(geometry->HighestLevel(), geometry->Level(3));
    for (uint32_t l = 1; l < 4; ++l) {
        const tarnix::SubdivisionLevel* parent = geometry->Level(l - 1);
        const tarnix::SubdivisionLevel* level = geometry->Level(l);
        ASSERT_EQ(level->m_faceCount, 4 * parent->m_faceCount);
        EXPECT_EQ(level->m_faceKind, tarnix::Mesh::kQuads);
        EXPECT_EQ(level->Index(), l);
        for (uint32_t f = 0; f < parent->m_faceCount; ++f) {
            const uint32_t* child[4];
            for (uint32_t k = 0; k < 4; ++k) child[k] = level->FaceCorners(4 * f + k);
            for (uint32_t k = 0; k < 4; ++k) {
                // The face point is every child's corner k + 2; the point of edge k is child
                // k's corner k + 1 and child k + 1's corner k.
                ASSERT_EQ(child[k][(k + 2) % 4], child[0][2]);
                ASSERT_EQ(child[k][(k + 1) % 4], child[(k + 1) % 4][k]);
                // Child k's corner k is the one nearest the parent's corner k.
                const tarnix::Vector corner = parent->VertexPosition(parent->FaceCorners(f)[k]);
                const float own = (level->VertexPosition(child[k][k]) - corner).LengthSquared();
                for (uint32_t j = 1; j < 4; ++j)
                    ASSERT_LT(own, (level->VertexPosition(child[k][(k + j) % 4]) - corner).LengthSquared());
            }
        }
    }
}

TEST(HierarchyTest, IndexTablesAreInversePermutationsFollowingTheChildOrder) {
    for (uint32_t depth = 0; depth <= 4; ++depth) {
        const uint32_t n = 1u << depth;
        const auto& table = tarnix::SubdivisionLevel::QuadIndexTable(depth);
        const auto& inverse = tarnix::SubdivisionLevel::InvertedQuadIndexTable(depth);
        const auto& vertices = tarnix::SubdivisionLevel::QuadVertexIndexTable(depth);
        ASSERT_EQ(table.Count(), n * n);
        ASSERT_EQ(vertices.Count(), (n + 1) * (n + 1));
        for (uint32_t cell = 0; cell < n * n; ++cell) ASSERT_EQ(inverse[table[cell]], cell);
        if (depth == 1) {
            EXPECT_EQ(table[0], 0u);
            EXPECT_EQ(table[1], 1u);
            EXPECT_EQ(table[3], 2u);
            EXPECT_EQ(table[2], 3u);
        }
        // The vertex grid's corners are the patch corners: corner k of the corner quads.
        EXPECT_EQ(vertices[0], 4 * table[0] + 0);
        EXPECT_EQ(vertices[n], 4 * table[n - 1] + 1);
        EXPECT_EQ(vertices[(n + 1) * (n + 1) - 1], 4 * table[n * n - 1] + 2);
        EXPECT_EQ(vertices[(n + 1) * n], 4 * table[(n - 1) * n] + 3);
    }
}

TEST(HierarchyTest, VertexGridOfAPatchIsTheGridOfItsDescendants) {
    // On a flat plane the subdivided positions form an exact grid of step 1 / n.
    auto geometry = shapes::Subdivided(shapes::Plane(3, 2), 3);
    const tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    const uint32_t depth = 3, n = 8;
    const auto& vertices = tarnix::SubdivisionLevel::QuadVertexIndexTable(depth);
    for (uint32_t patch = 0; patch < 6; ++patch) {
        const tarnix::Vector origin(float(patch % 3), float(patch / 3), 0.0f);
        for (uint32_t y = 0; y <= n; ++y)
            for (uint32_t x = 0; x <= n; ++x) {
                const uint32_t vertex =
                    level->m_cornerIndices[4 * patch * n * n + vertices[y * (n + 1) + x]];
                const tarnix::Vector p = level->VertexPosition(vertex);
                ASSERT_NEAR(p.x, origin.x + float(x) / n, 1e-5f);
                ASSERT_NEAR(p.y, origin.y + float(y) / n, 1e-5f);
            }
    }
}

TEST(HierarchyTest, MixedPolygonsGiveATriangleBaseAndQuadLevels) {
    auto geometry = shapes::Subdivided(shapes::Pyramid(), 2);
    const tarnix::SubdivisionLevel* base = geometry->Level(0);
    EXPECT_EQ(base->m_faceKind, tarnix::Mesh::kTriangles);
    EXPECT_EQ(base->m_faceCount, 2u + 4u) << "the quad base becomes two triangles";
    EXPECT_EQ(geometry->Level(1)->m_faceKind, tarnix::Mesh::kQuads);
    EXPECT_EQ(geometry->Level(1)->m_faceCount, 4u + 4 * 3u) << "refined from the polygons";
    EXPECT_EQ(geometry->Level(2)->m_faceCount, 4 * 16u);
}

TEST(HierarchyTest, SubdividingCarriesSculptedPositionsUp) {
    auto plain = shapes::Subdivided(shapes::Cube(), 1);
    auto sculpted = shapes::Subdivided(shapes::Cube(), 1);
    tarnix::SubdivisionLevel* top = sculpted->HighestLevel();
    const uint32_t moved = top->FaceCorners(0)[2];  // the first face's centre point
    top->SetVertexPosition(moved, top->VertexPosition(moved) * 3.0f);
    plain->Subdivide();
    sculpted->Subdivide();
    const tarnix::Vector a = plain->HighestLevel()->VertexPosition(moved);
    const tarnix::Vector b = sculpted->HighestLevel()->VertexPosition(moved);
    EXPECT_GT((b - a).Length(), 0.3f);
}

// A stroke by hand: record, move, commit.
void MoveVertices(tarnix::SubdivisionLevel* level, const std::vector<uint32_t>& vertices, bool layer) {
    tarnix::MeshChange* change = level->CurrentChange();
    for (uint32_t v : vertices) {
        ASSERT_NE(change->Add_uncached(v, 0, &level->m_vertices[v], layer, 0.0f), nullptr);
        const tarnix::Vector target = level->VertexPosition(v) + tarnix::Vector(0.1f, 0.2f, -0.3f);
        if (layer) level->ActiveLayer()->SetPosition(v, v, level->ActiveLayer()->Position(v) +
                                                           tarnix::Vector(0.1f, 0.2f, -0.3f), true);
        else level->SetVertexPosition(v, target);
        level->m_normals[v].x = int16_t(v);
    }
    level->EndOfChange(true, false);
}

std::vector<char> Snapshot(const tarnix::SubdivisionLevel* level) {
    // Per vertex: position (12 bytes), packed normal (8), layer offset (12).
    std::vector<char> bytes(level->VertexCount() * 32);
    for (uint32_t v = 0; v < level->VertexCount(); ++v) {
        std::memcpy(&bytes[v * 32], level->m_vertices[v].position, 12);
        std::memcpy(&bytes[v * 32 + 12], &level->m_normals[v], 8);
        const tarnix::Vector offset =
            level->LayerCount() ? level->Layer(0)->Offset(v) : tarnix::Vector();
        std::memcpy(&bytes[v * 32 + 20], &offset, 12);
    }
    return bytes;
}

TEST(HierarchyTest, UndoAndRedoOfAChangeAreBitExact) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 2);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    level->AddLayer(QStringLiteral("detail"))->SetStrength(0.5f);
    level->SetActiveLayer(0);
    const auto original = Snapshot(level);
    MoveVertices(level, {1, 5, 9, 40}, false);
    MoveVertices(level, {5, 6, 7}, true);
    const auto changed = Snapshot(level);
    ASSERT_NE(changed, original);
    ASSERT_EQ(geometry->UndoCount(), 2u);

    EXPECT_TRUE(geometry->Undo());
    EXPECT_TRUE(geometry->Undo());
    EXPECT_FALSE(geometry->Undo());
    EXPECT_EQ(Snapshot(level), original);
    EXPECT_TRUE(geometry->Redo());
    EXPECT_TRUE(geometry->Redo());
    EXPECT_EQ(Snapshot(level), changed);

    geometry->Undo();
    MoveVertices(level, {2}, false);
    EXPECT_EQ(geometry->RedoCount(), 0u) << "a new change drops what could be redone";
}

TEST(HierarchyTest, TheUndoHistoryKeepsWithinItsBudgetDroppingTheOldestFirst) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 3);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    std::vector<uint32_t> all(level->VertexCount());
    for (uint32_t v = 0; v < level->VertexCount(); ++v) all[v] = v;
    const uint64_t saved = tarnix::Geometry::UndoBudget();
    // Room for three whole-level changes, not four.
    MoveVertices(level, all, false);
    const uint64_t oneChange = geometry->UndoBytes();
    ASSERT_GE(oneChange, level->VertexCount() * sizeof(tarnix::StoredVertexInfo));
    tarnix::Geometry::SetUndoBudget(oneChange * 3 + oneChange / 2);
    std::vector<std::vector<char>> states{Snapshot(level)};
    for (int i = 0; i < 5; ++i) {
        MoveVertices(level, all, false);
        states.push_back(Snapshot(level));
    }
    EXPECT_EQ(geometry->UndoCount(), 3u);
    EXPECT_LE(geometry->UndoBytes(), tarnix::Geometry::UndoBudget());
    // The kept changes still undo exactly, to the state after the third of the six.
    for (size_t back = 1; back <= 3; ++back) {
        ASSERT_TRUE(geometry->Undo());
        EXPECT_EQ(Snapshot(level), states[states.size() - 1 - back]) << back;
    }
    EXPECT_FALSE(geometry->Undo()) << "the oldest went";

    // The newest change stays even when it alone passes the budget.
    tarnix::Geometry::SetUndoBudget(1);
    MoveVertices(level, all, false);
    EXPECT_EQ(geometry->UndoCount(), 1u);
    tarnix::Geometry::SetUndoBudget(saved);
}

TEST(HierarchyTest, LayersAddTheirOffsetTimesTheirStrength) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 1);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    EXPECT_EQ(level->ActiveLayer(), nullptr);
    tarnix::SculptLayer* layer = level->AddLayer(QStringLiteral("l"));
    level->SetActiveLayer(0);
    EXPECT_EQ(level->ActiveLayer(), layer);
    const tarnix::Vector base = level->VertexPosition(3);
    layer->SetStrength(0.5f);
    layer->SetPosition(3, 3, layer->Position(3) + tarnix::Vector(0, 0, 2), true);
    EXPECT_FLOAT_EQ(level->VertexPosition(3).z, base.z + 1.0f);
    EXPECT_FLOAT_EQ(layer->Position(3).z, base.z + 2.0f) << "the layer at full strength";
    layer->SetStrength(0.0f);
    EXPECT_FLOAT_EQ(level->VertexPosition(3).z, base.z);
    layer->SetLocked(true);
    EXPECT_FALSE(layer->AcceptsFace(0));
}

}  // namespace
