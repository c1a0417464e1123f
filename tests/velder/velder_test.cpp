#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>
#include <vector>

#include "builtin_shapes.h"
#include "small_meshes.h"
#include "tarnix/class_desc.h"
#include "tarnix/mesh_change.h"
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
// and consistently oriented); faces merged away (shrunk to a point) are left out.
void ExpectClosedAndOriented(const tarnix::Mesh& mesh) {
    std::map<std::pair<uint32_t, uint32_t>, int> directed;
    for (uint32_t f = 0; f < mesh.m_faceCount; ++f) {
        const uint32_t* c = mesh.FaceCorners(f);
        if (c[0] == c[1] && c[1] == c[2]) continue;
        for (int k = 0; k < 3; ++k) ++directed[{c[k], c[(k + 1) % 3]}];
    }
    for (const auto& [edge, count] : directed) {
        EXPECT_EQ(count, 1);
        EXPECT_EQ(directed.count({edge.second, edge.first}), 1u) << edge.first << "-" << edge.second;
    }
}

void ExpectValid(const Velder& brush) {
    QString problem;
    EXPECT_TRUE(brush.CheckValidity(&problem)) << problem.toStdString();
}

// One tessellation pass of `brush` at `point`, as a dab runs it; the mesh must come out valid.
void Tessellate(Velder& brush, const tarnix::SurfacePoint& point, float radius, tarnix::MeshChange* change, bool refine,
                bool reduce, int passes, bool smooth) {
    brush.InitializeTessellator(&point, radius, change, 1.1f, refine, reduce);
    brush.CollectFaces();
    brush.DoRefineReduce(refine, reduce, passes, smooth);
    ExpectValid(brush);
}

// The octahedron under a tessellating brush whose dab is at the middle of face 0.
class OctahedronTest : public ::testing::Test {
protected:
    void SetUp() override { brush.m_dynamicTessellationAttr.SetValue(true); }
    std::unique_ptr<tarnix::Geometry> geometry = shapes::Subdivided(shapes::Octahedron(), 0);
    tarnix::SubdivisionLevel* level = geometry->LowestLevel();
    PlainBrush brush;
    const tarnix::Vector centre{1.0f / 3, 1.0f / 3, 1.0f / 3};
    const tarnix::SurfacePoint point{level, 0, centre, centre.Normalized()};
};

TEST_F(OctahedronTest, RefinementSplitsLongEdgesUnderTheBrushKeepsTheMeshClosedAndUndoes) {
    const auto snapshot = [this] {
        std::vector<float> state;
        for (uint32_t v = 0; v < level->VertexCount(); ++v)
            state.insert(state.end(), level->m_vertices[v].position, level->m_vertices[v].position + 3);
        state.insert(state.end(), level->m_cornerIndices.begin(), level->m_cornerIndices.end());
        return state;
    };
    const std::vector<float> original = snapshot();
    const float radius = 0.4f;
    Tessellate(brush, point, radius, level->CurrentChange(), true, true, 19, true);
    ASSERT_TRUE(brush.CurrentMeshEditable());
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
    for (uint32_t f = 0; f < level->m_faceCount; ++f)
        for (int k = 0; k < 3 && level->FaceCorners(f)[0] != level->FaceCorners(f)[1]; ++k)
            EXPECT_NEAR(level->VertexNormal(level->FaceCorners(f)[k]).Length(), 1.0f, 1e-3f)
                << "normals of new vertices";

    const std::vector<float> refined = snapshot();
    level->EndOfChange(true, false);
    ASSERT_TRUE(geometry->Undo());
    EXPECT_EQ(snapshot(), original);
    ASSERT_TRUE(geometry->Redo());
    EXPECT_EQ(snapshot(), refined);
}

TEST_F(OctahedronTest, ReductionMergesShortEdgesWithoutOpeningOrTurningTheMesh) {
    const auto tessellate = [&](float detail, bool refine, bool reduce) {
        brush.m_adaptiveRefineAttr.SetValue({true, detail});
        Tessellate(brush, point, 0.4f, level->CurrentChange(), refine, reduce, 19, false);
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

// The unit sphere of quads, each cut into two triangles: every vertex lies on the sphere.
std::unique_ptr<tarnix::Geometry> TriangleSphere(uint32_t divisions) {
    return tarnix::Geometry::FromPolygons(shapes::Triangulated(shapes::Sphere(divisions)));
}

// A dab at the face whose centre lies nearest `target`.
tarnix::SurfacePoint PointNear(tarnix::Mesh* mesh, const tarnix::Vector& target) {
    return tarnix::SurfacePoint(mesh, test_support::FaceNearest(mesh, target), 0);
}

bool HasEdge(const tarnix::Mesh& mesh, uint32_t a, uint32_t b) {
    for (uint32_t f = 0; f < mesh.m_faceCount; ++f) {
        const uint32_t* c = mesh.FaceCorners(f);
        for (int k = 0; k < 3; ++k)
            if ((c[k] == a && c[(k + 1) % 3] == b) || (c[k] == b && c[(k + 1) % 3] == a)) return true;
    }
    return false;
}

TEST(VelderTest, SmoothRefinementKeepsACurvedAreaCurved) {
    // New vertices of a refined patch of the unit sphere: their mean distance from it.
    double deviation[2] = {0, 0};
    for (bool smooth : {false, true}) {
        auto geometry = TriangleSphere(6);
        tarnix::SubdivisionLevel* level = geometry->LowestLevel();
        const uint32_t before = level->VertexCount();
        PlainBrush brush;
        brush.m_dynamicTessellationAttr.SetValue(true);
        Tessellate(brush, PointNear(level, {0.3f, 0.2f, 1.0f}), 0.7f, level->CurrentChange(), true, false, 19, smooth);
        ASSERT_GT(level->VertexCount(), before + 20);
        for (uint32_t v = before; v < level->VertexCount(); ++v)
            deviation[smooth] += std::fabs(level->VertexPosition(v).Length() - 1.0f);
        deviation[smooth] /= double(level->VertexCount() - before);
    }
    EXPECT_GT(deviation[0], 0.005) << "midpoints cut the corners of the sphere";
    EXPECT_LT(deviation[1], 0.2 * deviation[0]) << "new vertices go onto the surface through their neighbours";
}

// A brush that checks the tessellator's calls as they come.
struct WatchingBrush : Velder {
    struct Merge {
        float keptBuildUp, removedBuildUp, buildUpAfter;
        tarnix::Vector keptOriginal, removedOriginal, originalAfter;
    };
    std::vector<std::array<uint32_t, 3>> splits;
    std::vector<Merge> merges;
    uint32_t flips = 0, badFlips = 0;

    float BuildUp(uint32_t v) {
        const tarnix::StoredVertexInfo* entry = m_mesh->CurrentChange()->Find(v);
        return entry ? entry->m_buildUp : -1.0f;
    }

    void OnEdgeSplit(uint32_t a, uint32_t b, uint32_t middle) override {
        splits.push_back({a, b, middle});
        Velder::OnEdgeSplit(a, b, middle);
    }
    void OnEdgeFlip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) override {
        ++flips;
        badFlips += HasEdge(*m_mesh, a, b) || !HasEdge(*m_mesh, c, d);
        Velder::OnEdgeFlip(a, b, c, d);
    }
    void OnEdgeCollapse(uint32_t kept, uint32_t removed) override {
        Merge merge{
            BuildUp(kept), BuildUp(removed), 0, VertexOriginalPosition(kept), VertexOriginalPosition(removed), {}};
        Velder::OnEdgeCollapse(kept, removed);
        merge.buildUpAfter = BuildUp(kept);
        merge.originalAfter = VertexOriginalPosition(kept);
        merges.push_back(merge);
    }
    tarnix::Mesh* m_mesh = nullptr;
};

TEST(VelderTest, SplitsAndMergesCarryTheRecordsAndUndoEntriesOfTheirEnds) {
    auto geometry = TriangleSphere(2);
    tarnix::SubdivisionLevel* level = geometry->LowestLevel();
    WatchingBrush brush;
    brush.m_mesh = level;
    brush.m_dynamicTessellationAttr.SetValue(true);
    brush.BeginStroke(level, tarnix::BrushOperation::kModifierNone, tarnix::BrushOperation::kTriggerDrag);
    // As a brush leaves them: every vertex recorded where it started, then moved outward, with
    // a build-up of its own.
    tarnix::MeshChange* change = level->CurrentChange();
    const uint32_t original = level->VertexCount();
    std::vector<tarnix::Vector> started(original);
    for (uint32_t v = 0; v < original; ++v) {
        started[v] = level->VertexPosition(v);
        ASSERT_TRUE(brush.AppendVertexRecord(*level, v));
        change->Add_uncached(v, 0, &level->m_vertices[v], false, 0.05f * float(v % 7));
        level->SetVertexPosition(v, started[v] * (1.0f + 0.01f * float(v % 5)));
    }
    const tarnix::SurfacePoint point = PointNear(level, {0, 0, 1});
    const auto tessellate = [&](float detail, bool refine, bool reduce, int passes) {
        brush.m_adaptiveRefineAttr.SetValue({true, detail});
        Tessellate(brush, point, 0.8f, change, refine, reduce, passes, false);
    };
    tessellate(0.3f, true, false, 1);  // one pass of midpoints between recorded vertices
    ASSERT_FALSE(brush.splits.empty());
    for (const auto& [a, b, middle] : brush.splits) {
        ASSERT_TRUE(a < original && b < original && middle >= original);
        const tarnix::Vector expected = (started[a] + started[b]) * 0.5f;
        EXPECT_LT((brush.VertexOriginalPosition(middle) - expected).Length(), 1e-5f) << "from the record";
        const tarnix::StoredVertexInfo* entry = change->Find(middle);
        ASSERT_NE(entry, nullptr);
        EXPECT_LT(
            (tarnix::Vector(entry->m_position[0], entry->m_position[1], entry->m_position[2]) - expected).Length(),
            1e-5f);
        EXPECT_FLOAT_EQ(entry->m_buildUp, 0.5f * (change->Find(a)->m_buildUp + change->Find(b)->m_buildUp));
    }

    tessellate(0.1f, true, false, 19);  // fine
    tessellate(0.5f, false, true, 19);  // coarse again: merges
    ASSERT_FALSE(brush.merges.empty());
    for (const WatchingBrush::Merge& merge : brush.merges) {
        EXPECT_FLOAT_EQ(merge.buildUpAfter, 0.5f * (merge.keptBuildUp + merge.removedBuildUp));
        EXPECT_LT((merge.originalAfter - (merge.keptOriginal + merge.removedOriginal) * 0.5f).Length(), 1e-5f);
    }
    EXPECT_GT(brush.flips, 0u) << "splits and merges leave valences to even out";
    EXPECT_EQ(brush.badFlips, 0u) << "a flip is reported once the mesh holds the new edge";
    brush.EndStroke();
}

TEST_F(OctahedronTest, TheValidityCheckFindsBrokenMeshes) {
    brush.InitializeTessellator(&point, 1.0f, nullptr, 1.1f, true, false);
    ExpectValid(brush);
    const auto fault = [&](const std::array<uint32_t, 3>& corners, uint32_t face = 0) {
        const std::array<uint32_t, 3> kept = {level->FaceCorners(face)[0], level->FaceCorners(face)[1],
                                              level->FaceCorners(face)[2]};
        level->SetFaceCorners(face, corners.data());
        QString problem;
        const bool valid = brush.CheckValidity(&problem);
        level->SetFaceCorners(face, kept.data());
        return valid ? QString() : problem;
    };
    const uint32_t* c = level->FaceCorners(0);
    EXPECT_TRUE(fault({c[0], c[2], c[1]}).contains(QStringLiteral("runs the same way"))) << "turned over";
    EXPECT_TRUE(fault({c[0], c[1], c[1]}).contains(QStringLiteral("twice")));
    EXPECT_TRUE(fault({c[0], c[0], c[0]}).contains(QStringLiteral("still sculptable")));
    EXPECT_TRUE(fault({c[0], c[1], 99}).contains(QStringLiteral("past the last")));

    // A flip written into the faces without telling the mesh: its vertex lists are stale.
    uint32_t count = 0;
    level->FacesAroundVertex(0, count);  // the lists, as they are now
    const uint32_t across = level->EdgeAdjacency(0, 1);
    const uint32_t g = across / 4, a = c[0], b = c[1], cc = c[2];
    const uint32_t d = level->FaceCorners(g)[(across % 4 + 2) % 3];
    const uint32_t first[3] = {a, b, d}, second[3] = {d, cc, a};
    level->SetFaceCorners(0, first);
    level->SetFaceCorners(g, second);
    QString problem;
    EXPECT_FALSE(brush.CheckValidity(&problem));
    EXPECT_TRUE(problem.contains(QStringLiteral("out of date"))) << problem.toStdString();
    level->TopologyChanged();
    ExpectValid(brush);
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
        if (std::fabs(c.x - 2) < 0.3f && std::fabs(c.y - 2) < 0.3f) {
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
