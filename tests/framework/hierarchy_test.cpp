#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <numeric>
#include <set>
#include <thread>
#include <vector>

#include "builtin_shapes.h"
#include "caught_error.h"
#include "tarnix/block.h"
#include "tarnix/geometry.h"
#include "tarnix/mesh_change.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/stream.h"
#include "vector_match.h"

namespace {

TEST(HierarchyTest, QuadLevelsQuadrupleAndChildrenKeepTheirParentsOrientation) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 3);
    ASSERT_EQ(geometry->LevelCount(), 4u);
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

// The face tables are inverse permutations in the child order; the vertex table reads a
// patch's corners as the grid of its descendants.
TEST(HierarchyTest, IndexTablesFollowTheChildOrderAndReadAPatchAsTheGridOfItsDescendants) {
    // On a flat plane the subdivided positions form an exact grid of step 1 / n.
    auto geometry = shapes::Subdivided(shapes::Plane(3, 2), 4);
    for (uint32_t depth = 0; depth <= 4; ++depth) {
        const tarnix::SubdivisionLevel* level = geometry->Level(depth);
        const uint32_t n = 1u << depth;
        const auto& table = tarnix::SubdivisionLevel::QuadIndexTable(depth);
        const auto& inverse = tarnix::SubdivisionLevel::InvertedQuadIndexTable(depth);
        ASSERT_EQ(table.Count(), n * n);
        for (uint32_t cell = 0; cell < n * n; ++cell) ASSERT_EQ(inverse[table[cell]], cell);
        if (depth == 1) {
            EXPECT_EQ(std::vector<uint32_t>(table.begin(), table.end()), (std::vector<uint32_t>{0, 1, 3, 2}));
        }
        const auto& vertices = tarnix::SubdivisionLevel::QuadVertexIndexTable(depth);
        ASSERT_EQ(vertices.Count(), (n + 1) * (n + 1));
        for (uint32_t patch = 0; patch < 6; ++patch) {
            const tarnix::Vector origin(float(patch % 3), float(patch / 3), 0.0f);
            for (uint32_t y = 0; y <= n; ++y)
                for (uint32_t x = 0; x <= n; ++x) {
                    const uint32_t vertex = level->m_cornerIndices[4 * patch * n * n + vertices[y * (n + 1) + x]];
                    ASSERT_TRUE(test_support::Near(level->VertexPosition(vertex),
                                                   origin + tarnix::Vector(float(x), float(y), 0) / float(n), 1e-5f))
                        << "depth " << depth << " patch " << patch << " at " << x << ", " << y;
                }
        }
    }
}

// A stroke by hand: record, move, commit.
void MoveVertices(tarnix::SubdivisionLevel* level, const std::vector<uint32_t>& vertices, bool layer) {
    tarnix::MeshChange* change = level->CurrentChange();
    for (uint32_t v : vertices) {
        ASSERT_NE(change->Add_uncached(v, 0, &level->m_vertices[v], layer, 0.0f), nullptr);
        const tarnix::Vector target = level->VertexPosition(v) + tarnix::Vector(0.1f, 0.2f, -0.3f);
        if (layer)
            level->ActiveLayer()->SetPosition(
                v, v, level->ActiveLayer()->Position(v) + tarnix::Vector(0.1f, 0.2f, -0.3f), true);
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
        const tarnix::Vector offset = level->LayerCount() ? level->Layer(0)->Offset(v) : tarnix::Vector();
        std::memcpy(&bytes[v * 32 + 20], &offset, 12);
    }
    return bytes;
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

std::vector<std::vector<char>> Snapshots(const tarnix::Geometry& geometry) {
    std::vector<std::vector<char>> levels;
    for (uint32_t l = 0; l < geometry.LevelCount(); ++l) levels.push_back(Snapshot(geometry.Level(l)));
    return levels;
}

// Levels `from` + 1 and up of `followed` against `reference`, plus `detail` per vertex.
void ExpectLevelsMatch(const tarnix::Geometry& followed, const tarnix::Geometry& reference, uint32_t from,
                       const std::vector<tarnix::Vector>& detail = {}) {
    for (uint32_t l = from + 1; l < followed.LevelCount(); ++l) {
        const tarnix::SubdivisionLevel* a = followed.Level(l);
        const tarnix::SubdivisionLevel* b = reference.Level(l);
        ASSERT_EQ(a->VertexCount(), b->VertexCount());
        for (uint32_t v = 0; v < a->VertexCount(); ++v) {
            const tarnix::Vector extra =
                l + 1 == followed.LevelCount() && !detail.empty() ? detail[v] : tarnix::Vector();
            ASSERT_LT((a->VertexPosition(v) - (b->VertexPosition(v) + extra)).Length(), 1e-5f)
                << "level " << l << " vertex " << v;
        }
    }
}

TEST(HierarchyTest, LevelsAboveFollowALowerLevelKeepingTheirDetailAndUndoRestoresEveryLevel) {
    // Refinement is linear: a level that followed a move of level 1 is where a refinement of
    // the moved level 1 puts it, plus the detail sculpted on it before.
    auto geometry = shapes::Subdivided(shapes::Plane(6, 6), 3);
    tarnix::SubdivisionLevel* top = geometry->HighestLevel();
    const uint32_t under = top->FaceCorners(0)[0];  // where level 1's first corner lies
    uint32_t far = 0;
    for (uint32_t v = 0; v < top->VertexCount(); ++v)
        if ((top->VertexPosition(v) - top->VertexPosition(under)).Length() >
            (top->VertexPosition(far) - top->VertexPosition(under)).Length())
            far = v;
    MoveVertices(top, {under, far}, false);
    std::vector<tarnix::Vector> detail(top->VertexCount());
    detail[under] = detail[far] = tarnix::Vector(0.1f, 0.2f, -0.3f);
    const auto before = Snapshots(*geometry);

    tarnix::SubdivisionLevel* level1 = geometry->Level(1);
    const uint32_t corner = level1->FaceCorners(0)[0];
    MoveVertices(level1, {corner, level1->FaceCorners(0)[2]}, false);
    ASSERT_EQ(geometry->UndoCount(), 2u) << "the levels above follow within the same step";
    ASSERT_EQ(geometry->LatestChange()->FollowerCount(), 2u);

    auto reference = shapes::Subdivided(shapes::Plane(6, 6), 1);
    MoveVertices(reference->HighestLevel(), {corner, level1->FaceCorners(0)[2]}, false);
    reference->Subdivide(2);
    ExpectLevelsMatch(*geometry, *reference, 1, detail);
    // Far from the move level 3 is untouched, bit for bit.
    EXPECT_EQ(std::memcmp(top->m_vertices[far].position, &before[3][far * 32], 12), 0);
    uint32_t moved = 0;
    for (uint32_t v = 0; v < top->VertexCount(); ++v)
        moved += std::memcmp(top->m_vertices[v].position, &before[3][v * 32], 12) != 0;
    EXPECT_GT(moved, 0u);
    EXPECT_LT(moved, top->VertexCount() / 4) << "only what the move reaches";

    const auto after = Snapshots(*geometry);
    ASSERT_TRUE(geometry->Undo());
    EXPECT_EQ(Snapshots(*geometry), before) << "positions and normals of every level, bit for bit";
    ASSERT_TRUE(geometry->Redo());
    EXPECT_EQ(Snapshots(*geometry), after);
}

TEST(HierarchyTest, ATriangleBaseCarriesUpThroughItsPolygonsAndARewiredLevelStopsTheCarrying) {
    auto geometry = shapes::Subdivided(shapes::Pyramid(), 2);
    MoveVertices(geometry->Level(0), {0, 3}, false);
    auto reference = shapes::Subdivided(shapes::Pyramid(), 0);
    MoveVertices(reference->HighestLevel(), {0, 3}, false);
    reference->Subdivide(2);
    ExpectLevelsMatch(*geometry, *reference, 0);

    // Level 1 loses a face as a tessellating brush would leave it: level 2 no longer descends
    // from it and stays where it is.
    tarnix::SubdivisionLevel* level1 = geometry->Level(1);
    level1->BeginTopologyEdit();
    const uint32_t* last = level1->FaceCorners(level1->m_faceCount - 1);
    const uint32_t collapsed[4] = {last[0], last[0], last[0], last[0]};
    level1->SetFaceCorners(level1->m_faceCount - 1, collapsed);
    level1->DropCollapsedFaces();
    level1->EndOfChange(true, false);
    const auto before = Snapshot(geometry->Level(2));
    MoveVertices(level1, {0}, false);
    EXPECT_EQ(Snapshot(geometry->Level(2)), before);
}

// Moves of a layer's offsets, freeze painted twice in one change and a layer's strength (which
// moves the level above too) are one undo step each, bit exact both ways; a layer adds its
// offset times its strength.
TEST(HierarchyTest, LayerMovesFreezeAndStrengthChangesUndoBitExactAsOneStepEach) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 2);
    tarnix::SubdivisionLevel* level = geometry->Level(1);
    EXPECT_EQ(level->ActiveLayer(), nullptr);
    tarnix::SculptLayer* layer = level->AddLayer(QStringLiteral("detail"));
    level->SetActiveLayer(0);
    EXPECT_EQ(level->ActiveLayer(), layer);
    const tarnix::Vector base = level->VertexPosition(4), offset(0.1f, 0.2f, -0.3f);  // MoveVertices' step
    const auto start = Snapshots(*geometry);
    MoveVertices(level, {0, 4, 7}, true);
    const auto moved = Snapshots(*geometry);
    ASSERT_NE(moved, start);

    tarnix::MeshChange* freeze = level->CurrentChange();
    for (uint32_t v : {2u, 4u, 9u}) {
        freeze->KeepFreeze(v, 0);
        level->SetFreeze(v, uint8_t(40 + v));
    }
    freeze->KeepFreeze(4, 0);  // painted twice: the first state is the one kept
    level->SetFreeze(4, 127);
    level->EndOfChange(true, false);

    level->CurrentChange()->KeepLayerStrength(layer);
    layer->SetStrength(0.25f);
    level->RecomputeNormals();
    level->EndOfChange(true, false);
    ASSERT_EQ(geometry->UndoCount(), 3u);
    EXPECT_TRUE(test_support::Near(level->VertexPosition(4), base + offset * 0.25f, 1e-5f));
    EXPECT_TRUE(test_support::Near(layer->Position(4), base + offset, 1e-5f)) << "the layer at full strength";
    const auto changed = Snapshots(*geometry);
    ASSERT_NE(changed[2], moved[2]) << "the strength moved level 2 with level 1";

    ASSERT_TRUE(geometry->Undo());
    EXPECT_FLOAT_EQ(layer->Strength(), 1.0f);
    EXPECT_EQ(level->FrozenVertexCount(), 3u);
    EXPECT_EQ(level->m_vertices[4].freeze, 127);
    ASSERT_TRUE(geometry->Undo());
    EXPECT_EQ(level->FrozenVertexCount(), 0u);
    EXPECT_EQ(level->m_vertices[4].freeze, 0);
    EXPECT_EQ(Snapshots(*geometry), moved);
    ASSERT_TRUE(geometry->Undo());
    EXPECT_FALSE(geometry->Undo());
    EXPECT_EQ(Snapshots(*geometry), start);
    for (int step = 0; step < 3; ++step) ASSERT_TRUE(geometry->Redo());
    EXPECT_FLOAT_EQ(layer->Strength(), 0.25f);
    EXPECT_EQ(level->m_vertices[9].freeze, 49);
    EXPECT_EQ(Snapshots(*geometry), changed);

    geometry->Undo();
    MoveVertices(level, {2}, false);
    EXPECT_EQ(geometry->RedoCount(), 0u) << "a new change drops what could be redone";
    layer->SetLocked(true);
    EXPECT_FALSE(layer->AcceptsFace(0));
}

const uint64_t kPageBytes = uint64_t(tarnix::MeshChange::kEntriesPerPage) * sizeof(tarnix::StoredVertexInfo);

// The pages needed for `entries` undo entries, and the bytes of undo entries once at least
// `pages` pages are in memory (or after ten seconds of waiting for the worker).
uint64_t PagesFor(uint64_t entries) {
    return (entries + tarnix::MeshChange::kEntriesPerPage - 1) / tarnix::MeshChange::kEntriesPerPage;
}
uint64_t UndoBytesOnceReady(uint64_t pages) {
    const uint64_t want = pages * kPageBytes;
    uint64_t bytes = 0;
    for (int wait = 0; wait < 1000; ++wait) {
        bytes = tarnix::Block::AllocatedBytes("undo entries");
        if (bytes >= want) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return bytes;
}

// A kept change has as many entries made ready again on a worker thread, so that the next
// stroke, made without an undo, writes into pages already faulted in.
TEST(HierarchyTest, AKeptChangeHasPagesForItsEntriesMadeReadyInTheBackground) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 6);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    std::vector<uint32_t> all(level->VertexCount());
    std::iota(all.begin(), all.end(), 0u);
    MoveVertices(level, all, false);
    // The history holds the change's pages; as many more are kept once the fill has run.
    const uint64_t held = PagesFor(all.size());
    EXPECT_GE(UndoBytesOnceReady(2 * held), 2 * held * kPageBytes);
}

// A change that outgrows the kept pages (the first large stroke on a level) has a worker
// fault in as many again while it grows, so that its later entries go to pages already in
// memory. Each test runs in a process of its own: only the few pages subdividing made ready
// are kept when it starts.
TEST(HierarchyTest, AChangeThatOutgrowsTheKeptPagesHasMoreMadeReadyWhileItGrows) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 7);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    tarnix::MeshChange* change = level->CurrentChange();
    for (uint32_t v = 0; v < level->VertexCount(); ++v) change->FindOrAdd(v, 0);
    const uint64_t held = PagesFor(change->Count());
    // Asked for once it holds t >= 16 pages, the fill makes t pages ready, of which the change
    // takes at most its last held - t: at least 2 x 16 - held stay (7 here).
    const uint64_t ahead = 2 * 16 - held;
    EXPECT_GE(UndoBytesOnceReady(held + ahead), (held + ahead) * kPageBytes);
}

}  // namespace

// The stored form: a geometry sculpted, layered, frozen, placed and with texture coordinates
// comes back from its bytes the same, bit for bit; damaged bytes are refused, never half read.
TEST(HierarchyTest, AStoredGeometryLoadsBackBitForBitAndDamagedDataIsRefused) {
    tarnix::PolygonMesh polygons = shapes::Pyramid();  // a quad and four triangles
    for (const tarnix::Vector& p : polygons.positions) polygons.uvs.push_back({p.x, p.z});
    polygons.faceUVs = polygons.faceVertices;
    auto geometry = tarnix::Geometry::FromPolygons(polygons);
    geometry->Subdivide(2);
    tarnix::SubdivisionLevel& top = *geometry->HighestLevel();
    for (uint32_t v = 0; v < top.VertexCount(); v += 3) top.SetVertexPosition(v, top.VertexPosition(v) * 1.1f);
    top.RecomputeNormals();
    top.SetFreeze(5, 100);
    tarnix::SculptLayer* layer = top.AddLayer(QStringLiteral("detail"));
    layer->SetPosition(7, 7, top.VertexPosition(7) + tarnix::Vector(0, 0.25f, 0), true);
    layer->SetStrength(0.5f);
    layer->SetLocked(true);
    top.SetActiveLayer(0);
    geometry->GetTransformation().SetScale({1, 2, 3});
    geometry->GetTransformation().SetTranslation({4, 5, 6});

    tarnix::Stream out;
    out.StoreObject(*geometry);
    tarnix::Stream in(out.Data());
    tarnix::Geometry loaded;
    in.LoadObject(loaded);
    ASSERT_EQ(loaded.LevelCount(), geometry->LevelCount());
    for (uint32_t i = 0; i < loaded.LevelCount(); ++i) {
        SCOPED_TRACE(i);
        const tarnix::SubdivisionLevel &a = *geometry->Level(i), &b = *loaded.Level(i);
        ASSERT_EQ(a.m_faceKind, b.m_faceKind);
        ASSERT_EQ(a.m_cornerIndices.Count(), b.m_cornerIndices.Count());
        EXPECT_EQ(std::memcmp(a.m_cornerIndices.Data(), b.m_cornerIndices.Data(), a.m_cornerIndices.Count() * 4), 0);
        ASSERT_EQ(a.VertexCount(), b.VertexCount());
        EXPECT_EQ(Snapshot(&a), Snapshot(&b)) << "positions, normals and layer offsets";
        for (uint32_t v = 0; v < a.VertexCount(); ++v) ASSERT_EQ(a.m_vertices[v].freeze, b.m_vertices[v].freeze) << v;
        EXPECT_EQ(std::memcmp(a.m_faceFlags.Data(), b.m_faceFlags.Data(), a.m_faceCount), 0);
        EXPECT_EQ(a.FrozenVertexCount(), b.FrozenVertexCount());
        ASSERT_NE(loaded.UVs(i), nullptr);
        EXPECT_EQ(geometry->UVs(i)->corners, loaded.UVs(i)->corners);
        EXPECT_EQ(geometry->BasePolygonOfFaces(i), loaded.BasePolygonOfFaces(i));
    }
    const tarnix::SubdivisionLevel& loadedTop = *loaded.HighestLevel();
    ASSERT_EQ(loadedTop.LayerCount(), 1u);
    EXPECT_EQ(loadedTop.ActiveLayer(), loadedTop.Layer(0));
    EXPECT_EQ(loadedTop.Layer(0)->Name(), QStringLiteral("detail"));
    EXPECT_EQ(loadedTop.Layer(0)->Strength(), 0.5f);
    EXPECT_TRUE(loadedTop.Layer(0)->IsLocked());
    EXPECT_TRUE(loaded.GetTransformation().MeshToWorld() == geometry->GetTransformation().MeshToWorld());
    // Loaded, it sculpts and subdivides on as the original does.
    loaded.Subdivide(1);
    geometry->Subdivide(1);
    for (uint32_t v = 0; v < loaded.HighestLevel()->VertexCount(); ++v)
        ASSERT_TRUE(loaded.HighestLevel()->VertexPosition(v) == geometry->HighestLevel()->VertexPosition(v)) << v;

    // Cut short anywhere, or with a count that promises more than there is: refused.
    const QByteArray bytes = out.Data();
    for (int cut : {16, int(bytes.size()) / 3, int(bytes.size()) / 2, int(bytes.size()) - 1}) {
        tarnix::Stream truncated(bytes.left(cut));
        tarnix::Geometry partial;
        EXPECT_TRUE(Caught([&] { truncated.LoadObject(partial); }).raised) << cut;
    }
}
