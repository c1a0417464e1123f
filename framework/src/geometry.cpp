#include "tarnix/geometry.h"

#include <atomic>

#include <opensubdiv/far/primvarRefiner.h>
#include <opensubdiv/far/stencilTable.h>
#include <opensubdiv/far/stencilTableFactory.h>
#include <opensubdiv/far/topologyDescriptor.h>
#include <opensubdiv/far/topologyRefinerFactory.h>

#include "tarnix/error.h"
#include "tarnix/kernel.h"
#include "tarnix/mesh_change.h"
#include "tarnix/spatial_grid.h"

namespace tarnix {
namespace {

using namespace OpenSubdiv;

// The point type OpenSubdiv's primvar refiner interpolates. The sums are kept in double and
// rounded to float once per level: a vertex's weighted sum then rounds to the same float
// whatever order its terms come in, so that a mesh symmetric to the bit stays so level after
// level (a mirrored stroke relies on it to be the exact mirror image of its dab).
struct RefinedPoint {
    double x, y, z;
    void Clear() { x = y = z = 0.0; }
    void AddWithWeight(const RefinedPoint& p, float weight) {
        x += double(weight) * p.x;
        y += double(weight) * p.y;
        z += double(weight) * p.z;
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
                                                  const std::vector<int>& faceVertices, int vertexCount,
                                                  const std::vector<int>& uvCorners, int uvCount) {
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
        Error::Raise(Error::kCodeInvalidArgument, "tarnix::Geometry::Subdivide", "framework/src/geometry.cpp", __LINE__,
                     QStringLiteral("the mesh's topology cannot be subdivided"));
    return refiner;
}

using Moves = std::vector<std::pair<uint32_t, Vector>>;

// One Catmull-Clark step of a displacement `d` of a quad level (non-zero at the vertices of
// `moved`), applied by the rules themselves to the vertices of the level above it reaches: the
// points of the faces around the moved vertices, of those faces' edges and of their corners.
// The children of quad f are the quads 4f .. 4f+3: the face point is child 0's corner 2, the
// point of edge k child k's corner k + 1, the point of corner k child k's corner k. Borders
// follow the refinement's "edge and corner" rule: border edges are halved, border vertices
// take 3/4 of themselves and 1/8 of each border neighbour, and a vertex of one face (or of more
// than two border edges) stays put.
void RefineQuadDisplacement(const Mesh& lower, const Mesh& upper, const std::vector<Vector>& d, const Moves& moved,
                            Moves& next) {
    std::vector<uint8_t> faceDone(lower.m_faceCount, 0), vertexDone(upper.VertexCount(), 0);
    const auto facePoint = [&](uint32_t f) {
        const uint32_t* c = lower.FaceCorners(f);
        return (d[c[0]] + d[c[1]] + d[c[2]] + d[c[3]]) * 0.25f;
    };
    const auto vertexPoint = [&](uint32_t v) {
        uint32_t count = 0;
        const uint32_t* faces = lower.FacesAroundVertex(v, count);
        Vector ring, facePoints, border;
        uint32_t borders = 0;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t* c = lower.FaceCorners(faces[i]);
            uint32_t j = 0;
            while (j < 3 && c[j] != v) ++j;
            ring += d[c[(j + 1) % 4]];  // every edge neighbour once around an inner vertex
            facePoints += facePoint(faces[i]);
            if (lower.EdgeAdjacency(faces[i], j) >= Mesh::kOpenBorder) {
                border += d[c[(j + 1) % 4]];
                ++borders;
            }
            if (lower.EdgeAdjacency(faces[i], (j + 3) % 4) >= Mesh::kOpenBorder) {
                border += d[c[(j + 3) % 4]];
                ++borders;
            }
        }
        if (borders == 0) {
            const float n = float(count);
            return d[v] * ((n - 2.0f) / n) + (ring + facePoints) * (1.0f / (n * n));
        }
        if (borders == 2 && count > 1) return d[v] * 0.75f + border * 0.125f;
        return d[v];
    };
    const auto emit = [&](uint32_t vertex, const Vector& move) {
        if (vertexDone[vertex]) return;
        vertexDone[vertex] = 1;
        if (move.x != 0.0f || move.y != 0.0f || move.z != 0.0f) next.emplace_back(vertex, move);
    };
    for (const auto& moving : moved) {
        uint32_t count = 0;
        const uint32_t* faces = lower.FacesAroundVertex(moving.first, count);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t f = faces[i];
            if (faceDone[f]) continue;
            faceDone[f] = 1;
            const uint32_t* c = lower.FaceCorners(f);
            emit(upper.FaceCorners(4 * f)[2], facePoint(f));
            for (uint32_t k = 0; k < 4; ++k) {
                const uint32_t* child = upper.FaceCorners(4 * f + k);
                const uint32_t across = lower.EdgeAdjacency(f, k);
                const Vector ends = d[c[k]] + d[c[(k + 1) % 4]];
                emit(child[(k + 1) % 4], across >= Mesh::kOpenBorder
                                             ? ends * 0.5f
                                             : (ends + facePoint(f) + facePoint(across >> 2)) * 0.25f);
                emit(child[k], vertexPoint(c[k]));
            }
        }
    }
}

uint64_t Fingerprint(const Mesh& mesh) {
    uint64_t hash = 1469598103934665603ull ^ mesh.m_faceCount;
    for (uint32_t corner : mesh.m_cornerIndices) hash = (hash ^ corner) * 1099511628211ull;
    return hash;
}

}  // namespace

// One refinement step from level L to level L + 1: stencil s gives vertex target[s] of L + 1
// as weights of L's vertices; readers lists, per vertex of L, the stencils that read it.
struct Geometry::FollowStencils {
    uint64_t lowerStamp = 0, upperStamp = 0;  // the topologies the stencils were made for
    std::unique_ptr<const Far::StencilTableReal<float>> table;
    std::vector<uint32_t> target;
    std::vector<uint32_t> readerStart, readers;
};

Geometry::Geometry() = default;
Geometry::~Geometry() = default;

SubdivisionLevel* Geometry::Level(uint32_t index) const { return index < m_levels.size() ? m_levels[index] : nullptr; }

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
    base->SetTopology(quads ? Mesh::kQuads : Mesh::kTriangles, corners, &cleaned.positions.data()->x,
                      uint32_t(cleaned.positions.size()));
    geometry->m_basePolygons = std::move(cleaned);
    geometry->m_baseFacesFingerprint = Fingerprint(*base);
    geometry->AddLevel(base, std::move(uvs));
    return geometry;
}

void Geometry::PrepareForStrokes(const SubdivisionLevel& level) const {
    for (const SubdivisionLevel* each : m_levels) {
        if (each->m_vertexFaceStart.Count() != each->VertexCount() + 1) each->BuildVertexFaces();
        if (each->m_adjacency.Count() != 4 * each->m_faceCount) each->BuildAdjacency();
    }
    // A level of triangles is sculpted vertex by vertex, which reads its neighbour and walk
    // lists at every dab; the other levels are not sculpted and go without (a scan opened,
    // then subdivided, no longer holds its base's lists).
    if (level.m_faceKind == Mesh::kTriangles) {
        if (level.m_neighbourStart.Count() != level.VertexCount() + 1) level.BuildNeighbours();
        if (level.m_walkStart.Count() != level.VertexCount() + 1) level.BuildWalkNeighbours();
    }
    for (const SubdivisionLevel* each : m_levels) {
        if (each == &level) continue;
        each->m_neighbourStart.Release();
        each->m_neighbours.Release();
        each->m_walkStart.Release();
        each->m_walkNeighbours.Release();
    }
    // Pages for a stroke that reaches an eighth of the level: a longer one faults in the rest
    // as it goes, a few milliseconds per hundred megabytes, while pages for every vertex
    // would hold 32 bytes a vertex for strokes that never come.
    MeshChange::KeepPagesAhead(level.VertexCount() / 8);
}

void Geometry::FreeGridsBut(const SubdivisionLevel& level) {
    for (SubdivisionLevel* each : m_levels)
        if (each != &level) each->m_grid.reset();
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
    std::unique_ptr<Far::TopologyRefiner> refiner = MakeRefiner(faceSizes, faceVertices, int(top->VertexCount()),
                                                                uvCorners, topUVs ? int(topUVs->values.size()) : 0);
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
    std::vector<RefinedPoint> refined;
    std::vector<float> renumbered;  // x, y, z of each vertex
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
        renumbered.reserve(3 * refined.size());
        Store<uint32_t> corners("mesh corners");
        if (!corners.Reserve(uint32_t(topology.GetNumFaces()) * 4)) throw &Error::s_cBadAlloc;
        for (int f = 0; f < topology.GetNumFaces(); ++f)
            for (int vertex : topology.GetFaceVertices(f)) {
                if (newIndex[size_t(vertex)] == UINT32_MAX) {
                    newIndex[size_t(vertex)] = uint32_t(renumbered.size() / 3);
                    const RefinedPoint& p = refined[size_t(vertex)];
                    renumbered.insert(renumbered.end(), {float(p.x), float(p.y), float(p.z)});
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
        if (level == int(levels)) {
            // Everything is read from OpenSubdiv: its tables for all levels and the points in
            // double go before the top level makes its own arrays, which would else add to them.
            refiner.reset();
            std::vector<RefinedPoint>().swap(source);
            std::vector<RefinedPoint>().swap(refined);
            std::vector<uint32_t>().swap(newIndex);
        }
        auto* subdivided = new SubdivisionLevel;
        subdivided->SetTopology(Mesh::kQuads, corners, renumbered.data(), uint32_t(renumbered.size() / 3));
        AddLevel(subdivided, std::move(uvs));
        // The next level is refined from this one in the refiner's own numbering.
        source.swap(refined);
    }
}

bool Geometry::BaseFacesIntact() const { return Fingerprint(*LowestLevel()) == m_baseFacesFingerprint; }

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

const Geometry::FollowStencils* Geometry::StencilsAbove(uint32_t index) {
    const SubdivisionLevel* lower = Level(index);
    const SubdivisionLevel* upper = Level(index + 1);
    if (!upper) return nullptr;
    if (m_followStencils.size() < m_levels.size()) m_followStencils.resize(m_levels.size());
    std::unique_ptr<FollowStencils>& cached = m_followStencils[index];
    if (cached && cached->lowerStamp == lower->TopologyStamp() && cached->upperStamp == upper->TopologyStamp())
        return cached.get();
    cached.reset();

    // The step as Subdivide took it: from the base polygons for level 0, else the level's quads.
    std::vector<int> faceSizes, faceVertices;
    if (index == 0) {
        if (!BaseFacesIntact()) return nullptr;
        faceSizes.assign(m_basePolygons.faceSizes.begin(), m_basePolygons.faceSizes.end());
        faceVertices.assign(m_basePolygons.faceVertices.begin(), m_basePolygons.faceVertices.end());
    } else {
        faceSizes.assign(lower->m_faceCount, int(lower->CornersPerFace()));
        faceVertices.assign(lower->m_cornerIndices.begin(), lower->m_cornerIndices.end());
    }
    std::unique_ptr<Far::TopologyRefiner> refiner =
        MakeRefiner(faceSizes, faceVertices, int(lower->VertexCount()), {}, 0);
    Far::TopologyRefiner::UniformOptions refine{1};
    refine.fullTopologyInLastLevel = false;
    refiner->RefineUniform(refine);

    // The refiner numbers the new vertices its own way; the faces, made in the same order as
    // the upper level's, tell which vertex of the upper level each one is. A level whose
    // faces or vertices no longer match (rewired by a tessellating brush) does not follow.
    const Far::TopologyLevel& refined = refiner->GetLevel(1);
    if (uint32_t(refined.GetNumFaces()) != upper->m_faceCount ||
        uint32_t(refined.GetNumVertices()) != upper->VertexCount() || upper->m_faceKind != Mesh::kQuads)
        return nullptr;
    auto stencils = std::make_unique<FollowStencils>();
    stencils->target.assign(upper->VertexCount(), UINT32_MAX);
    for (int f = 0; f < refined.GetNumFaces(); ++f) {
        const Far::ConstIndexArray corners = refined.GetFaceVertices(f);
        const uint32_t* ours = upper->FaceCorners(uint32_t(f));
        for (int k = 0; k < corners.size(); ++k) {
            uint32_t& target = stencils->target[size_t(corners[k])];
            if (target != UINT32_MAX && target != ours[k]) return nullptr;
            target = ours[k];
        }
    }
    // The float factory itself: its compatibility wrapper downcasts to a type the table is not.
    Far::StencilTableFactoryReal<float>::Options options;
    options.generateIntermediateLevels = false;
    options.generateOffsets = true;
    options.maxLevel = 1;
    stencils->table.reset(Far::StencilTableFactoryReal<float>::Create(*refiner, options));
    const Far::StencilTableReal<float>& table = *stencils->table;
    if (uint32_t(table.GetNumStencils()) != upper->VertexCount()) return nullptr;

    const std::vector<int>& sizes = table.GetSizes();
    const std::vector<Far::Index>& offsets = table.GetOffsets();
    const std::vector<Far::Index>& sources = table.GetControlIndices();
    stencils->readerStart.assign(size_t(lower->VertexCount()) + 1, 0);
    for (Far::Index source : sources) ++stencils->readerStart[size_t(source) + 1];
    for (size_t v = 0; v < lower->VertexCount(); ++v) stencils->readerStart[v + 1] += stencils->readerStart[v];
    stencils->readers.resize(sources.size());
    std::vector<uint32_t> fill(stencils->readerStart.begin(), stencils->readerStart.end() - 1);
    for (size_t s = 0; s < sizes.size(); ++s)
        for (int k = 0; k < sizes[s]; ++k)
            stencils->readers[fill[size_t(sources[size_t(offsets[s] + k)])]++] = uint32_t(s);
    stencils->lowerStamp = lower->TopologyStamp();
    stencils->upperStamp = upper->TopologyStamp();
    cached = std::move(stencils);
    return cached.get();
}

void Geometry::CarryUp(MeshChange& change) {
    uint32_t index = 0;
    while (index < m_levels.size() && m_levels[index] != change.GetMesh()) ++index;
    if (index + 1 >= m_levels.size() || change.KeepsTopology()) return;

    // What the change moved on its level: current minus kept position, per vertex.
    std::vector<std::pair<uint32_t, Vector>> moved;
    const Mesh& sculpted = *m_levels[index];
    for (uint32_t slot = 0; slot < change.Count(); ++slot) {
        const StoredVertexInfo& entry = change[slot];
        const Vector kept(entry.m_position[0], entry.m_position[1], entry.m_position[2]);
        const Vector move = sculpted.VertexPosition(entry.m_vertex) - kept;
        if (move.x != 0.0f || move.y != 0.0f || move.z != 0.0f) moved.emplace_back(entry.m_vertex, move);
    }

    std::vector<Vector> displacement;
    std::vector<uint8_t> seen;
    std::vector<uint32_t> touched, around;
    for (; !moved.empty() && index + 1 < m_levels.size(); ++index) {
        const SubdivisionLevel& lower = *m_levels[index];
        SubdivisionLevel& upper = *m_levels[index + 1];
        // The refinement is linear: the level above moves by the refined displacement, only
        // where the displacement reaches.
        displacement.assign(lower.VertexCount(), Vector());
        for (const auto& [vertex, move] : moved) displacement[vertex] = move;
        Moves next;
        if (lower.m_faceKind == Mesh::kQuads && upper.m_faceCount == 4 * lower.m_faceCount &&
            (index > 0 || BaseFacesIntact())) {
            // Quads refine by the rules directly: nothing to build, nothing to keep.
            RefineQuadDisplacement(lower, upper, displacement, moved, next);
        } else {
            // Triangles stand for the base polygons: OpenSubdiv's stencils of the step.
            const FollowStencils* stencils = StencilsAbove(index);
            if (!stencils) return;
            seen.assign(upper.VertexCount(), 0);
            touched.clear();
            for (const auto& [vertex, move] : moved)
                for (uint32_t r = stencils->readerStart[vertex]; r < stencils->readerStart[vertex + 1]; ++r) {
                    const uint32_t stencil = stencils->readers[r];
                    if (!seen[stencil]) touched.push_back(stencil);
                    seen[stencil] = 1;
                }
            const Far::StencilTableReal<float>& table = *stencils->table;
            for (uint32_t stencil : touched) {
                const Far::Index offset = table.GetOffsets()[stencil];
                const int size = table.GetSizes()[stencil];
                Vector sum;
                for (int k = 0; k < size; ++k)
                    sum += displacement[size_t(table.GetControlIndices()[size_t(offset + k)])] *
                           table.GetWeights()[size_t(offset + k)];
                if (sum.x != 0.0f || sum.y != 0.0f || sum.z != 0.0f) next.emplace_back(stencils->target[stencil], sum);
            }
        }
        if (next.empty()) return;

        // Every vertex whose position or normal changes gets an entry before anything moves.
        seen.assign(upper.VertexCount(), 0);
        around.clear();
        for (const auto& [vertex, move] : next) {
            uint32_t faces = 0;
            const uint32_t* faceList = upper.FacesAroundVertex(vertex, faces);
            for (uint32_t f = 0; f < faces; ++f)
                for (uint32_t k = 0; k < 4; ++k) {
                    const uint32_t corner = upper.FaceCorners(faceList[f])[k];
                    if (!seen[corner]) around.push_back(corner);
                    seen[corner] = 1;
                }
        }
        auto follower = std::make_unique<MeshChange>(&upper);
        for (uint32_t vertex : around) {
            uint32_t faces = 0;
            const uint32_t* faceList = upper.FacesAroundVertex(vertex, faces);
            follower->FindOrAdd(vertex, faces ? faceList[0] : 0);
        }
        for (const auto& [vertex, move] : next) upper.SetVertexPosition(vertex, upper.VertexPosition(vertex) + move);
        upper.RecomputeNormals(around.data(), uint32_t(around.size()));
        upper.UpdateBoundingBox(AxisAlignedBoundingBox());
        upper.ContentChanged();
        if (SpatialGrid* grid = upper.Grid(false)) grid->Update();
        change.AddFollower(std::move(follower));
        moved.swap(next);
    }
}

void Geometry::CommitChange(std::unique_ptr<MeshChange> change) {
    m_redo.clear();
    CarryUp(*change);
    // The history now holds this change's pages; a stroke like it comes next.
    uint64_t entries = change->Count();
    for (uint32_t i = 0; i < change->FollowerCount(); ++i) entries += change->Follower(i).Count();
    MeshChange::KeepPagesAheadInBackground(entries);
    m_undo.push_back(std::move(change));
    uint64_t bytes = UndoBytes();
    size_t oldest = 0;
    while (m_undo.size() - oldest > 1 && (m_undo.size() - oldest > kMaximumUndoDepth || bytes > s_undoBudget))
        bytes -= m_undo[oldest++]->Bytes();
    m_undo.erase(m_undo.begin(), m_undo.begin() + ptrdiff_t(oldest));
}

void Geometry::ApplyChange(MeshChange& change) {
    change.Swap();
    const auto refresh = [](Mesh* mesh) {
        mesh->UpdateBoundingBox(AxisAlignedBoundingBox());
        mesh->ContentChanged();
        if (SpatialGrid* grid = mesh->Grid(false)) grid->Update();
    };
    refresh(change.GetMesh());
    for (uint32_t i = 0; i < change.FollowerCount(); ++i) refresh(change.Follower(i).GetMesh());
}

bool Geometry::DropLatestChange() {
    if (m_undo.empty()) return false;
    m_undo.pop_back();
    return true;
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
