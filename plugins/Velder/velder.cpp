#include "velder.h"

#include <algorithm>
#include <array>
#include <unordered_map>

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
      m_refineIntervalAttr(this, QStringLiteral("refineinterval"), 1) {}

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
    if (MeshEditable(m_strokeMesh)) m_strokeMesh->EndOfChange(true, false);
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

void Velder::DoRefineReduce(bool refine, bool, int iterations, bool) {
    tarnix::Mesh* mesh = m_tessellationPoint.m_mesh;
    if (!refine || !MeshEditable(mesh)) return;
    std::vector<uint32_t> region = m_collectedFaces;
    bool editing = false;
    for (int pass = 0; pass < iterations; ++pass)
        if (!SplitLongEdges(*mesh, region, editing)) break;
    if (editing) m_collectedFaces = region;
}

bool Velder::SplitLongEdges(tarnix::Mesh& mesh, std::vector<uint32_t>& region, bool& editing) {
    const tarnix::Transformation* transformation = mesh.GetTransformation();
    const tarnix::Matrix toMesh = transformation ? transformation->WorldToMesh() : tarnix::Matrix();
    const float radius = toMesh.Transform({m_tessellationSize, 0, 0}, 0.0f).Length();
    const tarnix::BoolFloat adaptive = m_adaptiveRefineAttr.Value();
    const float aim = radius * (adaptive.on && adaptive.value > 0.0f ? adaptive.value : kDefaultDetail);
    const float longest = aim * m_tessellationDetail;
    const tarnix::Vector centre = m_tessellationPoint.m_position;

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

bool Velder::Tester(tarnix::Mesh* mesh, uint32_t face) {
    return mesh && face < mesh->m_faceCount && (mesh->m_faceFlags[face] & tarnix::Mesh::kFaceSculptable);
}
