// Velder's tessellator: the faces under a dab, splitting long edges (at their midpoints or on
// the butterfly surface), merging short ones, flipping for valence, the per-vertex data that
// follows those edits, and the validity check.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

#include "tarnix/geometry.h"
#include "tarnix/mesh.h"
#include "tarnix/mesh_change.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/subdivision_level.h"
#include "tarnix/transformation.h"
#include "velder.h"

using tarnix::Mesh;
using tarnix::Vector;

namespace {

// Collects the faces that a box query reports.
struct FaceList : tarnix::FaceEnumerator {
    std::vector<uint32_t>* faces;
    bool Tester(tarnix::Mesh*, uint32_t face) override {
        faces->push_back(face);
        return true;
    }
};

uint64_t EdgeKey(uint32_t a, uint32_t b) { return a < b ? (uint64_t(a) << 32) | b : (uint64_t(b) << 32) | a; }

// The triangles that hold any of `edges`, each once, in ascending order.
std::vector<uint32_t> FacesHoldingEdges(const Mesh& mesh, const std::vector<std::pair<uint32_t, uint32_t>>& edges) {
    std::vector<uint32_t> faces;
    for (const auto& [a, b] : edges) {
        uint32_t count = 0;
        const uint32_t* around = mesh.FacesAroundVertex(a, count);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t* c = mesh.FaceCorners(around[i]);
            if (c[0] == b || c[1] == b || c[2] == b) faces.push_back(around[i]);
        }
    }
    std::sort(faces.begin(), faces.end());
    faces.erase(std::unique(faces.begin(), faces.end()), faces.end());
    return faces;
}

bool IsRemoved(const Mesh& mesh, uint32_t face) {
    const uint32_t* c = mesh.FaceCorners(face);
    return c[0] == c[1] && c[1] == c[2];
}

// The vertices sharing a face with `vertex`.
std::vector<uint32_t> Neighbours(const Mesh& mesh, uint32_t vertex) {
    uint32_t count = 0;
    const uint32_t* faces = mesh.FacesAroundVertex(vertex, count);
    std::vector<uint32_t> neighbours;
    for (uint32_t i = 0; i < count; ++i)
        for (int k = 0; k < 3; ++k)
            if (const uint32_t v = mesh.FaceCorners(faces[i])[k]; v != vertex) neighbours.push_back(v);
    std::sort(neighbours.begin(), neighbours.end());
    neighbours.erase(std::unique(neighbours.begin(), neighbours.end()), neighbours.end());
    return neighbours;
}

// Around an interior vertex of a closed fan, faces and neighbours are as many.
bool IsInterior(const Mesh& mesh, uint32_t vertex, size_t neighbourCount) {
    uint32_t count = 0;
    mesh.FacesAroundVertex(vertex, count);
    return neighbourCount == count;
}

// Whether `b` may merge into `a` at their midpoint: both inside closed fans of more than
// three faces, sharing exactly the two faces of their edge and no other neighbour (else the
// mesh would pinch), no face around them turning over or getting an edge longer than `longest`.
bool CanCollapse(const Mesh& mesh, uint32_t a, uint32_t b, float longest) {
    uint32_t countA = 0, countB = 0;
    const uint32_t* facesA = mesh.FacesAroundVertex(a, countA);
    const uint32_t* facesB = mesh.FacesAroundVertex(b, countB);
    const std::vector<uint32_t> nearA = Neighbours(mesh, a), nearB = Neighbours(mesh, b);
    if (nearA.size() != countA || nearB.size() != countB || countA <= 3 || countB <= 3) return false;
    std::vector<uint32_t> common;
    std::set_intersection(nearA.begin(), nearA.end(), nearB.begin(), nearB.end(), std::back_inserter(common));
    if (common.size() != 2) return false;
    const Vector middle = (mesh.VertexPosition(a) + mesh.VertexPosition(b)) * 0.5f;
    for (const auto& [faces, count] : {std::make_pair(facesA, countA), std::make_pair(facesB, countB)})
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t* c = mesh.FaceCorners(faces[i]);
            const bool onEdge = (c[0] == a || c[1] == a || c[2] == a) && (c[0] == b || c[1] == b || c[2] == b);
            if (onEdge) continue;
            Vector p[3];
            for (int k = 0; k < 3; ++k) p[k] = c[k] == a || c[k] == b ? middle : mesh.VertexPosition(c[k]);
            const Vector after = (p[1] - p[0]) & (p[2] - p[0]);
            if ((after | mesh.FaceNormal(faces[i])) <= 0.0f) return false;
            for (int k = 0; k < 3; ++k)
                if ((p[k] - p[(k + 1) % 3]).Length() > longest) return false;
        }
    return true;
}

// The neighbours of `vertex` in turning order, starting with `first`: each face (vertex, p, q)
// leads from p to q. Empty when the faces around the vertex do not close into one fan (an
// open border).
std::vector<uint32_t> OrderedRing(const Mesh& mesh, uint32_t vertex, uint32_t first) {
    uint32_t count = 0;
    const uint32_t* faces = mesh.FacesAroundVertex(vertex, count);
    std::unordered_map<uint32_t, uint32_t> next;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t* c = mesh.FaceCorners(faces[i]);
        const int k = c[0] == vertex ? 0 : c[1] == vertex ? 1 : 2;
        if (!next.emplace(c[(k + 1) % 3], c[(k + 2) % 3]).second) return {};
    }
    std::vector<uint32_t> ring;
    for (uint32_t v = first; ring.size() <= count;) {
        ring.push_back(v);
        const auto found = next.find(v);
        if (found == next.end()) return {};
        v = found->second;
        if (v == first) break;
    }
    return ring.size() == count ? ring : std::vector<uint32_t>{};
}

// One end's stencil of the modified butterfly rule: the end at 3/4, its ring (starting at
// the other end of the edge) weighted by its valence's coefficients, which add up to 1/4.
Vector IrregularStencil(const Mesh& mesh, uint32_t vertex, const std::vector<uint32_t>& ring) {
    const size_t k = ring.size();
    Vector point = mesh.VertexPosition(vertex) * 0.75f;
    for (size_t j = 0; j < k; ++j) {
        float s;
        if (k == 3) {
            s = j == 0 ? 5.0f / 12.0f : -1.0f / 12.0f;
        } else if (k == 4) {
            s = j == 0 ? 3.0f / 8.0f : j == 2 ? -1.0f / 8.0f : 0.0f;
        } else {
            const double angle = 2.0 * M_PI * double(j) / double(k);
            s = float((0.25 + std::cos(angle) + 0.5 * std::cos(2.0 * angle)) / double(k));
        }
        point += mesh.VertexPosition(ring[j]) * s;
    }
    return point;
}

// The point of edge (a, b) on the interpolating surface of the modified butterfly scheme
// (Zorin, Schroeder and Sweldens): with both ends regular (six neighbours) the eight-point
// stencil of the edge's ends, its two opposite vertices and its four wings; with one end
// irregular that end's stencil, with both the mean of the two. An end on an open border
// gives the midpoint.
Vector ButterflyPoint(const Mesh& mesh, uint32_t a, uint32_t b) {
    const Vector pa = mesh.VertexPosition(a), pb = mesh.VertexPosition(b);
    const std::vector<uint32_t> ringA = OrderedRing(mesh, a, b), ringB = OrderedRing(mesh, b, a);
    if (ringA.size() < 3 || ringB.size() < 3) return (pa + pb) * 0.5f;
    const auto p = [&mesh](uint32_t v) { return mesh.VertexPosition(v); };
    if (ringA.size() == 6 && ringB.size() == 6)
        return (pa + pb) * 0.5f + (p(ringA[1]) + p(ringA[5])) * 0.125f -
               (p(ringA[2]) + p(ringA[4]) + p(ringB[2]) + p(ringB[4])) * 0.0625f;
    if (ringB.size() == 6) return IrregularStencil(mesh, a, ringA);
    if (ringA.size() == 6) return IrregularStencil(mesh, b, ringB);
    return (IrregularStencil(mesh, a, ringA) + IrregularStencil(mesh, b, ringB)) * 0.5f;
}

}  // namespace

bool Velder::MeshEditable(const tarnix::Mesh* mesh) const {
    if (!m_dynamicTessellation || !mesh || mesh->m_faceKind != tarnix::Mesh::kTriangles) return false;
    const auto* level = dynamic_cast<const tarnix::SubdivisionLevel*>(mesh);
    const tarnix::Geometry* geometry = mesh->GetGeometry();
    return (!level || level->LayerCount() == 0) && (!geometry || geometry->LevelCount() == 1);
}

bool Velder::CurrentMeshEditable() const { return MeshEditable(m_tessellationPoint.m_mesh); }

void Velder::InitializeTessellator(const tarnix::SurfacePoint* point, float size, tarnix::MeshChange* change,
                                   float detail, bool, bool) {
    m_tessellationPoint = point ? *point : tarnix::SurfacePoint();
    m_tessellationSize = size;
    m_tessellationDetail = detail;
    m_tessellationChange = change;
    m_collectedFaces.clear();
}

void Velder::CollectFaces() {
    m_collectedFaces.clear();
    tarnix::Mesh* mesh = m_tessellationPoint.m_mesh;
    if (!mesh) return;
    // The dab's sphere, taken into the mesh's space.
    const tarnix::Transformation* transformation = mesh->GetTransformation();
    const tarnix::Matrix toMesh = transformation ? transformation->WorldToMesh() : tarnix::Matrix();
    const auto box = tarnix::AxisAlignedBoundingBox::SphereBoundingBox(m_tessellationPoint.WorldPosition(),
                                                                       m_tessellationSize, toMesh);
    FaceList list;
    list.faces = &m_collectedFaces;
    mesh->Grid(true)->EnumerateFaces(box, &list);
}

void Velder::DoRefineReduce(bool refine, bool reduce, int iterations, bool smooth) {
    tarnix::Mesh* mesh = m_tessellationPoint.m_mesh;
    if (!(refine || reduce) || !MeshEditable(mesh)) return;
    m_smoothSplits = smooth;
    std::vector<uint32_t> region = m_collectedFaces;
    bool editing = false;
    for (int pass = 0; pass < iterations; ++pass) {
        const bool split = refine && SplitLongEdges(*mesh, region, editing);
        const bool collapsed = reduce && CollapseShortEdges(*mesh, region, editing);
        const bool flipped = FlipEdges(*mesh, region, editing);
        if (!split && !collapsed && !flipped) break;
    }
    if (editing) m_collectedFaces = region;
}

Velder::EdgeLengths Velder::AimedEdgeLengths(const tarnix::Mesh& mesh) const {
    const tarnix::Transformation* transformation = mesh.GetTransformation();
    const tarnix::Matrix toMesh = transformation ? transformation->WorldToMesh() : tarnix::Matrix();
    EdgeLengths lengths;
    lengths.centre = m_tessellationPoint.m_position;
    lengths.radius = toMesh.Transform({m_tessellationSize, 0, 0}, 0.0f).Length();
    const tarnix::BoolFloat adaptive = m_adaptiveRefineAttr.Value();
    const float aim = lengths.radius * (adaptive.on && adaptive.value > 0.0f ? adaptive.value : kDefaultDetail);
    lengths.longest = aim * m_tessellationDetail;
    // Halves of a split edge stay above this, so an edge is never split and merged back.
    lengths.shortest = aim * 0.4f;
    return lengths;
}

bool Velder::SplitLongEdges(tarnix::Mesh& mesh, std::vector<uint32_t>& region, bool& editing) {
    const EdgeLengths lengths = AimedEdgeLengths(mesh);
    const float radius = lengths.radius, longest = lengths.longest;
    const Vector centre = lengths.centre;

    // Each face the brush reaches (their bounding spheres meet) has its longest edge split
    // when that is too long: always the longest, even where it leaves the brush, so that no
    // sliver is cut off a long edge (longest-edge bisection).
    std::unordered_map<uint64_t, uint32_t> midpoints;
    std::vector<std::pair<uint32_t, uint32_t>> edges;
    for (uint32_t face : region) {
        const uint32_t* c = mesh.FaceCorners(face);
        const Vector p[3] = {mesh.VertexPosition(c[0]), mesh.VertexPosition(c[1]), mesh.VertexPosition(c[2])};
        int k = 0;
        for (int e = 1; e < 3; ++e)
            if ((p[e] - p[(e + 1) % 3]).LengthSquared() > (p[k] - p[(k + 1) % 3]).LengthSquared()) k = e;
        const Vector a = p[k], b = p[(k + 1) % 3];
        const Vector middle = (p[0] + p[1] + p[2]) * (1.0f / 3.0f);
        const float extent = std::max({(p[0] - middle).Length(), (p[1] - middle).Length(), (p[2] - middle).Length()});
        const bool reached = (middle - centre).Length() <= radius + extent;
        if (reached && (a - b).Length() > longest &&
            midpoints.emplace(EdgeKey(c[k], c[(k + 1) % 3]), Mesh::kNone).second)
            edges.emplace_back(c[k], c[(k + 1) % 3]);
    }
    if (edges.empty()) return false;

    // Every face holding a split edge is rewritten, inside the brush or not.
    const std::vector<uint32_t> touched = FacesHoldingEdges(mesh, edges);

    // Every new point from the mesh as the pass found it, before any vertex is added.
    std::vector<Vector> points;
    points.reserve(edges.size());
    for (const auto& [a, b] : edges)
        points.push_back(m_smoothSplits ? ButterflyPoint(mesh, a, b)
                                        : (mesh.VertexPosition(a) + mesh.VertexPosition(b)) * 0.5f);
    if (!editing) mesh.BeginTopologyEdit();
    editing = true;
    for (size_t i = 0; i < edges.size(); ++i) {
        const auto [a, b] = edges[i];
        const uint8_t freeze = std::min(mesh.m_vertices[a].freeze, mesh.m_vertices[b].freeze);
        midpoints[EdgeKey(a, b)] = mesh.AppendVertex(points[i], freeze);
    }
    for (uint32_t face : touched) {
        uint32_t v[3], m[3];
        std::copy(mesh.FaceCorners(face), mesh.FaceCorners(face) + 3, v);
        int present = 0;
        for (int k = 0; k < 3; ++k) {
            const auto found = midpoints.find(EdgeKey(v[k], v[(k + 1) % 3]));
            m[k] = found == midpoints.end() ? Mesh::kNone : found->second;
            present += m[k] != Mesh::kNone;
        }
        // Turn the triangle so that its split edges come first (edge k runs from corner k).
        int turn = 0;
        for (int r = 0; r < 3; ++r)
            if ((present == 1 && m[r] != Mesh::kNone) || (present == 2 && m[(r + 2) % 3] == Mesh::kNone)) turn = r;
        const auto V = [&](int i) { return v[(i + turn) % 3]; };
        const auto M = [&](int i) { return m[(i + turn) % 3]; };
        std::vector<std::array<uint32_t, 3>> pieces;
        if (present == 1) pieces = {{V(0), M(0), V(2)}, {M(0), V(1), V(2)}};
        else if (present == 2) pieces = {{V(0), M(0), M(1)}, {M(0), V(1), M(1)}, {V(0), M(1), V(2)}};
        else pieces = {{V(0), M(0), M(2)}, {M(0), V(1), M(1)}, {M(2), M(1), V(2)}, {M(0), M(1), M(2)}};
        const uint8_t flags = mesh.m_faceFlags[face];
        mesh.SetFaceCorners(face, pieces[0].data());
        for (size_t i = 1; i < pieces.size(); ++i) region.push_back(mesh.AppendFace(pieces[i].data(), flags));
        region.push_back(face);
    }
    std::sort(region.begin(), region.end());
    region.erase(std::unique(region.begin(), region.end()), region.end());
    mesh.TopologyChanged();
    for (const auto& [a, b] : edges) OnEdgeSplit(a, b, midpoints[EdgeKey(a, b)]);
    return true;
}

bool Velder::CollapseShortEdges(tarnix::Mesh& mesh, std::vector<uint32_t>& region, bool& editing) {
    const EdgeLengths lengths = AimedEdgeLengths(mesh);
    const auto inside = [&](uint32_t v) {
        return (mesh.VertexPosition(v) - lengths.centre).LengthSquared() <= lengths.radius * lengths.radius;
    };
    // Edges far enough apart that no two collapses of a pass touch the same faces.
    std::unordered_set<uint32_t> locked;
    std::vector<std::pair<uint32_t, uint32_t>> edges;
    for (uint32_t face : region) {
        if (IsRemoved(mesh, face)) continue;
        const uint32_t* c = mesh.FaceCorners(face);
        for (int k = 0; k < 3; ++k) {
            const uint32_t a = c[k], b = c[(k + 1) % 3];
            if (locked.count(a) || locked.count(b) || !inside(a) || !inside(b)) continue;
            if ((mesh.VertexPosition(a) - mesh.VertexPosition(b)).Length() >= lengths.shortest) continue;
            if ((mesh.m_vertices[a].freeze | mesh.m_vertices[b].freeze) & Mesh::kFreezeStrengthMask) continue;
            if (!CanCollapse(mesh, a, b, lengths.longest)) continue;
            edges.emplace_back(a, b);
            for (uint32_t v : {a, b}) {
                locked.insert(v);
                for (uint32_t n : Neighbours(mesh, v)) locked.insert(n);
            }
            break;
        }
    }
    if (edges.empty()) return false;

    if (!editing) mesh.BeginTopologyEdit();
    editing = true;
    for (const auto& [a, b] : edges) {
        mesh.SetVertexPosition(a, (mesh.VertexPosition(a) + mesh.VertexPosition(b)) * 0.5f);
        uint32_t count = 0;
        const uint32_t* around = mesh.FacesAroundVertex(b, count);
        const std::vector<uint32_t> faces(around, around + count);
        for (uint32_t face : faces) {
            uint32_t c[3];
            std::copy(mesh.FaceCorners(face), mesh.FaceCorners(face) + 3, c);
            if (c[0] == a || c[1] == a || c[2] == a) {
                // The two faces of the edge go: they are left as a point on the unused vertex
                // b until the stroke ends and the mesh drops them.
                c[0] = c[1] = c[2] = b;
                mesh.SetFaceSculptable(face, false);
            } else {
                std::replace(c, c + 3, b, a);
            }
            mesh.SetFaceCorners(face, c);
        }
    }
    m_facesRemoved = true;
    mesh.TopologyChanged();
    for (const auto& [a, b] : edges) OnEdgeCollapse(a, b);
    return true;
}

bool Velder::FlipEdges(tarnix::Mesh& mesh, const std::vector<uint32_t>& region, bool& editing) {
    const EdgeLengths lengths = AimedEdgeLengths(mesh);
    const auto inside = [&](uint32_t v) {
        return (mesh.VertexPosition(v) - lengths.centre).LengthSquared() <= lengths.radius * lengths.radius;
    };
    // How far the valences of a flip's vertices are from regular (six inside, four on a
    // border), before and after the flip takes one face from a and b and gives one to c and d.
    const auto deviation = [&mesh](uint32_t v, int change) {
        const std::vector<uint32_t> near = Neighbours(mesh, v);
        const int regular = IsInterior(mesh, v, near.size()) ? 6 : 4;
        const int d = int(near.size()) + change - regular;
        return d * d;
    };
    struct Flip {
        uint32_t f, g, a, b, c, d;
    };
    std::vector<Flip> flips;
    // Flips of a pass share no vertex, so that the valences each was chosen by still hold.
    std::unordered_set<uint32_t> locked;
    for (uint32_t f : region) {
        if (IsRemoved(mesh, f) || !(mesh.m_faceFlags[f] & Mesh::kFaceSculptable)) continue;
        const uint32_t* corners = mesh.FaceCorners(f);
        for (uint32_t k = 0; k < 3; ++k) {
            const uint32_t a = corners[k], b = corners[(k + 1) % 3], c = corners[(k + 2) % 3];
            const uint32_t across = mesh.EdgeAdjacency(f, k);
            if (across >= Mesh::kOpenBorder) continue;
            const uint32_t g = across / 4, d = mesh.FaceCorners(g)[(across % 4 + 2) % 3];
            if (d == c || !(mesh.m_faceFlags[g] & Mesh::kFaceSculptable)) continue;
            if (locked.count(a) || locked.count(b) || locked.count(c) || locked.count(d)) continue;
            if (!inside(a) || !inside(b)) continue;
            if ((mesh.m_vertices[a].freeze | mesh.m_vertices[b].freeze) & Mesh::kFreezeStrengthMask) continue;
            // The new edge must not exist already, and must be one refinement and reduction
            // leave alone, or the passes would undo each other.
            const std::vector<uint32_t> nearC = Neighbours(mesh, c);
            if (std::binary_search(nearC.begin(), nearC.end(), d)) continue;
            const float length = (mesh.VertexPosition(c) - mesh.VertexPosition(d)).Length();
            if (length > lengths.longest || length < lengths.shortest) continue;
            if (Neighbours(mesh, a).size() <= 3 || Neighbours(mesh, b).size() <= 3) continue;
            const int before = deviation(a, 0) + deviation(b, 0) + deviation(c, 0) + deviation(d, 0);
            const int after = deviation(a, -1) + deviation(b, -1) + deviation(c, 1) + deviation(d, 1);
            if (after >= before) continue;
            // Only where the two faces lie nearly flat, and neither new face turns over: the
            // flip then leaves the shape as it was.
            const Vector pa = mesh.VertexPosition(a), pb = mesh.VertexPosition(b);
            const Vector pc = mesh.VertexPosition(c), pd = mesh.VertexPosition(d);
            const Vector nf = mesh.FaceNormal(f).Normalized(), ng = mesh.FaceNormal(g).Normalized();
            if ((nf | ng) < 0.9f) continue;
            const Vector n1 = ((pa - pc) & (pd - pc)).Normalized(), n2 = ((pb - pd) & (pc - pd)).Normalized();
            if ((n1 | nf) < 0.9f || (n1 | ng) < 0.9f || (n2 | nf) < 0.9f || (n2 | ng) < 0.9f) continue;
            flips.push_back({f, g, a, b, c, d});
            locked.insert({a, b, c, d});
            break;
        }
    }
    if (flips.empty()) return false;

    if (!editing) mesh.BeginTopologyEdit();
    editing = true;
    for (const Flip& flip : flips) {
        const uint32_t first[3] = {flip.c, flip.a, flip.d}, second[3] = {flip.d, flip.b, flip.c};
        mesh.SetFaceCorners(flip.f, first);
        mesh.SetFaceCorners(flip.g, second);
    }
    mesh.TopologyChanged();
    for (const Flip& flip : flips) OnEdgeFlip(flip.a, flip.b, flip.c, flip.d);
    return true;
}

// ---- per-vertex data across the edits ----------------------------------------------------------

tarnix::StoredVertexInfo* Velder::UndoEntry(uint32_t vertex) const {
    return m_tessellationChange ? m_tessellationChange->Find(vertex) : nullptr;
}

tarnix::Vector Velder::VertexOriginalPosition(uint32_t vertex) const {
    const tarnix::Mesh* mesh = m_tessellationPoint.m_mesh;
    if (m_records.IsActive() && vertex < m_records.VertexCount()) {
        const uint32_t index = m_records.IndexOf(vertex);
        if (index != VertexRecordStore::kNone) {
            const VertexRecordData record = m_records.Data(index);
            return {record.position[0], record.position[1], record.position[2]};
        }
    }
    return mesh ? mesh->VertexPosition(vertex) : Vector(0, 0, 0);
}

bool Velder::AppendVertexRecord(const tarnix::Mesh& mesh, uint32_t vertex) {
    if (!m_records.IsActive() || vertex >= m_records.VertexCount()) return false;
    uint8_t* bytes = m_records.AppendRecord();
    if (!bytes) return false;
    const tarnix::VertexRecord& source = mesh.m_vertices[vertex];
    const tarnix::PackedNormal& packed = mesh.m_normals[vertex];
    VertexRecordData record{};
    std::memcpy(record.position, source.position, sizeof(record.position));
    std::memcpy(record.packedNormal, &packed, sizeof(record.packedNormal));
    record.vertex = vertex;
    record.freeze = float(source.freeze & Mesh::kFreezeStrengthMask) * 0.007874016f;
    const Vector normal = tarnix::UnpackNormal(packed);
    record.normal[0] = normal.x, record.normal[1] = normal.y, record.normal[2] = normal.z;
    record.hostBit = source.freeze >> 7;
    std::memcpy(bytes, &record, sizeof(record));
    m_records.IndexOf(vertex) = m_records.RecordCount() - 1;
    return true;
}

void Velder::OnEdgeSplit(uint32_t a, uint32_t b, uint32_t middle) {
    const tarnix::Mesh& mesh = *m_tessellationPoint.m_mesh;
    BlendVertexData(middle, a, mesh.VertexPosition(a), b, mesh.VertexPosition(b));
}

void Velder::OnEdgeFlip(uint32_t, uint32_t, uint32_t, uint32_t) {}

void Velder::OnEdgeCollapse(uint32_t kept, uint32_t removed) {
    const tarnix::Mesh& mesh = *m_tessellationPoint.m_mesh;
    const Vector removedWas = mesh.VertexPosition(removed);
    BlendVertexData(kept, kept, mesh.VertexPosition(kept) * 2.0f - removedWas, removed, removedWas);
}

namespace {

// The sum of two unit normals, normalised; the first where they cancel.
Vector BlendNormals(const Vector& p, const Vector& q) {
    const Vector sum = p + q;
    return sum.LengthSquared() > 0.0f ? sum.Normalized() : p;
}

// BlendVertexData's records: the target's record blended from those of its ends (an end
// without one stands for itself as it was), when either end has one.
void BlendVertexRecords(VertexRecordStore& records, tarnix::Mesh& mesh, uint32_t target, uint32_t a, const Vector& aWas,
                        uint32_t b, const Vector& bWas, const Vector& now) {
    const auto recordOf = [&](uint32_t v, const Vector& was, VertexRecordData& out) {
        const uint32_t index = records.IndexOf(v);
        if (index != VertexRecordStore::kNone) {
            out = records.Data(index);
            return true;
        }
        out = VertexRecordData{};
        out.position[0] = was.x, out.position[1] = was.y, out.position[2] = was.z;
        const Vector n = mesh.VertexNormal(v);
        out.normal[0] = n.x, out.normal[1] = n.y, out.normal[2] = n.z;
        out.freeze = float(mesh.m_vertices[v].freeze & Mesh::kFreezeStrengthMask) * 0.007874016f;
        out.hostBit = mesh.m_vertices[v].freeze >> 7;
        return false;
    };
    VertexRecordData ra, rb;
    const bool hasA = recordOf(a, aWas, ra), hasB = recordOf(b, bWas, rb);
    if (hasA || hasB) {
        VertexRecordData blended = hasA ? ra : rb;
        const auto position = [](const VertexRecordData& r) {
            return Vector(r.position[0], r.position[1], r.position[2]);
        };
        const Vector original = now + ((position(ra) - aWas) + (position(rb) - bWas)) * 0.5f;
        blended.position[0] = original.x, blended.position[1] = original.y, blended.position[2] = original.z;
        const Vector normal =
            BlendNormals({ra.normal[0], ra.normal[1], ra.normal[2]}, {rb.normal[0], rb.normal[1], rb.normal[2]});
        blended.normal[0] = normal.x, blended.normal[1] = normal.y, blended.normal[2] = normal.z;
        tarnix::PackedNormal packed = mesh.m_normals[target];
        tarnix::PackNormal(tarnix::HWVector(normal), packed, tarnix::HalfRounding::kAwayFromZero);
        std::memcpy(blended.packedNormal, &packed, sizeof(packed));
        blended.vertex = target;
        blended.freeze = std::min(ra.freeze, rb.freeze);
        const uint32_t index = records.IndexOf(target);
        if (index != VertexRecordStore::kNone) {
            std::memcpy(records.Record(index), &blended, sizeof(blended));
        } else if (uint8_t* bytes = records.AppendRecord()) {
            std::memcpy(bytes, &blended, sizeof(blended));
            records.IndexOf(target) = records.RecordCount() - 1;
        }
    }
}

}  // namespace

void Velder::BlendVertexData(uint32_t target, uint32_t a, const Vector& aWas, uint32_t b, const Vector& bWas) {
    tarnix::Mesh& mesh = *m_tessellationPoint.m_mesh;
    // The target keeps what the stroke has done to its ends so far: where they started
    // relative to where they were, their build-up, their first normal.
    const Vector now = mesh.VertexPosition(target);
    if (m_records.IsActive() && m_records.Grow(mesh.VertexCount()))
        BlendVertexRecords(m_records, mesh, target, a, aWas, b, bWas, now);

    // The undo entries: copied out first, since adding the target's entry may move them.
    struct EntryView {
        Vector original, normal;
        float buildUp;
        uint32_t stamp;
    };
    const auto entryOf = [&](uint32_t v, const Vector& was, EntryView& out) {
        const tarnix::StoredVertexInfo* entry = UndoEntry(v);
        if (!entry) {
            out = {was, mesh.VertexNormal(v), 0.0f, 0};
            return false;
        }
        out.original = {entry->m_position[0], entry->m_position[1], entry->m_position[2]};
        out.normal = tarnix::UnpackNormal(entry->m_normal);
        out.buildUp = entry->m_buildUp;
        out.stamp = entry->m_stamp;
        return true;
    };
    EntryView ea, eb;
    const bool hasA = entryOf(a, aWas, ea), hasB = entryOf(b, bWas, eb);
    if (!hasA && !hasB) return;
    tarnix::StoredVertexInfo* entry = UndoEntry(target);
    if (!entry) {
        uint32_t count = 0;
        const uint32_t* faces = mesh.FacesAroundVertex(target, count);
        entry = m_tessellationChange->Add_uncached(target, count ? faces[0] : 0, &mesh.m_vertices[target], false, 0.0f);
        if (!entry) return;
    }
    const Vector original = now + ((ea.original - aWas) + (eb.original - bWas)) * 0.5f;
    entry->m_position[0] = original.x;
    entry->m_position[1] = original.y;
    entry->m_position[2] = original.z;
    entry->m_buildUp = 0.5f * (ea.buildUp + eb.buildUp);
    entry->m_stamp = hasA ? ea.stamp : eb.stamp;
    const Vector normal = BlendNormals(ea.normal, eb.normal);
    tarnix::PackNormal(tarnix::HWVector(normal), entry->m_normal, tarnix::HalfRounding::kAwayFromZero);
}

// ---- validity ----------------------------------------------------------------------------------

bool Velder::CheckValidity(QString* problem) const {
    const auto fail = [problem](const QString& text) {
        if (problem) *problem = text;
        return false;
    };
    const tarnix::Mesh* mesh = m_tessellationPoint.m_mesh;
    if (!mesh) return true;
    const uint32_t vertexCount = mesh->VertexCount(), faceCount = mesh->m_faceCount;
    const uint32_t cornersPerFace = mesh->CornersPerFace();
    if (mesh->m_cornerIndices.Count() != faceCount * cornersPerFace || mesh->m_faceFlags.Count() != faceCount ||
        mesh->m_normals.Count() != vertexCount)
        return fail(QStringLiteral("the mesh's arrays disagree on its face or vertex count"));
    std::vector<uint32_t> cornerUses(vertexCount, 0);
    std::unordered_set<uint64_t> directedEdges;
    for (uint32_t f = 0; f < faceCount; ++f) {
        const uint32_t* c = mesh->FaceCorners(f);
        for (uint32_t k = 0; k < cornersPerFace; ++k) {
            if (c[k] >= vertexCount)
                return fail(QStringLiteral("face %1 names vertex %2, past the last").arg(f).arg(c[k]));
            ++cornerUses[c[k]];
        }
        if (std::all_of(c, c + cornersPerFace, [c](uint32_t v) { return v == c[0]; })) {
            if (mesh->m_faceFlags[f] & Mesh::kFaceSculptable)
                return fail(QStringLiteral("face %1 is merged away but still sculptable").arg(f));
            continue;
        }
        for (uint32_t k = 0; k < cornersPerFace; ++k)
            for (uint32_t j = k + 1; j < cornersPerFace; ++j)
                if (c[k] == c[j]) return fail(QStringLiteral("face %1 names vertex %2 twice").arg(f).arg(c[k]));
        if (mesh->FaceNormal(f).LengthSquared() <= 0.0f) return fail(QStringLiteral("face %1 has no area").arg(f));
        for (uint32_t k = 0; k < cornersPerFace; ++k) {
            const uint32_t a = c[k], b = c[(k + 1) % cornersPerFace];
            if (!directedEdges.insert((uint64_t(a) << 32) | b).second)
                return fail(QStringLiteral("edge %1-%2 runs the same way in two faces").arg(a).arg(b));
        }
    }
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const float* p = mesh->m_vertices[v].position;
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
            return fail(QStringLiteral("vertex %1 has no finite position").arg(v));
        uint32_t count = 0;
        const uint32_t* faces = mesh->FacesAroundVertex(v, count);
        bool listed = count == cornerUses[v];
        for (uint32_t i = 0; listed && i < count; ++i) {
            const uint32_t* c = faces[i] < faceCount ? mesh->FaceCorners(faces[i]) : nullptr;
            listed = c && std::find(c, c + cornersPerFace, v) != c + cornersPerFace;
        }
        if (!listed) return fail(QStringLiteral("the faces listed around vertex %1 are out of date").arg(v));
    }
    if (m_records.IsActive()) {
        if (m_records.VertexCount() < vertexCount)
            return fail(QStringLiteral("the vertex records index %1 vertices of %2")
                            .arg(m_records.VertexCount())
                            .arg(vertexCount));
        for (uint32_t v = 0; v < vertexCount; ++v) {
            const uint32_t index = m_records.IndexOf(v);
            if (index == VertexRecordStore::kNone) continue;
            if (index >= m_records.RecordCount() || m_records.Data(index).vertex != v)
                return fail(QStringLiteral("the vertex record of vertex %1 names another vertex").arg(v));
        }
    }
    if (m_tessellationChange)
        for (uint32_t slot = 0; slot < m_tessellationChange->Count(); ++slot)
            if ((*m_tessellationChange)[slot].m_vertex >= vertexCount)
                return fail(QStringLiteral("undo entry %1 names vertex %2, past the last")
                                .arg(slot)
                                .arg((*m_tessellationChange)[slot].m_vertex));
    return true;
}
