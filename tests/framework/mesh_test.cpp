#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <set>

#include "builtin_shapes.h"
#include "caught_error.h"
#include "tarnix/geodesic_enumerator.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/topological_symmetry.h"
#include "vector_match.h"

namespace {

// ---- input checks ------------------------------------------------------------------------------

QString RefusalOf(const tarnix::PolygonMesh& mesh) {
    return FaultOf([&] { tarnix::Geometry::FromPolygons(mesh); });
}

TEST(MeshInputTest, UnsoundMeshesAreRefusedWithTheirOffence) {
    tarnix::PolygonMesh empty;
    EXPECT_EQ(RefusalOf(empty), QStringLiteral("the mesh has no faces"));

    tarnix::PolygonMesh outOfRange = shapes::Cube();
    outOfRange.faceVertices[5] = 8;
    EXPECT_EQ(RefusalOf(outOfRange), QStringLiteral("face 1 names vertex 8, but the mesh has 8 vertices"));

    tarnix::PolygonMesh notANumber = shapes::Cube();
    notANumber.positions[3].y = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(RefusalOf(notANumber), QStringLiteral("vertex 3 has a coordinate that is not a finite number"));
    notANumber.positions[3].y = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(RefusalOf(notANumber).isEmpty());

    tarnix::PolygonMesh sliver = shapes::Cube();
    sliver.faceVertices.insert(sliver.faceVertices.end(), {0, 1, 0});
    sliver.faceSizes.push_back(3);
    EXPECT_EQ(RefusalOf(sliver), QStringLiteral("face 6 has fewer than three distinct corners"));

    tarnix::PolygonMesh inconsistent = shapes::Cube();
    inconsistent.faceSizes.push_back(4);
    EXPECT_TRUE(RefusalOf(inconsistent).startsWith(QStringLiteral("the faces name 28 corners")));
}

// The subdivision library counts a face's corners and a vertex's faces in 16 bits: more is
// refused by name before it could fail as "cannot be subdivided".
TEST(MeshInputTest, FacesAndValencesPastTheRefinersCountsAreRefused) {
    tarnix::PolygonMesh polygon;
    for (uint32_t v = 0; v < 70000; ++v) {
        const float angle = float(v) * 6.2831853f / 70000.0f;
        polygon.positions.push_back({std::cos(angle), std::sin(angle), 0.0f});
        polygon.faceVertices.push_back(v);
    }
    polygon.faceSizes = {70000};
    EXPECT_EQ(RefusalOf(polygon), QStringLiteral("face 0 has 70000 corners, more than the 65535 a face may have"));
    EXPECT_EQ(RefusalOf(shapes::Fan(70000)),
              QStringLiteral("vertex 0 is a corner of more than the 65535 faces a vertex may have"));
}

TEST(MeshInputTest, HarmlessFlawsAreCleanedAndReported) {
    tarnix::PolygonMesh flawed = shapes::Cube();
    flawed.positions.push_back({5, 5, 5});                                // used by no face
    flawed.faceVertices.insert(flawed.faceVertices.end(), {2, 6, 7, 3});  // repeats face 3
    flawed.faceVertices.insert(flawed.faceVertices.end(), {7, 6, 2, 3});  // face 3 turned over
    flawed.faceSizes.insert(flawed.faceSizes.end(), {4, 4});
    flawed.faceVertices[0] = 0;
    flawed.faceVertices.insert(flawed.faceVertices.begin() + 1, 0);  // 0, 0, 2, 3, 1
    flawed.faceSizes[0] = 5;
    QStringList changes;
    auto geometry = tarnix::Geometry::FromPolygons(flawed, &changes);
    EXPECT_EQ(changes, (QStringList{QStringLiteral("removed 1 repeated corners from 1 faces"),
                                    QStringLiteral("dropped 2 faces that repeat the corners of another face"),
                                    QStringLiteral("dropped 1 vertices that no face uses")}));
    const tarnix::SubdivisionLevel* base = geometry->LowestLevel();
    ASSERT_EQ(base->m_faceCount, 6u);
    EXPECT_EQ(base->VertexCount(), 8u);
    EXPECT_EQ(base->m_faceKind, tarnix::Mesh::kQuads);
    // The first of each set of repeats stays, in its own order: the cube as it was.
    const std::vector<uint32_t>& cube = shapes::Cube().faceVertices;
    EXPECT_TRUE(std::equal(cube.begin(), cube.end(), base->FaceCorners(0)));
}

TEST(MeshInputTest, ScanLikeMeshesLoadAndSubdivide) {
    // Three quads on one edge (non-manifold), a zero-area triangle and an open border.
    tarnix::PolygonMesh scan;
    scan.positions = {{0, 0, 0},  {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {-1, 0, 0},
                      {-1, 1, 0}, {0, 0, 1}, {0, 1, 1}, {2, 0, 0}, {3, 0, 0}};
    scan.faceVertices = {0, 2, 3, 1, 0, 1, 5, 4, 0, 6, 7, 1, 2, 8, 9};
    scan.faceSizes = {4, 4, 4, 3};
    QStringList changes;
    auto geometry = tarnix::Geometry::FromPolygons(scan, &changes);
    EXPECT_TRUE(changes.isEmpty()) << "nothing needed cleaning";
    geometry->Subdivide(2);
    const tarnix::Mesh* base = geometry->LowestLevel();
    EXPECT_EQ(base->m_faceKind, tarnix::Mesh::kTriangles);
    // The edge (0, 1) has three faces: no single neighbour across it.
    EXPECT_GE(geometry->Level(1)->EdgeAdjacency(0, 3), tarnix::Mesh::kOpenBorder);
    for (uint32_t v = 0; v < geometry->HighestLevel()->VertexCount(); ++v) {
        const tarnix::Vector p = geometry->HighestLevel()->VertexPosition(v);
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
    }
}

// ---- topology ----------------------------------------------------------------------------------

TEST(MeshTopologyTest, EdgeAdjacencyIsSymmetricAndMarksOpenBorders) {
    const std::pair<tarnix::PolygonMesh, bool> meshes[] = {
        {shapes::Cube(), true}, {shapes::Plane(3, 2), false}, {shapes::Fan(5), false}};
    for (const auto& [mesh, closed] : meshes) {
        auto geometry = shapes::Subdivided(mesh, 1);
        for (uint32_t l = 0; l < geometry->LevelCount(); ++l) {
            const tarnix::Mesh* level = geometry->Level(l);
            uint32_t open = 0;
            for (uint32_t f = 0; f < level->m_faceCount; ++f)
                for (uint32_t s = 0; s < 4; ++s) {
                    const uint32_t answer = level->EdgeAdjacency(f, s);
                    if (answer >= tarnix::Mesh::kOpenBorder) {
                        ++open;
                        continue;
                    }
                    ASSERT_EQ(level->EdgeAdjacency(answer >> 2, answer & 3), 4 * f + s);
                    // The neighbour runs the shared edge the other way.
                    const uint32_t* mine = level->FaceCorners(f);
                    const uint32_t* theirs = level->FaceCorners(answer >> 2);
                    ASSERT_EQ(mine[s], theirs[((answer & 3) + 1) % 4]);
                    ASSERT_EQ(mine[(s + 1) % 4], theirs[answer & 3]);
                }
            EXPECT_EQ(open == 0, closed);
        }
    }
    auto plane = shapes::Subdivided(shapes::Plane(3, 2), 0);
    EXPECT_GE(plane->LowestLevel()->EdgeAdjacency(0, 0), tarnix::Mesh::kOpenBorder);
    EXPECT_EQ(plane->LowestLevel()->EdgeAdjacency(0, 1), 4u * 1 + 3);
}

using Reports = std::vector<std::pair<uint32_t, uint32_t>>;

struct NeighbourCollector : tarnix::AdjacentVertexEnumerator {
    Reports reports;
    void Operator(uint32_t vertex, uint32_t face) override { reports.emplace_back(vertex, face); }
};

// The neighbours of a vertex as the mesh promises them: the corner after the vertex in each face
// around it, in the order of the faces, then the corners before it, each neighbour once.
Reports NeighboursFromFaces(const tarnix::Mesh& mesh, uint32_t v) {
    Reports reports;
    uint32_t count = 0;
    const uint32_t* around = mesh.FacesAroundVertex(v, count);
    const uint32_t k = mesh.CornersPerFace();
    for (uint32_t step : {1u, k - 1})
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t* c = mesh.FaceCorners(around[i]);
            const uint32_t at = uint32_t(std::find(c, c + k, v) - c);
            const uint32_t neighbour = c[(at + step) % k];
            if (std::none_of(reports.begin(), reports.end(), [&](const auto& r) { return r.first == neighbour; }))
                reports.emplace_back(neighbour, around[i]);
        }
    return reports;
}

Reports Listed(const tarnix::Mesh& mesh, uint32_t v) {
    uint32_t count = 0;
    const tarnix::VertexNeighbour* neighbours = mesh.VertexNeighbours(v, count);
    Reports reports;
    for (uint32_t i = 0; i < count; ++i) reports.emplace_back(neighbours[i].vertex, neighbours[i].face);
    return reports;
}

Reports Enumerated(const tarnix::Mesh& mesh, uint32_t v) {
    NeighbourCollector collector;
    mesh.EnumerateAdjacentVertices(&collector, v, 0);
    return collector.reports;
}

// Every vertex's neighbours, enumerated before the kept lists are built, then listed and
// enumerated from the lists, are those the faces promise.
void ExpectNeighboursFromFaces(const tarnix::Mesh& mesh) {
    for (uint32_t v = 0; v < mesh.VertexCount(); ++v) ASSERT_EQ(Enumerated(mesh, v), NeighboursFromFaces(mesh, v)) << v;
    for (uint32_t v = 0; v < mesh.VertexCount(); ++v) {
        EXPECT_EQ(Listed(mesh, v), NeighboursFromFaces(mesh, v)) << v;
        EXPECT_EQ(Enumerated(mesh, v), Listed(mesh, v)) << v;
    }
}

// Triangles with a border, an edge of three faces and a vertex where two fans meet; `rewired`
// moves face 5 so that vertex 7 is left out.
void SetJoinedFans(tarnix::Mesh& mesh, bool rewired = false) {
    if (rewired) {
        const uint32_t corners[] = {4, 6, 5};
        mesh.SetFaceCorners(5, corners);
        mesh.TopologyChanged();
        return;
    }
    tarnix::Store<uint32_t> corners;
    for (uint32_t c : {0, 1, 2, 0, 2, 3, 0, 3, 4, 2, 1, 5, 1, 2, 6, 4, 7, 6}) corners.Append(c);
    const float positions[] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, -1, 1, 0, 2, 0, 1, 1, 2, 1, -1, 2, 1};
    mesh.SetTopology(tarnix::Mesh::kTriangles, corners, positions, 8);
}

// Quads around centres of several valences and the level above, and the joined fans: each
// neighbour once, in the promised order, with a face that holds both; the kept lists follow
// the faces when they change.
TEST(MeshTopologyTest, AdjacentVerticesComeOnceEachInTheOrderOfTheFacesAround) {
    for (uint32_t spokes : {3u, 5u, 7u}) {
        auto geometry = shapes::Subdivided(shapes::Fan(spokes), 1);
        for (uint32_t l = 0; l < 2; ++l) {
            SCOPED_TRACE(testing::Message() << spokes << " spokes, level " << l);
            ExpectNeighboursFromFaces(*geometry->Level(l));
        }
        uint32_t centreFaces = 0;
        geometry->Level(0)->FacesAroundVertex(0, centreFaces);
        EXPECT_EQ(centreFaces, spokes) << "the centre has valence " << spokes;
    }
    tarnix::Mesh mesh;
    SetJoinedFans(mesh);
    ExpectNeighboursFromFaces(mesh);
    // Vertex 1: the edge to 2 is met twice before its other neighbours come.
    EXPECT_EQ(Listed(mesh, 1), (Reports{{2, 0}, {5, 3}, {0, 0}, {6, 4}}));
    SetJoinedFans(mesh, true);
    EXPECT_TRUE(Listed(mesh, 7).empty());
    ExpectNeighboursFromFaces(mesh);
}

// The vertex walk as first written: breadth first over the corners of the faces around each
// accepted vertex, face by face, each vertex once, with the face it was first met through.
Reports WalkFromCorners(const tarnix::Mesh& mesh, uint32_t startFace, const std::function<bool(uint32_t)>& accept) {
    Reports queue;
    std::set<uint32_t> met;
    const auto meet = [&](uint32_t face) {
        for (uint32_t k = 0; k < mesh.CornersPerFace(); ++k)
            if (met.insert(mesh.FaceCorners(face)[k]).second) queue.emplace_back(mesh.FaceCorners(face)[k], face);
    };
    meet(startFace);
    for (size_t next = 0; next < queue.size(); ++next) {
        if (!accept(queue[next].first)) continue;
        uint32_t count = 0;
        const uint32_t* around = mesh.FacesAroundVertex(queue[next].first, count);
        for (uint32_t i = 0; i < count; ++i) meet(around[i]);
    }
    return queue;
}

struct WalkCollector : tarnix::VertexEnumerator {
    std::function<bool(uint32_t)> accept = [](uint32_t) { return true; };
    Reports met;
    bool Tester(tarnix::Mesh*, uint32_t vertex, uint32_t face) override {
        met.emplace_back(vertex, face);
        return accept(vertex);
    }
};

// Triangle walks read flat lists, quad walks the faces; both must meet the vertices in the
// order of the corners, each through the same face, on meshes with borders, an edge of three
// faces and fans of several valences, and again after the faces change.
TEST(MeshTopologyTest, OutwardVertexWalksMeetTheCornersInFaceOrder) {
    std::vector<std::unique_ptr<tarnix::Geometry>> meshes;
    meshes.push_back(shapes::Subdivided(shapes::Triangulated(shapes::Sphere(12)), 0));
    meshes.push_back(shapes::Subdivided(shapes::Plane(5, 4), 1));
    tarnix::Mesh joined;
    SetJoinedFans(joined);

    const auto check = [](tarnix::Mesh& mesh, const char* name) {
        // Accepted vertices by a fixed scatter, so the walk stops at irregular fronts.
        for (uint32_t modulus : {1u, 3u, 7u}) {
            const auto accept = [modulus](uint32_t v) { return (v * 2654435761u >> 7) % modulus != 1; };
            for (uint32_t start : {0u, mesh.m_faceCount / 2, mesh.m_faceCount - 1}) {
                WalkCollector collector;
                collector.accept = accept;
                mesh.EnumerateVerticesFrom(&collector, start);
                ASSERT_EQ(collector.met, WalkFromCorners(mesh, start, accept))
                    << name << ", scatter " << modulus << ", from face " << start;
            }
        }
    };
    check(*meshes[0]->LowestLevel(), "triangulated sphere");
    check(*meshes[1]->HighestLevel(), "quads");
    check(joined, "joined fans");
    SetJoinedFans(joined, true);
    check(joined, "joined fans, rewired");
}

struct FaceCollector : tarnix::FaceEnumerator {
    std::function<bool(uint32_t)> accept = [](uint32_t) { return true; };
    std::vector<uint32_t> faces;
    bool Tester(tarnix::Mesh*, uint32_t face) override {
        faces.push_back(face);
        return accept(face);
    }
};

TEST(MeshTopologyTest, OutwardEnumerationSpreadsOnlyFromAcceptedFaces) {
    auto geometry = shapes::Subdivided(shapes::Plane(6, 1), 0);
    tarnix::Mesh* plane = geometry->LowestLevel();
    FaceCollector collector;
    collector.accept = [](uint32_t face) { return face <= 2; };
    plane->EnumerateFacesFrom(&collector, 1);
    std::sort(collector.faces.begin(), collector.faces.end());
    EXPECT_EQ(collector.faces, (std::vector<uint32_t>{0, 1, 2, 3})) << "3 is tested, not spread from";
}

// ---- spatial queries ---------------------------------------------------------------------------

// Both kinds of chunk: quads in the mesh's face order, triangles in an order of their own
// (so the grid must name the mesh's faces, not its chunk slots). Each mesh spans several chunks.
std::vector<std::unique_ptr<tarnix::Geometry>> GridTestMeshes() {
    std::vector<std::unique_ptr<tarnix::Geometry>> meshes;
    meshes.push_back(shapes::Subdivided(shapes::Cube(), 6));
    meshes.push_back(shapes::Subdivided(shapes::Triangulated(shapes::Sphere(40)), 0));
    return meshes;
}

TEST(SpatialGridTest, BoxQueriesAgreeWithBruteForce) {
    for (const auto& geometry : GridTestMeshes()) {
        tarnix::Mesh* mesh = geometry->HighestLevel();
        SCOPED_TRACE(mesh->CornersPerFace());
        EXPECT_EQ(mesh->Grid(false), nullptr);
        tarnix::SpatialGrid* grid = mesh->Grid(true);
        ASSERT_GT(mesh->m_faceCount, grid->FacesPerChunk());
        EXPECT_TRUE(grid->Box().IsContaining(mesh->BoundingBox()));
        const uint32_t k = mesh->CornersPerFace();
        std::mt19937 random(11);
        std::uniform_real_distribution<float> coordinate(-1.2f, 1.2f), extent(0.05f, 0.8f);
        for (int trial = 0; trial < 20; ++trial) {
            const tarnix::Vector c(coordinate(random), coordinate(random), coordinate(random));
            const tarnix::Vector e(extent(random), extent(random), extent(random));
            const tarnix::AxisAlignedBoundingBox box(c - e, c + e);
            std::vector<uint32_t> expectedFaces, expectedVertices;
            for (uint32_t f = 0; f < mesh->m_faceCount; ++f) {
                tarnix::AxisAlignedBoundingBox faceBox;
                for (uint32_t i = 0; i < k; ++i) faceBox.Extend(mesh->VertexPosition(mesh->FaceCorners(f)[i]));
                if (box.IsMeeting(faceBox)) expectedFaces.push_back(f);
            }
            for (uint32_t v = 0; v < mesh->VertexCount(); ++v)
                if (box.IsContaining(mesh->VertexPosition(v))) expectedVertices.push_back(v);

            FaceCollector faces;
            grid->EnumerateFaces(box, &faces);
            EXPECT_EQ(faces.faces, expectedFaces);
            WalkCollector vertices;
            grid->EnumerateVertices(box, &vertices);
            std::vector<uint32_t> found;
            for (const auto& [vertex, face] : vertices.met) {
                found.push_back(vertex);
                const uint32_t* corners = mesh->FaceCorners(face);
                ASSERT_TRUE(std::count(corners, corners + k, vertex));
            }
            EXPECT_EQ(found, expectedVertices);
        }
    }
}

TEST(SpatialGridTest, RaysHitTheSurfaceFromEitherSideAndRaysEmbreeWouldRefuseHitNothing) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 2);
    tarnix::Mesh* mesh = geometry->HighestLevel();
    tarnix::SpatialGrid* grid = mesh->Grid(true);
    tarnix::SurfacePoint hit;
    ASSERT_TRUE(grid->CastRay({0, 0, 5}, {0, 0, -1}, hit, false, true));
    EXPECT_EQ(hit.m_mesh, mesh);
    const float top = hit.LocalPosition().z;
    EXPECT_GT(top, 0.5f);
    EXPECT_LT(top, 1.0f) << "the limit surface lies inside the cage";
    EXPECT_GT(hit.LocalNormal().z, 0.95f) << "outward";
    EXPECT_FALSE(grid->CastRay({0, 0, 5}, {0, 0, 1}, hit, false, true));
    ASSERT_TRUE(grid->CastRay({0, 0, 5}, {0, 0, 1}, hit, true, true)) << "backwards too";
    EXPECT_FLOAT_EQ(hit.LocalPosition().z, top);
    ASSERT_TRUE(grid->CastRay({0, 0, 0}, {0, 0, 1}, hit, true, true));
    EXPECT_NEAR(std::fabs(hit.LocalPosition().z), top, 1e-5f) << "from inside, either side";

    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    const std::pair<tarnix::Vector, tarnix::Vector> rays[] = {{{0, 0, 1e30f}, {0, 0, -1}},
                                                              {{0, 0, 5}, {0, 0, 1e30f}},
                                                              {{nan, 0, 5}, {0, 0, -1}},
                                                              {{0, 0, 5}, {0, inf, -1}},
                                                              {{0, 0, 5}, {0, 0, 0}}};
    for (const auto& [origin, direction] : rays) EXPECT_FALSE(grid->CastRay(origin, direction, hit, true, true));
    EXPECT_TRUE(grid->CastRay({0, 0, 1e17f}, {0, 0, -1}, hit, false, true)) << "far, but within what Embree takes";
}

// Casts a ray down the normal of `face` onto its middle: the face hit and where, UINT32_MAX for a miss.
std::pair<uint32_t, tarnix::Vector> CastOntoFace(tarnix::SpatialGrid* grid, tarnix::Mesh* mesh, uint32_t face) {
    const tarnix::Vector centre = tarnix::SurfacePoint(mesh, face, 0).LocalPosition();
    const tarnix::Vector normal = mesh->FaceNormal(face).Normalized();
    tarnix::SurfacePoint hit;
    if (!grid->CastRay(centre + normal * 2.0f, -normal, hit, false, true)) return {UINT32_MAX, tarnix::Vector()};
    return {hit.m_face, hit.LocalPosition()};
}

// The ray onto `face` lands on it, at its middle as the face now lies.
bool SeesFace(tarnix::SpatialGrid* grid, tarnix::Mesh* mesh, uint32_t face) {
    const auto [hitFace, at] = CastOntoFace(grid, mesh, face);
    return hitFace == face && (at - tarnix::SurfacePoint(mesh, face, 0).LocalPosition()).Length() < 1e-4f;
}

// A face lifted out of the surface and put back: the update refits the chunk whose vertices
// moved, and the box never shrinks. Then two vertices that trade places leave the set of
// positions as it was: the update still has to see the change (one of them is a spike pulled
// out of the surface, which the other's faces now hold), and then answers as a grid built anew.
TEST(SpatialGridTest, AnUpdateRefitsWhatMovedKeepsItsBoxAndAnswersAsANewGrid) {
    for (const auto& geometry : GridTestMeshes()) {
        tarnix::Mesh* mesh = geometry->HighestLevel();
        SCOPED_TRACE(mesh->CornersPerFace());
        tarnix::SpatialGrid* grid = mesh->Grid(true);
        // In a middle block of the second chunk.
        const uint32_t face = grid->FacesPerChunk() + 3 * tarnix::SpatialGrid::kFacesPerBlock + 100;
        const tarnix::Vector normal = mesh->FaceNormal(face).Normalized();
        EXPECT_TRUE(SeesFace(grid, mesh, face));
        const auto move = [&](uint32_t vertex, const tarnix::Vector& to) {
            mesh->SetVertexPosition(vertex, to);
            mesh->EndOfChange(false, false);
        };
        // The face is lifted out of the surface; only an update lets the ray see it there.
        const auto lift = [&](float distance) {
            for (uint32_t k = 0; k < mesh->CornersPerFace(); ++k) {
                const uint32_t v = mesh->FaceCorners(face)[k];
                move(v, mesh->VertexPosition(v) + normal * distance);
            }
            grid->Update();
        };
        lift(0.3f);
        EXPECT_TRUE(SeesFace(grid, mesh, face));
        const tarnix::AxisAlignedBoundingBox grown = grid->Box();
        EXPECT_TRUE(grown.IsContaining(tarnix::SurfacePoint(mesh, face, 0).LocalPosition()));
        // Put back, the face leaves the grid's box as it was: the hierarchy still covers that space.
        lift(-0.3f);
        EXPECT_TRUE(SeesFace(grid, mesh, face));
        EXPECT_TRUE(grid->Box().IsContaining(grown));

        const uint32_t a = mesh->FaceCorners(face)[0], b = mesh->FaceCorners(face + 40)[0];
        move(b, mesh->VertexPosition(b) + mesh->FaceNormal(face + 40).Normalized() * 0.5f);
        grid->Update();
        const tarnix::Vector aPosition = mesh->VertexPosition(a);
        move(a, mesh->VertexPosition(b));
        move(b, aPosition);
        grid->Update();

        std::vector<std::pair<uint32_t, tarnix::Vector>> updated, rebuilt;
        for (uint32_t f = face - 20; f < face + 60; ++f) updated.push_back(CastOntoFace(grid, mesh, f));
        grid->Rebuild();
        for (uint32_t f = face - 20; f < face + 60; ++f) rebuilt.push_back(CastOntoFace(grid, mesh, f));
        for (size_t i = 0; i < updated.size(); ++i) {
            EXPECT_EQ(updated[i].first, rebuilt[i].first) << i;
            EXPECT_NEAR((updated[i].second - rebuilt[i].second).Length(), 0.0f, 1e-5f) << i;
        }
    }
}

// A brush writes positions straight into the vertex records and reports them per dab: a brush
// that keeps the grid current refits over the dab's box and then grows the pending box by it,
// which the grid has seen already; a brush that does not leaves its dabs to the pending box,
// and the next update must find them there.
TEST(SpatialGridTest, DabsReportedThroughThePendingBoxAreFoundOnceAndNeverLost) {
    for (const auto& geometry : GridTestMeshes()) {
        tarnix::Mesh* mesh = geometry->HighestLevel();
        SCOPED_TRACE(mesh->CornersPerFace());
        tarnix::SpatialGrid* grid = mesh->Grid(true);
        mesh->SetPendingUpdateBox(tarnix::AxisAlignedBoundingBox());
        grid->Update();
        // Writes the corners of `face` to `to(k, from)`, as a brush does; the box of both.
        const auto write = [&](uint32_t face, const std::function<tarnix::Vector(uint32_t, tarnix::Vector)>& to) {
            tarnix::AxisAlignedBoundingBox touched;
            for (uint32_t k = 0; k < mesh->CornersPerFace(); ++k) {
                float* position = mesh->m_vertices[mesh->FaceCorners(face)[k]].position;
                const tarnix::Vector from(position[0], position[1], position[2]), moved = to(k, from);
                touched.Extend(from);
                touched.Extend(moved);
                position[0] = moved.x, position[1] = moved.y, position[2] = moved.z;
            }
            return touched;
        };
        const auto dab = [&](uint32_t face, float lift) {
            const tarnix::Vector normal = mesh->FaceNormal(face).Normalized();
            return write(face, [&](uint32_t, const tarnix::Vector& from) { return from + normal * lift; });
        };
        const auto report = [&](const tarnix::AxisAlignedBoundingBox& touched) {
            tarnix::AxisAlignedBoundingBox pending = mesh->PendingUpdateBox();
            pending.Extend(touched);
            mesh->SetPendingUpdateBox(pending);
        };
        const uint32_t first = grid->FacesPerChunk() + 100, second = first + 3 * tarnix::SpatialGrid::kFacesPerBlock;

        for (uint32_t face : {first, second}) {
            const tarnix::AxisAlignedBoundingBox touched = dab(face, 0.3f);
            grid->UpdateArea(touched);
            report(touched);
            EXPECT_TRUE(mesh->MovedArea().IsEmpty()) << "the refit saw this dab, and the stroke's earlier ones";
            EXPECT_TRUE(SeesFace(grid, mesh, face));
        }
        // Unreported by any refit, a dab inside the pending box counts as moved all the same.
        report(dab(first, 0.2f));
        EXPECT_TRUE(mesh->MovedArea().IsContaining(mesh->PendingUpdateBox()));
        mesh->EndOfChange(false, false);
        grid->Update();
        EXPECT_TRUE(SeesFace(grid, mesh, first));
        // A refit whose report never came is forgotten when the change ends: the next stroke's
        // dab, which takes the face back inside the box of that refit, counts as moved.
        std::vector<tarnix::Vector> before;
        for (uint32_t k = 0; k < mesh->CornersPerFace(); ++k)
            before.push_back(mesh->VertexPosition(mesh->FaceCorners(second)[k]));
        grid->UpdateArea(dab(second, 0.2f));
        mesh->EndOfChange(false, false);
        const tarnix::AxisAlignedBoundingBox back =
            write(second, [&](uint32_t k, const tarnix::Vector&) { return before[k]; });
        report(back);
        EXPECT_TRUE(mesh->MovedArea().IsContaining(back));
        mesh->EndOfChange(false, false);
        grid->Update();
        EXPECT_TRUE(SeesFace(grid, mesh, second));
    }
}

// ---- geodesics ---------------------------------------------------------------------------------

// The surface point at the middle of `face`, with the face's normal.
tarnix::SurfacePoint FaceMiddle(tarnix::Mesh* mesh, uint32_t face) {
    tarnix::Vector middle(0, 0, 0);
    for (uint32_t k = 0; k < mesh->CornersPerFace(); ++k)
        middle = middle + mesh->VertexPosition(mesh->FaceCorners(face)[k]);
    return tarnix::SurfacePoint(mesh, face, middle * (1.0f / float(mesh->CornersPerFace())),
                                mesh->FaceNormal(face).Normalized(), 0);
}

TEST(GeodesicTest, OnAFlatMeshTheRegionIsTheDiscOfStraightDistancesInTheWorld) {
    // Paths along the edges of a grid would make a diamond, up to 41 % too far on the
    // diagonals. Triangles cut along one diagonal only have right angles to cross as well. The
    // brush's size is a world length: on a mesh placed with a non-uniform scale the region is
    // the disc of world distances, and each distance the world's, not the mesh's.
    auto quads = shapes::Subdivided(shapes::Plane(4, 4), 4);
    auto triangles = shapes::Subdivided(shapes::Triangulated(shapes::Plane(64, 64)), 0);
    auto placed = shapes::Subdivided(shapes::Plane(4, 4), 4);
    placed->GetTransformation().SetScale({2.0f, 3.0f, 1.0f});
    placed->GetTransformation().SetTranslation({5.0f, 0.0f, 0.0f});
    struct Case {
        tarnix::Geometry* geometry;
        uint32_t face;
        float tolerance;  // scaled distances carry the scale's rounding too
    };
    for (const Case& sample :
         {Case{quads.get(), 0, 1e-4f}, Case{quads.get(), 1234, 1e-4f}, Case{quads.get(), 2047, 1e-4f},
          Case{triangles.get(), 4321, 1e-4f}, Case{placed.get(), 1234, 1e-3f}}) {
        tarnix::Mesh* mesh = sample.geometry->HighestLevel();
        const tarnix::Matrix& toWorld = sample.geometry->GetTransformation().MeshToWorld();
        const auto world = [&](uint32_t v) { return toWorld.Transform(mesh->VertexPosition(v), 1.0f); };
        const tarnix::SurfacePoint point = FaceMiddle(mesh, sample.face);
        const tarnix::Vector centre = toWorld.Transform(point.m_position, 1.0f);
        tarnix::GeodesicEnumerator geodesic;
        geodesic.EnumerateVertices(mesh, point, 1.3f);
        std::set<uint32_t> found;
        float previous = 0.0f;
        for (uint32_t i = 0; i < geodesic.Count(); ++i) {
            const auto& result = geodesic.Results()[i];
            ASSERT_TRUE(found.insert(result.vertex).second);
            const float d = geodesic.Distances()[result.vertex];
            EXPECT_NEAR(d, (world(result.vertex) - centre).Length(), sample.tolerance);
            EXPECT_GE(d, previous) << "nearest first";
            previous = d;
            const uint32_t* c = mesh->FaceCorners(result.face);
            ASSERT_TRUE(std::count(c, c + mesh->CornersPerFace(), result.vertex));
        }
        EXPECT_GT(found.size(), 3u);
        for (uint32_t v = 0; v < mesh->VertexCount(); ++v) {
            const float straight = (world(v) - centre).Length();
            if (std::fabs(straight - 1.3f) > sample.tolerance) {
                EXPECT_EQ(found.count(v) == 1, straight < 1.3f) << "vertex " << v << " at " << straight;
            }
        }
        // Readers walk whole faces and patches: every vertex beyond a smaller region must read
        // as far, also those the larger one reached.
        geodesic.EnumerateVertices(mesh, point, 0.3f);
        std::vector<bool> inside(mesh->VertexCount(), false);
        for (uint32_t i = 0; i < geodesic.Count(); ++i) inside[geodesic.Results()[i].vertex] = true;
        for (uint32_t v = 0; v < mesh->VertexCount(); ++v) {
            if (inside[v]) continue;
            ASSERT_EQ(geodesic.Distances()[v], std::numeric_limits<float>::infinity()) << v;
        }
    }
}

TEST(GeodesicTest, OnASphereDistancesFollowTheGreatCircles) {
    auto geometry = shapes::Subdivided(shapes::Sphere(4), 3);
    tarnix::Mesh* mesh = geometry->HighestLevel();
    const tarnix::SurfacePoint point = FaceMiddle(mesh, 300);
    tarnix::GeodesicEnumerator geodesic;
    geodesic.EnumerateVertices(mesh, point, 1.2f);
    ASSERT_GT(geodesic.Count(), 500u);
    float worst = 0.0f;
    for (uint32_t i = 0; i < geodesic.Count(); ++i) {
        const tarnix::Vector p = mesh->VertexPosition(geodesic.Results()[i].vertex);
        const float d = geodesic.Distances()[geodesic.Results()[i].vertex];
        const float chord = (p - point.m_position).Length();
        ASSERT_GE(d, chord) << "never nearer than in a straight line";
        // The arc on a sphere through both points (the subdivided sphere is a little smaller
        // than the unit sphere, and not quite round).
        const float radius = 0.5f * (p.Length() + point.m_position.Length());
        const float arc = 2.0f * radius * std::asin(std::min(1.0f, chord / (2.0f * radius)));
        if (arc > 0.2f) worst = std::max(worst, std::fabs(d / arc - 1.0f));
    }
    EXPECT_LT(worst, 0.03f) << "paths along edges stray up to 40 %";
}

TEST(TopologicalSymmetryTest, PartnersMirrorAcrossTheSymmetryPlaneAndPairUp) {
    for (const auto& mesh : {shapes::Cube(), shapes::Octahedron()}) {
        auto geometry = shapes::Subdivided(mesh, 2);
        tarnix::Mesh* level = geometry->HighestLevel();
        const tarnix::TopologicalSymmetry& symmetry = level->Symmetry();
        ASSERT_TRUE(symmetry.IsValid());
        for (uint32_t v = 0; v < level->VertexCount(); ++v) {
            const uint32_t partner = symmetry.PartnerVertex(v);
            ASSERT_NE(partner, tarnix::TopologicalSymmetry::kNone);
            ASSERT_EQ(symmetry.PartnerVertex(partner), v);
            const tarnix::Vector q = level->VertexPosition(partner);
            ASSERT_TRUE(test_support::Near(level->VertexPosition(v), {-q.x, q.y, q.z}, 1e-5f)) << v;
        }
        uint32_t face = 0, unused = 0;
        const uint32_t mirrored = level->TopologicalMirror(5, 1, face, unused);
        EXPECT_EQ(mirrored, symmetry.PartnerVertex(level->FaceCorners(5)[1]));
        EXPECT_EQ(face, symmetry.PartnerFace(5));
    }
    auto lopsided = shapes::Subdivided(shapes::Plane(2, 1), 0);  // no edge on x = 0 inside
    EXPECT_FALSE(lopsided->LowestLevel()->Symmetry().IsValid());
}

// A vertex of as many faces as a vertex may have: its neighbours are found, each once, and the
// edges around it are paired. Searching them by pairs took minutes at a tenth of this valence;
// bench/hierarchy_bench.cpp (BM_VertexOfManyFaces) measures how the cost grows.
// The centre's neighbours are told apart by marks; an enumeration started from inside a report
// finds the marks in use and must give the same answer without them.
TEST(MeshTest, AVertexOfTheMostFacesAllowedHasEachNeighbourFoundOnce) {
    struct Collector : tarnix::AdjacentVertexEnumerator {
        const tarnix::Mesh* mesh = nullptr;
        std::vector<uint32_t> found;
        std::unique_ptr<Collector> nested;
        void Operator(uint32_t vertex, uint32_t) override {
            if (mesh && !nested) {
                nested = std::make_unique<Collector>();
                mesh->EnumerateAdjacentVertices(nested.get(), 0, 0);
            }
            found.push_back(vertex);
        }
    };
    constexpr uint32_t kValence = 65535;
    const std::unique_ptr<tarnix::Geometry> geometry = tarnix::Geometry::FromPolygons(shapes::Fan(kValence));
    const tarnix::SubdivisionLevel& base = *geometry->LowestLevel();
    geometry->PrepareForStrokes(base);
    Collector collector;
    collector.mesh = &base;
    base.EnumerateAdjacentVertices(&collector, 0, 0);
    ASSERT_TRUE(collector.nested);
    EXPECT_EQ(collector.nested->found, collector.found);
    std::sort(collector.found.begin(), collector.found.end());
    ASSERT_EQ(collector.found.size(), kValence);
    for (uint32_t i = 0; i < kValence; ++i) ASSERT_EQ(collector.found[i], 2 * i + 1);  // the spoke ends
    // The fan is closed around its centre: every face's edge at the centre has a neighbour.
    for (uint32_t face = 0; face < base.m_faceCount; ++face)
        ASSERT_LT(base.EdgeAdjacency(face, 0), tarnix::Mesh::kOpenBorder) << face;
}

}  // namespace
