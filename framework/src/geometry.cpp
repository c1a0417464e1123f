#include "tarnix/geometry.h"

#include <atomic>

#include <opensubdiv/far/primvarRefiner.h>
#include <opensubdiv/far/topologyDescriptor.h>
#include <opensubdiv/far/topologyRefinerFactory.h>

#include "tarnix/error.h"
#include "tarnix/kernel.h"
#include "tarnix/spatial_grid.h"

namespace tarnix {
namespace {

using namespace OpenSubdiv;

// The point type OpenSubdiv's primvar refiner interpolates.
struct RefinedPoint {
    float x, y, z;
    void Clear() { x = y = z = 0.0f; }
    void AddWithWeight(const RefinedPoint& p, float weight) {
        x += weight * p.x;
        y += weight * p.y;
        z += weight * p.z;
    }
};

// Texture coordinates as OpenSubdiv's primvar refiner interpolates them.
struct RefinedUV {
    float u, v;
    void Clear() { u = v = 0.0f; }
    void AddWithWeight(const RefinedUV& p, float weight) {
        u += weight * p.u;
        v += weight * p.v;
    }
};

// `uvCorners` (one value index per face corner) and `uvCount` describe the face-varying
// channel; without corners the refiner has none.
std::unique_ptr<Far::TopologyRefiner> MakeRefiner(const std::vector<int>& faceSizes,
                                                  const std::vector<int>& faceVertices,
                                                  int vertexCount, const std::vector<int>& uvCorners,
                                                  int uvCount) {
    Far::TopologyDescriptor descriptor;
    descriptor.numVertices = vertexCount;
    descriptor.numFaces = int(faceSizes.size());
    descriptor.numVertsPerFace = faceSizes.data();
    descriptor.vertIndicesPerFace = faceVertices.data();
    Far::TopologyDescriptor::FVarChannel channel;
    if (!uvCorners.empty()) {
        channel.numValues = uvCount;
        channel.valueIndices = uvCorners.data();
        descriptor.numFVarChannels = 1;
        descriptor.fvarChannels = &channel;
    }
    Sdc::Options options;
    options.SetVtxBoundaryInterpolation(Sdc::Options::VTX_BOUNDARY_EDGE_AND_CORNER);
    // UV islands stay put at their corners and where three or more islands meet; inside an
    // island, coordinates are smoothed like positions, so textures follow the surface.
    options.SetFVarLinearInterpolation(Sdc::Options::FVAR_LINEAR_CORNERS_PLUS1);
    using Factory = Far::TopologyRefinerFactory<Far::TopologyDescriptor>;
    std::unique_ptr<Far::TopologyRefiner> refiner(
        Factory::Create(descriptor, Factory::Options(Sdc::SCHEME_CATMARK, options)));
    if (!refiner)
        Error::Raise(Error::kCodeInvalidArgument, "tarnix::Geometry::Subdivide",
                     "framework/src/geometry.cpp", __LINE__,
                     QStringLiteral("the mesh's topology cannot be subdivided"));
    return refiner;
}

uint64_t Fingerprint(const Mesh& mesh) {
    uint64_t hash = 1469598103934665603ull ^ mesh.m_faceCount;
    for (uint32_t corner : mesh.m_cornerIndices) hash = (hash ^ corner) * 1099511628211ull;
    return hash;
}

}  // namespace

Geometry::Geometry() = default;
Geometry::~Geometry() = default;

SubdivisionLevel* Geometry::Level(uint32_t index) const {
    return index < m_levels.size() ? m_levels[index] : nullptr;
}

void Geometry::AddLevel(SubdivisionLevel* level, FaceVaryingUVs uvs) {
    m_uvs.push_back(std::move(uvs));
    level->m_geometry = this;
    level->m_index = uint32_t(m_levels.size());
    m_levels.push_back(level);
    AddChild(level);
}

std::unique_ptr<Geometry> Geometry::FromPolygons(const PolygonMesh& polygons, QStringList* changes) {
    QStringList cleaning;
    PolygonMesh cleaned = polygons.Cleaned(cleaning);
    for (const QString& line : cleaning) Kernel::Log(QStringLiteral("Mesh: %1").arg(line));
    if (changes) *changes << cleaning;

    auto geometry = std::make_unique<Geometry>();
    Store<uint32_t> corners("mesh corners");
    const bool quads = cleaned.IsAllQuads();
    if (quads) {
        if (!corners.Reserve(uint32_t(cleaned.faceVertices.size()))) throw &Error::s_cBadAlloc;
        for (uint32_t v : cleaned.faceVertices) corners.Append(v);
    } else {
        size_t offset = 0;
        for (uint32_t size : cleaned.faceSizes) {
            for (uint32_t k = 1; k + 1 < size; ++k)
                for (uint32_t corner : {0u, k, k + 1})
                    if (!corners.Append(cleaned.faceVertices[offset + corner])) throw &Error::s_cBadAlloc;
            offset += size;
        }
    }
    FaceVaryingUVs uvs;
    if (cleaned.HasUVs()) {
        uvs.values = cleaned.uvs;
        size_t offset = 0;
        for (uint32_t size : cleaned.faceSizes) {
            if (quads) {
                uvs.corners.insert(uvs.corners.end(), cleaned.faceUVs.begin() + offset,
                                   cleaned.faceUVs.begin() + offset + size);
            } else {
                for (uint32_t k = 1; k + 1 < size; ++k)
                    for (uint32_t corner : {0u, k, k + 1}) uvs.corners.push_back(cleaned.faceUVs[offset + corner]);
            }
            offset += size;
        }
    }
    geometry->m_firstQuadOfPolygon.assign(1, 0);
    for (uint32_t size : cleaned.faceSizes)
        geometry->m_firstQuadOfPolygon.push_back(geometry->m_firstQuadOfPolygon.back() + size);

    auto* base = new SubdivisionLevel;
    base->SetTopology(quads ? Mesh::kQuads : Mesh::kTriangles, corners,
                      &cleaned.positions.data()->x, uint32_t(cleaned.positions.size()));
    geometry->m_basePolygons = std::move(cleaned);
    geometry->m_baseFacesFingerprint = Fingerprint(*base);
    geometry->AddLevel(base, std::move(uvs));
    return geometry;
}

void Geometry::Subdivide(uint32_t levels) {
    if (levels == 0) return;
    const SubdivisionLevel* top = HighestLevel();
    std::vector<int> faceSizes, faceVertices, uvCorners;
    const FaceVaryingUVs* topUVs = UVs(top->Index());
    if (m_levels.size() == 1 && BaseFacesIntact()) {
        faceSizes.assign(m_basePolygons.faceSizes.begin(), m_basePolygons.faceSizes.end());
        faceVertices.assign(m_basePolygons.faceVertices.begin(), m_basePolygons.faceVertices.end());
        uvCorners.assign(m_basePolygons.faceUVs.begin(), m_basePolygons.faceUVs.end());
    } else {
        // Above level 0, or a level 0 whose faces a tessellating brush rewired: the level as it is.
        faceSizes.assign(top->m_faceCount, int(top->CornersPerFace()));
        faceVertices.assign(top->m_cornerIndices.begin(), top->m_cornerIndices.end());
        if (topUVs) uvCorners.assign(topUVs->corners.begin(), topUVs->corners.end());
    }
    std::unique_ptr<Far::TopologyRefiner> refiner = MakeRefiner(
        faceSizes, faceVertices, int(top->VertexCount()), uvCorners, topUVs ? int(topUVs->values.size()) : 0);
    // Levels are read face by face and interpolated here; no later topology query needs
    // OpenSubdiv's edge tables, so the last level is refined without them.
    Far::TopologyRefiner::UniformOptions options{int(levels)};
    options.fullTopologyInLastLevel = false;
    refiner->RefineUniform(options);

    std::vector<RefinedPoint> source(top->VertexCount());
    for (uint32_t v = 0; v < top->VertexCount(); ++v) {
        const float* p = top->m_vertices[v].position;
        source[v] = {p[0], p[1], p[2]};
    }
    std::vector<RefinedUV> sourceUVs, refinedUVs;
    if (topUVs)
        for (const TextureCoordinate& uv : topUVs->values) sourceUVs.push_back({uv.u, uv.v});
    Far::PrimvarRefiner interpolator(*refiner);
    std::vector<RefinedPoint> refined, renumbered;
    std::vector<uint32_t> newIndex;
    for (int level = 1; level <= int(levels); ++level) {
        const Far::TopologyLevel& topology = refiner->GetLevel(level);
        refined.resize(size_t(topology.GetNumVertices()));
        RefinedPoint* destination = refined.data();
        interpolator.Interpolate(level, source.data(), destination);
        // Vertices are numbered in the order the faces first use them: the faces run patch by
        // patch, so the vertices of a patch lie close together in memory.
        newIndex.assign(refined.size(), UINT32_MAX);
        renumbered.clear();
        Store<uint32_t> corners("mesh corners");
        if (!corners.Reserve(uint32_t(topology.GetNumFaces()) * 4)) throw &Error::s_cBadAlloc;
        for (int f = 0; f < topology.GetNumFaces(); ++f)
            for (int vertex : topology.GetFaceVertices(f)) {
                if (newIndex[size_t(vertex)] == UINT32_MAX) {
                    newIndex[size_t(vertex)] = uint32_t(renumbered.size());
                    renumbered.push_back(refined[size_t(vertex)]);
                }
                corners.Append(newIndex[size_t(vertex)]);
            }
        // Texture coordinates keep the refiner's numbering; faces name them corner by corner.
        FaceVaryingUVs uvs;
        if (!uvCorners.empty()) {
            refinedUVs.resize(size_t(topology.GetNumFVarValues(0)));
            RefinedUV* uvDestination = refinedUVs.data();
            interpolator.InterpolateFaceVarying(level, sourceUVs.data(), uvDestination, 0);
            for (const RefinedUV& uv : refinedUVs) uvs.values.push_back({uv.u, uv.v});
            uvs.corners.reserve(size_t(topology.GetNumFaces()) * 4);
            for (int f = 0; f < topology.GetNumFaces(); ++f)
                for (int value : topology.GetFaceFVarValues(f, 0)) uvs.corners.push_back(uint32_t(value));
            sourceUVs.swap(refinedUVs);
        }
        auto* subdivided = new SubdivisionLevel;
        subdivided->SetTopology(Mesh::kQuads, corners, &renumbered.data()->x, uint32_t(renumbered.size()));
        AddLevel(subdivided, std::move(uvs));
        // The next level is refined from this one in the refiner's own numbering.
        source.swap(refined);
    }
}

bool Geometry::BaseFacesIntact() const {
    return Fingerprint(*LowestLevel()) == m_baseFacesFingerprint;
}

const FaceVaryingUVs* Geometry::UVs(uint32_t level) const {
    if (level >= m_uvs.size() || m_uvs[level].corners.empty() || !BaseFacesIntact()) return nullptr;
    return &m_uvs[level];
}

std::vector<uint32_t> Geometry::BasePolygonOfFaces(uint32_t level) const {
    const SubdivisionLevel* mesh = Level(level);
    if (!mesh || !BaseFacesIntact()) return {};
    std::vector<uint32_t> polygons(mesh->m_faceCount);
    const std::vector<uint32_t>& firstQuad = m_firstQuadOfPolygon;
    if (level == 0 && mesh->m_faceKind == Mesh::kQuads) {
        for (uint32_t f = 0; f < mesh->m_faceCount; ++f) polygons[f] = f;
    } else if (level == 0) {
        // Each polygon of n corners became a fan of n - 2 triangles.
        uint32_t polygon = 0;
        for (uint32_t f = 0; f < mesh->m_faceCount; ++f) {
            while (f >= firstQuad[polygon + 1] - 2 * (polygon + 1)) ++polygon;
            polygons[f] = polygon;
        }
    } else {
        const uint32_t shift = 2 * (level - 1);
        uint32_t polygon = 0;
        for (uint32_t f = 0; f < mesh->m_faceCount; ++f) {
            while ((f >> shift) >= firstQuad[polygon + 1]) ++polygon;
            polygons[f] = polygon;
        }
    }
    return polygons;
}

// ---- undo ------------------------------------------------------------------------------------

namespace {
std::atomic<uint64_t> s_undoBudget{Geometry::kDefaultUndoBudget};
}  // namespace

void Geometry::SetUndoBudget(uint64_t bytes) { s_undoBudget = bytes; }

uint64_t Geometry::UndoBudget() { return s_undoBudget; }

uint64_t Geometry::UndoBytes() const {
    uint64_t bytes = 0;
    for (const auto& change : m_undo) bytes += change->Bytes();
    for (const auto& change : m_redo) bytes += change->Bytes();
    return bytes;
}

void Geometry::CommitChange(std::unique_ptr<MeshChange> change) {
    m_redo.clear();
    m_undo.push_back(std::move(change));
    uint64_t bytes = UndoBytes();
    size_t oldest = 0;
    while (m_undo.size() - oldest > 1 && (m_undo.size() - oldest > kMaximumUndoDepth || bytes > s_undoBudget))
        bytes -= m_undo[oldest++]->Bytes();
    m_undo.erase(m_undo.begin(), m_undo.begin() + ptrdiff_t(oldest));
}

void Geometry::ApplyChange(MeshChange& change) {
    change.Swap();
    Mesh* mesh = change.GetMesh();
    mesh->UpdateBoundingBox(AxisAlignedBoundingBox());
    mesh->ContentChanged();
    if (SpatialGrid* grid = mesh->Grid(false)) grid->Update();
}

bool Geometry::Undo() {
    if (m_undo.empty()) return false;
    ApplyChange(*m_undo.back());
    m_redo.push_back(std::move(m_undo.back()));
    m_undo.pop_back();
    return true;
}

bool Geometry::Redo() {
    if (m_redo.empty()) return false;
    ApplyChange(*m_redo.back());
    m_undo.push_back(std::move(m_redo.back()));
    m_redo.pop_back();
    return true;
}

}  // namespace tarnix
