#include "velder.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

#include "tarnix/block.h"
#include "tarnix/class_desc.h"
#include "tarnix/geometry.h"
#include "tarnix/mesh.h"
#include "tarnix/plugin.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/stream.h"
#include "tarnix/subdivision_level.h"
#include "tarnix/transformation.h"

namespace {

// Module-level registrations, constructed on load and destroyed on unload in reverse order.
tarnix::ClassDesc g_velderClass(tarnix::BrushOperation::StaticClass(),
                                tarnix::BrushOperation::StaticClass(), "Velder",
                                "Dynamic tessellation brush", nullptr, 0, 0);
tarnix::Plugin g_velderPlugin("Velder", "Dynamic tessellation sculpting brush",
                              "Corvane developers", "https://corvane.invalid",
                              __DATE__ " " __TIME__, nullptr);

// Collects the faces that a box query reports.
struct FaceList : tarnix::FaceEnumerator {
    std::vector<uint32_t>* faces;
    bool Tester(tarnix::Mesh*, uint32_t face) override {
        faces->push_back(face);
        return true;
    }
};

}  // namespace

// ---- record store ------------------------------------------------------------------------------

void VertexRecordStore::Reset(uint32_t vertexCount) {
    for (uint8_t* page : m_pages) tarnix::Block::AlignedFree(page);
    m_pages.clear();
    m_count = 0;
    m_active = vertexCount > 0 && m_index.Assign(vertexCount, kNone);
    if (!m_active) m_index.Release();
}

uint8_t* VertexRecordStore::AppendRecord() {
    while ((m_count >> kPageShift) >= m_pages.size()) {
        auto* page = static_cast<uint8_t*>(tarnix::Block::AlignedAlloc(kPageSize * kRecordBytes, kAlignment));
        if (!page) return nullptr;
        m_pages.push_back(page);
    }
    return Record(m_count++);
}

// ---- Velder ------------------------------------------------------------------------------------

Velder::Velder()
    : m_dynamicTessellationAttr(this, QStringLiteral("dynamictessellation"), &m_dynamicTessellation),
      m_refineModeAttr(this, QStringLiteral("refinemode"), 0),
      m_refineIntervalAttr(this, QStringLiteral("refineinterval"), 1) {
    m_refineModeAttr.DeclareRange(0, 1);
    m_refineIntervalAttr.DeclareRange(1, 1000);
}

Velder::~Velder() = default;

const tarnix::ClassDesc* Velder::StaticClass() { return &g_velderClass; }

const tarnix::ClassDesc* Velder::GetClass() const { return &g_velderClass; }

void Velder::Serialize(tarnix::Stream& stream) {
    tarnix::BrushOperation::Serialize(stream);
    m_dynamicTessellationAttr.Serialize(stream);
    m_refineModeAttr.Serialize(stream);
    m_refineIntervalAttr.Serialize(stream);
    stream.Exchange(m_facingFalloffStart);
    stream.Exchange(m_facingFalloffWidth);
}

Velder& Velder::operator=(const tarnix::BrushOperation& source) {
    tarnix::BrushOperation::operator=(source);
    if (const auto* velder = dynamic_cast<const Velder*>(&source)) {
        m_dynamicTessellationAttr.SetValue(velder->m_dynamicTessellation, true);
        m_refineModeAttr.SetValue(velder->m_refineModeAttr.Value(), true);
        m_refineIntervalAttr.SetValue(velder->m_refineIntervalAttr.Value(), true);
        m_facingFalloffStart = velder->m_facingFalloffStart;
        m_facingFalloffWidth = velder->m_facingFalloffWidth;
    }
    return *this;
}

void Velder::SetActiveConfiguration(tarnix::BrushConfiguration* configuration) {
    tarnix::BrushOperation::SetActiveConfiguration(configuration);
}

void Velder::EnableOptions() {
    if (m_dynamicTessellation) return;
    for (tarnix::Attribute* attribute :
         {static_cast<tarnix::Attribute*>(&m_refineModeAttr), static_cast<tarnix::Attribute*>(&m_refineIntervalAttr),
          static_cast<tarnix::Attribute*>(&m_adaptiveRefineAttr), static_cast<tarnix::Attribute*>(&m_curvatureRefineAttr)})
        attribute->SetVisible(false);
}

void Velder::BeginStroke(tarnix::Mesh* mesh, Modifier modifier, TriggerType trigger) {
    tarnix::BrushOperation::BeginStroke(mesh, modifier, trigger);
    m_records.Reset(mesh && m_dynamicTessellation ? mesh->VertexCount() : 0);
    m_collectedFaces.clear();
    m_strokeMesh = mesh;
}

void Velder::EndStroke() {
    tarnix::BrushOperation::EndStroke();
    // The brush leaves the change of a tessellated mesh open; it is committed here, faces
    // and moves as one undoable step.
    if (MeshEditable(m_strokeMesh)) {
        if (m_facesRemoved) m_strokeMesh->DropCollapsedFaces();
        m_strokeMesh->EndOfChange(true, false);
    }
    m_facesRemoved = false;
    m_strokeMesh = nullptr;
    m_records.Reset(0);
    m_collectedFaces.clear();
    m_tessellationPoint = tarnix::SurfacePoint();
}

bool Velder::MeshEditable(const tarnix::Mesh* mesh) const {
    if (!m_dynamicTessellation || !mesh || mesh->m_faceKind != tarnix::Mesh::kTriangles) return false;
    const auto* level = dynamic_cast<const tarnix::SubdivisionLevel*>(mesh);
    const tarnix::Geometry* geometry = mesh->GetGeometry();
    return (!level || level->LayerCount() == 0) && (!geometry || geometry->LevelCount() == 1);
}

bool Velder::CurrentMeshEditable() const { return MeshEditable(m_tessellationPoint.m_mesh); }

void Velder::InitializeTessellator(const tarnix::SurfacePoint* point, float size, tarnix::MeshChange*,
                                   float detail, bool, bool) {
    m_tessellationPoint = point ? *point : tarnix::SurfacePoint();
    m_tessellationSize = size;
    m_tessellationDetail = detail;
    m_collectedFaces.clear();
}

void Velder::CollectFaces() {
    m_collectedFaces.clear();
    tarnix::Mesh* mesh = m_tessellationPoint.m_mesh;
    if (!mesh) return;
    // The dab's sphere, taken into the mesh's space.
    const tarnix::Transformation* transformation = mesh->GetTransformation();
    const tarnix::Matrix toMesh = transformation ? transformation->WorldToMesh() : tarnix::Matrix();
    const auto box = tarnix::AxisAlignedBoundingBox::SphereBoundingBox(
        m_tessellationPoint.WorldPosition(), m_tessellationSize, toMesh);
    FaceList list;
    list.faces = &m_collectedFaces;
    mesh->Grid(true)->EnumerateFaces(box, &list);
}

void Velder::DoRefineReduce(bool refine, bool reduce, int iterations, bool) {
    tarnix::Mesh* mesh = m_tessellationPoint.m_mesh;
    if (!(refine || reduce) || !MeshEditable(mesh)) return;
    std::vector<uint32_t> region = m_collectedFaces;
    bool editing = false;
    for (int pass = 0; pass < iterations; ++pass) {
        const bool split = refine && SplitLongEdges(*mesh, region, editing);
        const bool collapsed = reduce && CollapseShortEdges(*mesh, region, editing);
        if (!split && !collapsed) break;
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
    const tarnix::Vector centre = lengths.centre;

    // Each face the brush reaches (their bounding spheres meet) has its longest edge split
    // when that is too long: always the longest, even where it leaves the brush, so that no
    // sliver is cut off a long edge (longest-edge bisection).
    std::unordered_map<uint64_t, uint32_t> midpoints;
    std::vector<std::pair<uint32_t, uint32_t>> edges;
    const auto key = [](uint32_t a, uint32_t b) { return a < b ? (uint64_t(a) << 32) | b : (uint64_t(b) << 32) | a; };
    for (uint32_t face : region) {
        const uint32_t* c = mesh.FaceCorners(face);
        const tarnix::Vector p[3] = {mesh.VertexPosition(c[0]), mesh.VertexPosition(c[1]), mesh.VertexPosition(c[2])};
        int k = 0;
        for (int e = 1; e < 3; ++e)
            if ((p[e] - p[(e + 1) % 3]).LengthSquared() > (p[k] - p[(k + 1) % 3]).LengthSquared()) k = e;
        const tarnix::Vector a = p[k], b = p[(k + 1) % 3];
        const tarnix::Vector middle = (p[0] + p[1] + p[2]) * (1.0f / 3.0f);
        const float extent = std::max({(p[0] - middle).Length(), (p[1] - middle).Length(), (p[2] - middle).Length()});
        const bool reached = (middle - centre).Length() <= radius + extent;
        if (reached && (a - b).Length() > longest && midpoints.emplace(key(c[k], c[(k + 1) % 3]), tarnix::Mesh::kNone).second)
            edges.emplace_back(c[k], c[(k + 1) % 3]);
    }
    if (edges.empty()) return false;

    // Every face holding a split edge is rewritten, inside the brush or not.
    std::vector<uint32_t> touched;
    for (const auto& [a, b] : edges) {
        uint32_t count = 0;
        const uint32_t* around = mesh.FacesAroundVertex(a, count);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t* c = mesh.FaceCorners(around[i]);
            if (c[0] == b || c[1] == b || c[2] == b) touched.push_back(around[i]);
        }
    }
    std::sort(touched.begin(), touched.end());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());

    if (!editing) mesh.BeginTopologyEdit();
    editing = true;
    for (const auto& [a, b] : edges) {
        const uint8_t freeze = std::min(mesh.m_vertices[a].freeze, mesh.m_vertices[b].freeze);
        midpoints[key(a, b)] = mesh.AppendVertex((mesh.VertexPosition(a) + mesh.VertexPosition(b)) * 0.5f, freeze);
    }
    for (uint32_t face : touched) {
        uint32_t v[3], m[3];
        std::copy(mesh.FaceCorners(face), mesh.FaceCorners(face) + 3, v);
        int present = 0;
        for (int k = 0; k < 3; ++k) {
            const auto found = midpoints.find(key(v[k], v[(k + 1) % 3]));
            m[k] = found == midpoints.end() ? tarnix::Mesh::kNone : found->second;
            present += m[k] != tarnix::Mesh::kNone;
        }
        // Turn the triangle so that its split edges come first (edge k runs from corner k).
        int turn = 0;
        for (int r = 0; r < 3; ++r)
            if ((present == 1 && m[r] != tarnix::Mesh::kNone) || (present == 2 && m[(r + 2) % 3] == tarnix::Mesh::kNone))
                turn = r;
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
    return true;
}

namespace {

bool IsRemoved(const tarnix::Mesh& mesh, uint32_t face) {
    const uint32_t* c = mesh.FaceCorners(face);
    return c[0] == c[1] && c[1] == c[2];
}

// The vertices sharing a face with `vertex`.
std::vector<uint32_t> Neighbours(const tarnix::Mesh& mesh, uint32_t vertex) {
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

// Whether `b` may merge into `a` at their midpoint: both inside closed fans of more than
// three faces, sharing exactly the two faces of their edge and no other neighbour (else the
// mesh would pinch), no face around them turning over or getting an edge longer than `longest`.
bool CanCollapse(const tarnix::Mesh& mesh, uint32_t a, uint32_t b, float longest) {
    uint32_t countA = 0, countB = 0;
    const uint32_t* facesA = mesh.FacesAroundVertex(a, countA);
    const uint32_t* facesB = mesh.FacesAroundVertex(b, countB);
    const std::vector<uint32_t> nearA = Neighbours(mesh, a), nearB = Neighbours(mesh, b);
    // Around an interior vertex of a closed fan, faces and neighbours are as many.
    if (nearA.size() != countA || nearB.size() != countB || countA <= 3 || countB <= 3) return false;
    std::vector<uint32_t> common;
    std::set_intersection(nearA.begin(), nearA.end(), nearB.begin(), nearB.end(), std::back_inserter(common));
    if (common.size() != 2) return false;
    const tarnix::Vector middle = (mesh.VertexPosition(a) + mesh.VertexPosition(b)) * 0.5f;
    for (const auto& [faces, count] : {std::make_pair(facesA, countA), std::make_pair(facesB, countB)})
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t* c = mesh.FaceCorners(faces[i]);
            const bool onEdge = (c[0] == a || c[1] == a || c[2] == a) && (c[0] == b || c[1] == b || c[2] == b);
            if (onEdge) continue;
            tarnix::Vector p[3];
            for (int k = 0; k < 3; ++k) p[k] = c[k] == a || c[k] == b ? middle : mesh.VertexPosition(c[k]);
            const tarnix::Vector after = (p[1] - p[0]) & (p[2] - p[0]);
            if ((after | mesh.FaceNormal(faces[i])) <= 0.0f) return false;
            for (int k = 0; k < 3; ++k)
                if ((p[k] - p[(k + 1) % 3]).Length() > longest) return false;
        }
    return true;
}

}  // namespace

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
            if ((mesh.m_vertices[a].freeze | mesh.m_vertices[b].freeze) & tarnix::Mesh::kFreezeStrengthMask) continue;
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
    return true;
}

bool Velder::Tester(tarnix::Mesh* mesh, uint32_t face) {
    return mesh && face < mesh->m_faceCount && (mesh->m_faceFlags[face] & tarnix::Mesh::kFaceSculptable);
}
