#include "tarnix/mesh.h"

#include <atomic>

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <unordered_set>
#include <vector>

#include "tarnix/error.h"
#include "tarnix/geometry.h"
#include "tarnix/math/hw_vector.h"
#include "tarnix/mesh_change.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/topological_symmetry.h"

namespace tarnix {
namespace {

[[noreturn]] void FailMesh(const char* function, int line, const QString& text) {
    Error::Raise(Error::kCodeInvalidArgument, function, "framework/src/mesh.cpp", line, text);
}

}  // namespace

namespace {
uint64_t NextTopologyStamp() {
    static std::atomic<uint64_t> stamps{0};
    return ++stamps;
}
}  // namespace

Mesh::Mesh() : m_topologyStamp(NextTopologyStamp()) {}
Mesh::~Mesh() = default;

void Mesh::SetPendingUpdateBox(const AxisAlignedBoundingBox& box) {
    AxisAlignedBoundingBox fittedReport = m_pendingUpdate;
    fittedReport.Extend(m_justFitted);
    if (m_justFitted.IsEmpty() || !(box == fittedReport)) m_movedArea.Extend(box);
    m_justFitted.SetEmpty();
    m_pendingUpdate = box;
}

void Mesh::SetVertexPosition(uint32_t vertex, const Vector& position) {
    float* p = m_vertices[vertex].position;
    NoteMoved(Vector(p[0], p[1], p[2]));
    NoteMoved(position);
    p[0] = position.x;
    p[1] = position.y;
    p[2] = position.z;
}

void Mesh::SetTopology(FaceKind kind, Store<uint32_t>& cornerIndices, const float* positions, uint32_t vertexCount) {
    const uint32_t cornersPerFace = kind == kQuads ? 4 : 3;
    if (cornerIndices.Count() % cornersPerFace != 0)
        FailMesh("tarnix::Mesh::SetTopology", __LINE__,
                 QStringLiteral("%1 corner entries do not make whole faces of %2 corners")
                     .arg(cornerIndices.Count())
                     .arg(cornersPerFace));
    for (uint32_t corner : cornerIndices)
        if (corner >= vertexCount)
            FailMesh("tarnix::Mesh::SetTopology", __LINE__,
                     QStringLiteral("corner names vertex %1 of %2").arg(corner).arg(vertexCount));

    m_faceKind = kind;
    m_faceCount = cornerIndices.Count() / cornersPerFace;
    if (!m_cornerIndices.Reserve(cornerIndices.Count()) || !m_vertices.Reserve(vertexCount) ||
        !m_normals.Reserve(vertexCount) || !m_faceFlags.Reserve(m_faceCount))
        throw &Error::s_cBadAlloc;
    Block::CopyMemoryBlock(m_cornerIndices.Data(), cornerIndices.Data(),
                           size_t(cornerIndices.Count()) * sizeof(uint32_t));
    m_cornerIndices.SetCount(cornerIndices.Count());
    m_vertices.SetCount(vertexCount);
    for (uint32_t v = 0; v < vertexCount; ++v) {
        VertexRecord& record = m_vertices[v];
        std::memcpy(record.position, positions + 3 * size_t(v), 3 * sizeof(float));
        record.undoSlot = kNone;
        record.freeze = 0;
        std::memset(record.reserved, 0, sizeof(record.reserved));
    }
    m_normals.SetCount(vertexCount);
    m_faceFlags.SetCount(m_faceCount);
    // An empty store has no memory to point at, even for no bytes.
    if (m_faceCount) std::memset(m_faceFlags.Data(), kFaceSculptable, m_faceCount);
    m_frozenCount = 0;
    InvalidateTopology();
    RecomputeNormals();
    UpdateBoundingBox(AxisAlignedBoundingBox());
    ContentChanged();
}

void Mesh::InvalidateTopology() {
    ReleaseTopologyCaches();
    m_currentChange.reset();
}

void Mesh::ReleaseTopologyCaches() {
    m_topologyStamp = NextTopologyStamp();
    m_adjacency.Release();
    m_vertexFaceStart.Release();
    m_vertexFaces.Release();
    m_neighbourStart.Release();
    m_neighbours.Release();
    m_walkStart.Release();
    m_walkNeighbours.Release();
    m_faceMarks.Release();
    m_vertexMarks.Release();
    m_grid.reset();
    m_symmetry.reset();
}

void Mesh::BeginTopologyEdit() { CurrentChange()->KeepTopology(); }

uint32_t Mesh::AppendVertex(const Vector& position, uint8_t freeze) {
    VertexRecord record{};
    record.position[0] = position.x;
    record.position[1] = position.y;
    record.position[2] = position.z;
    record.undoSlot = kNone;
    record.freeze = freeze;
    if (!m_vertices.Append(record) || !m_normals.Append(PackedNormal{0, 0, 0, 0})) throw &Error::s_cBadAlloc;
    return m_vertices.Count() - 1;
}

uint32_t Mesh::AppendFace(const uint32_t* corners, uint8_t flags) {
    for (uint32_t k = 0; k < CornersPerFace(); ++k)
        if (!m_cornerIndices.Append(corners[k])) throw &Error::s_cBadAlloc;
    if (!m_faceFlags.Append(flags)) throw &Error::s_cBadAlloc;
    return m_faceCount++;
}

void Mesh::SetFaceCorners(uint32_t face, const uint32_t* corners) {
    std::copy(corners, corners + CornersPerFace(), m_cornerIndices.Data() + size_t(face) * CornersPerFace());
}

void Mesh::DropCollapsedFaces() {
    const uint32_t cornersPerFace = CornersPerFace();
    uint32_t kept = 0;
    for (uint32_t f = 0; f < m_faceCount; ++f) {
        const uint32_t* c = FaceCorners(f);
        if (std::all_of(c, c + cornersPerFace, [c](uint32_t v) { return v == c[0]; })) continue;
        std::copy(c, c + cornersPerFace, m_cornerIndices.Data() + size_t(kept) * cornersPerFace);
        m_faceFlags[kept++] = m_faceFlags[f];
    }
    m_faceCount = kept;
    m_cornerIndices.SetCount(kept * cornersPerFace);
    m_faceFlags.SetCount(kept);
    TopologyChanged();
}

void Mesh::TopologyChanged() {
    ReleaseTopologyCaches();
    m_frozenCount = 0;
    for (const VertexRecord& record : m_vertices) m_frozenCount += (record.freeze & kFreezeStrengthMask) != 0;
    RecomputeNormals();
    m_boundingBoxStale = true;
    ContentChanged();
}

void Mesh::RecomputeNormals() {
    const uint32_t vertexCount = VertexCount();
    std::vector<Vector> sums(vertexCount);
    const uint32_t cornersPerFace = CornersPerFace();
    for (uint32_t f = 0; f < m_faceCount; ++f) {
        const Vector n = FaceNormal(f);
        const uint32_t* c = FaceCorners(f);
        for (uint32_t k = 0; k < cornersPerFace; ++k) sums[c[k]] += n;
    }
    for (uint32_t v = 0; v < vertexCount; ++v) {
        PackedNormal& normal = m_normals[v];
        PackNormal(HWVector(sums[v].Normalized()), normal);
        normal.w = 0;
    }
}

void Mesh::RecomputeNormals(const uint32_t* vertices, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t faces = 0;
        const uint32_t* around = FacesAroundVertex(vertices[i], faces);
        Vector sum;
        for (uint32_t k = 0; k < faces; ++k) sum += FaceNormal(around[k]);
        PackedNormal& normal = m_normals[vertices[i]];
        PackNormal(HWVector(sum.Normalized()), normal);
        normal.w = 0;
    }
}

Transformation* Mesh::GetTransformation() const { return m_geometry ? &m_geometry->GetTransformation() : nullptr; }

// ---- topology --------------------------------------------------------------------------------

void Mesh::BuildVertexFaces() const {
    // Faces around each vertex as compressed rows: a count pass, a prefix sum, a fill pass.
    const uint32_t vertexCount = VertexCount();
    const uint32_t cornersPerFace = CornersPerFace();
    if (!m_vertexFaceStart.Assign(vertexCount + 1, 0) || !m_vertexFaces.Assign(m_faceCount * cornersPerFace, 0))
        throw &Error::s_cBadAlloc;
    uint32_t* start = m_vertexFaceStart.Data();
    for (uint32_t corner : m_cornerIndices) ++start[corner + 1];
    for (uint32_t v = 0; v < vertexCount; ++v) start[v + 1] += start[v];
    std::vector<uint32_t> fill(start, start + vertexCount);
    for (uint32_t f = 0; f < m_faceCount; ++f) {
        const uint32_t* c = FaceCorners(f);
        for (uint32_t k = 0; k < cornersPerFace; ++k) m_vertexFaces[fill[c[k]]++] = f;
    }
}

void Mesh::BuildAdjacency() const {
    // Each side (a, b) finds the faces that run the same edge among those around whichever
    // end has fewer (every such face holds both ends), so that a vertex of many faces costs
    // no more than its own edges; exactly one other face makes a neighbour, none or several
    // an open edge.
    const uint32_t cornersPerFace = CornersPerFace();
    if (!m_adjacency.Assign(m_faceCount * 4, kOpenBorder)) throw &Error::s_cBadAlloc;
    for (uint32_t f = 0; f < m_faceCount; ++f) {
        const uint32_t* c = FaceCorners(f);
        for (uint32_t side = 0; side < cornersPerFace; ++side) {
            const uint32_t a = c[side], b = c[(side + 1) % cornersPerFace];
            uint32_t count = 0, countAtB = 0, answer = kOpenBorder, matches = 0;
            const uint32_t* faces = FacesAroundVertex(a, count);
            const uint32_t* facesAtB = FacesAroundVertex(b, countAtB);
            if (countAtB < count) {
                faces = facesAtB;
                count = countAtB;
            }
            for (uint32_t i = 0; i < count; ++i) {
                const uint32_t g = faces[i];
                if (g == f) continue;
                const uint32_t* d = FaceCorners(g);
                for (uint32_t s = 0; s < cornersPerFace; ++s) {
                    const uint32_t p = d[s], q = d[(s + 1) % cornersPerFace];
                    if ((p == b && q == a) || (p == a && q == b)) {
                        answer = 4 * g + s;
                        ++matches;
                    }
                }
            }
            m_adjacency[4 * f + side] = matches == 1 ? answer : kOpenBorder;
        }
    }
}

uint32_t Mesh::EdgeAdjacency(uint32_t face, uint32_t side) const {
    if (m_adjacency.Count() != 4 * m_faceCount) BuildAdjacency();
    return m_adjacency[4 * face + side];
}

namespace {

// The scratch of ForEachNeighbour for vertices of many faces: a mark per vertex, stamped with
// the number of the call that found it, so that a neighbour found again is known in constant
// time and nothing is allocated per call. One per thread; `busy` while a call uses it.
struct NeighbourMarks {
    std::vector<uint32_t> marks;
    uint32_t stamp = 0;
    bool busy = false;
};
thread_local NeighbourMarks t_neighbourMarks;

// The neighbours of `vertex` worked out from the faces around it, in the order
// EnumerateAdjacentVertices promises: `report(neighbour, face)` for each. First the corner after
// the vertex in each face, then the one before it; `once` drops a neighbour already reported.
template <uint32_t kCorners, class Once>
void ReportCornersAround(const Mesh& mesh, uint32_t vertex, const uint32_t* faces, uint32_t count, Once&& once) {
    for (uint32_t step : {1u, kCorners - 1}) {
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t* c = mesh.FaceCorners(faces[i]);
            for (uint32_t k = 0; k < kCorners; ++k)
                if (c[k] == vertex) once(c[(k + step) % kCorners], faces[i]);
        }
    }
}

template <class Report>
void ForEachNeighbour(const Mesh& mesh, uint32_t vertex, Report&& report) {
    uint32_t count = 0;
    const uint32_t* faces = mesh.FacesAroundVertex(vertex, count);
    const auto around = [&](auto&& once) {
        if (mesh.m_faceKind == Mesh::kQuads) ReportCornersAround<4>(mesh, vertex, faces, count, once);
        else ReportCornersAround<3>(mesh, vertex, faces, count, once);
    };
    // A vertex has at most two neighbours per face around it. A few are found again by a look
    // through those reported; past that, by the marks above, so that the cost stays linear in
    // the valence (a call nested in a report takes a set instead).
    if (2 * count <= 64) {
        uint32_t reported[64];
        uint32_t reportedCount = 0;
        around([&](uint32_t neighbour, uint32_t face) {
            for (uint32_t i = 0; i < reportedCount; ++i)
                if (reported[i] == neighbour) return;
            reported[reportedCount++] = neighbour;
            report(neighbour, face);
        });
        return;
    }
    NeighbourMarks& marks = t_neighbourMarks;
    if (marks.busy) {
        std::unordered_set<uint32_t> reportedSet;
        around([&](uint32_t neighbour, uint32_t face) {
            if (reportedSet.insert(neighbour).second) report(neighbour, face);
        });
        return;
    }
    if (marks.marks.size() < mesh.VertexCount()) marks.marks.resize(mesh.VertexCount(), 0);
    if (++marks.stamp == 0) {
        std::fill(marks.marks.begin(), marks.marks.end(), 0u);
        marks.stamp = 1;
    }
    marks.busy = true;
    const struct Release {
        NeighbourMarks& marks;
        ~Release() { marks.busy = false; }
    } release{marks};
    around([&](uint32_t neighbour, uint32_t face) {
        if (marks.marks[neighbour] == marks.stamp) return;
        marks.marks[neighbour] = marks.stamp;
        report(neighbour, face);
    });
}

}  // namespace

void Mesh::EnumerateAdjacentVertices(AdjacentVertexEnumerator* enumerator, uint32_t vertex,
                                     uint32_t /*faceHint*/) const {
    if (m_neighbourStart.Count() == VertexCount() + 1) {
        uint32_t count = 0;
        const VertexNeighbour* neighbours = VertexNeighbours(vertex, count);
        for (uint32_t i = 0; i < count; ++i) enumerator->Operator(neighbours[i].vertex, neighbours[i].face);
        return;
    }
    ForEachNeighbour(*this, vertex,
                     [enumerator](uint32_t neighbour, uint32_t face) { enumerator->Operator(neighbour, face); });
}

namespace {

// Fills `start` and `lists` with a list per vertex: `listVertex(v, append)` calls
// `append(neighbour, face)` for each entry of v's. An interior vertex meets as many neighbours
// as faces around it, a border vertex one more: room for one per corner and a sixteenth over
// is rarely outgrown.
template <class ListVertex>
void BuildVertexLists(uint32_t vertexCount, uint32_t corners, Store<uint32_t>& start, Store<VertexNeighbour>& lists,
                      ListVertex&& listVertex) {
    if (!start.Assign(vertexCount + 1, 0) || !lists.Reserve(corners + corners / 16 + 1)) throw &Error::s_cBadAlloc;
    lists.SetCount(0);
    bool grown = true;
    const auto append = [&](uint32_t neighbour, uint32_t face) {
        grown = grown && lists.Append(VertexNeighbour{neighbour, face});
    };
    for (uint32_t v = 0; v < vertexCount && grown; ++v) {
        listVertex(v, append);
        start[v + 1] = lists.Count();
    }
    if (grown) return;
    // Half-built lists must not pass for built ones.
    start.Release();
    lists.Release();
    throw &Error::s_cBadAlloc;
}

}  // namespace

void Mesh::BuildNeighbours() const {
    BuildVertexLists(VertexCount(), m_faceCount * CornersPerFace(), m_neighbourStart, m_neighbours,
                     [this](uint32_t v, const auto& append) { ForEachNeighbour(*this, v, append); });
}

void Mesh::BuildWalkNeighbours() const {
    // Each vertex's faces' corners in walk order, with the vertex and repeats left out: a walk
    // meets the same vertices in the same order, each through the same face, but reads one
    // flat list instead of every face's corners.
    const uint32_t cornersPerFace = CornersPerFace();
    std::vector<uint32_t> listedFor(VertexCount(), kNone);
    BuildVertexLists(VertexCount(), m_faceCount * cornersPerFace, m_walkStart, m_walkNeighbours,
                     [&](uint32_t v, const auto& append) {
                         uint32_t count = 0;
                         const uint32_t* around = FacesAroundVertex(v, count);
                         listedFor[v] = v;
                         for (uint32_t i = 0; i < count; ++i) {
                             const uint32_t* c = FaceCorners(around[i]);
                             for (uint32_t k = 0; k < cornersPerFace; ++k) {
                                 if (listedFor[c[k]] == v) continue;
                                 listedFor[c[k]] = v;
                                 append(c[k], around[i]);
                             }
                         }
                     });
}

uint32_t Mesh::NextEnumerationMark(Store<uint32_t>& marks, uint32_t count) {
    // Both arrays share the counter, so a new one (all zeros) holds no mark in use.
    if (marks.Count() != count && !marks.Assign(count, 0)) throw &Error::s_cBadAlloc;
    if (++m_enumerationMark == 0) {
        std::fill(m_faceMarks.begin(), m_faceMarks.end(), 0u);
        std::fill(m_vertexMarks.begin(), m_vertexMarks.end(), 0u);
        m_enumerationMark = 1;
    }
    return m_enumerationMark;
}

void Mesh::EnumerateFacesFrom(FaceEnumerator* enumerator, uint32_t startFace) {
    if (startFace >= m_faceCount) return;
    const uint32_t mark = NextEnumerationMark(m_faceMarks, m_faceCount);
    const uint32_t cornersPerFace = CornersPerFace();
    std::vector<uint32_t> queue{startFace};
    m_faceMarks[startFace] = mark;
    for (size_t next = 0; next < queue.size(); ++next) {
        const uint32_t face = queue[next];
        if (!enumerator->Tester(this, face)) continue;
        const uint32_t* c = FaceCorners(face);
        for (uint32_t k = 0; k < cornersPerFace; ++k) {
            uint32_t count = 0;
            const uint32_t* around = FacesAroundVertex(c[k], count);
            for (uint32_t i = 0; i < count; ++i)
                if (m_faceMarks[around[i]] != mark) {
                    m_faceMarks[around[i]] = mark;
                    queue.push_back(around[i]);
                }
        }
    }
}

namespace {

// The queue of EnumerateVerticesFrom, kept per thread so that a brush's walk allocates nothing
// once it has grown; a walk started from inside a Tester (the queue busy) takes one of its own.
// Each queued vertex keeps the face it was reached through.
struct VertexQueue {
    std::vector<std::pair<uint32_t, uint32_t>> items;
    bool busy = false;
};
thread_local VertexQueue t_vertexQueue;
// Past this many entries the kept queue is given back after the walk (whole-mesh walks).
constexpr size_t kKeptQueueEntries = size_t(1) << 16;
// How far down the queue the walk fetches records, and then the walk lists.
constexpr size_t kPrefetchRecords = 8, kPrefetchLists = 4;

}  // namespace

void Mesh::EnumerateVerticesFrom(VertexEnumerator* enumerator, uint32_t startFace) {
    if (startFace >= m_faceCount) return;
    const uint32_t mark = NextEnumerationMark(m_vertexMarks, VertexCount());
    VertexQueue& kept = t_vertexQueue;
    std::vector<std::pair<uint32_t, uint32_t>> own;
    const bool useKept = !kept.busy;
    std::vector<std::pair<uint32_t, uint32_t>>& queue = useKept ? kept.items : own;
    queue.clear();
    const struct Release {
        VertexQueue& kept;
        bool held;
        ~Release() {
            if (!held) return;
            kept.busy = false;
            if (kept.items.capacity() > kKeptQueueEntries)
                std::vector<std::pair<uint32_t, uint32_t>>().swap(kept.items);
        }
    } release{kept, useKept};
    kept.busy |= useKept;

    const uint32_t cornersPerFace = CornersPerFace();
    uint32_t* marks = m_vertexMarks.Data();
    const auto visit = [&](uint32_t vertex, uint32_t face) {
        if (marks[vertex] == mark) return;
        marks[vertex] = mark;
        queue.emplace_back(vertex, face);
    };
    // The corners of each face around the vertex, in face order: from the walk lists on
    // triangles, from the faces on quads (whose walks are seldom worth lists of their own).
    // The arrays are read again after each Tester, which may start walks of its own.
    const bool lists = m_faceKind == kTriangles;
    const auto spread = [&](uint32_t vertex) {
        uint32_t count = 0;
        marks = m_vertexMarks.Data();
        if (lists) {
            const VertexNeighbour* next = WalkNeighbours(vertex, count);
            for (uint32_t i = 0; i < count; ++i) visit(next[i].vertex, next[i].face);
            return;
        }
        const uint32_t* around = FacesAroundVertex(vertex, count);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t* c = FaceCorners(around[i]);
            for (uint32_t k = 0; k < cornersPerFace; ++k) visit(c[k], around[i]);
        }
    };
    // A scan's neighbours lie a scan line or more apart in memory: the records and lists of
    // the vertices queued a few places ahead are fetched while the enumerator tests this one.
    const auto prefetchAhead = [&](size_t next) {
        if (!lists) return;
        if (next + kPrefetchRecords < queue.size()) {
            const uint32_t v = queue[next + kPrefetchRecords].first;
            __builtin_prefetch(&m_vertices[v]);
            __builtin_prefetch(&m_normals[v]);
            __builtin_prefetch(&m_walkStart[v]);
        }
        if (next + kPrefetchLists < queue.size()) {
            uint32_t count = 0;
            const VertexNeighbour* list = WalkNeighbours(queue[next + kPrefetchLists].first, count);
            if (count > 0) __builtin_prefetch(list + count - 1);
            __builtin_prefetch(list);
        }
    };
    const uint32_t* start = FaceCorners(startFace);
    for (uint32_t k = 0; k < cornersPerFace; ++k) visit(start[k], startFace);
    for (size_t next = 0; next < queue.size(); ++next) {
        prefetchAhead(next);
        const auto [vertex, face] = queue[next];
        if (enumerator->Tester(this, vertex, face)) spread(vertex);
    }
}

// ---- editing ---------------------------------------------------------------------------------

bool Mesh::Lock(bool /*forEditing*/, MeshUnlocker* unlocker) {
    if (m_lockHolder && m_lockHolder != unlocker && !m_lockHolder->CanUnlock()) return false;
    m_lockHolder = unlocker;
    return true;
}

void Mesh::Unlock(bool /*forEditing*/) { m_lockHolder = nullptr; }

void Mesh::SetFreeze(uint32_t vertex, uint8_t strength) {
    uint8_t& freeze = m_vertices[vertex].freeze;
    const bool wasFrozen = (freeze & kFreezeStrengthMask) != 0;
    freeze = uint8_t((freeze & ~kFreezeStrengthMask) | (strength & kFreezeStrengthMask));
    const bool isFrozen = (freeze & kFreezeStrengthMask) != 0;
    m_frozenCount += uint32_t(isFrozen) - uint32_t(wasFrozen);
}

void Mesh::SetFaceSculptable(uint32_t face, bool sculptable) {
    uint8_t& flags = m_faceFlags[face];
    flags = sculptable ? uint8_t(flags | kFaceSculptable) : uint8_t(flags & ~kFaceSculptable);
}

MeshChange* Mesh::CurrentChange() {
    if (!m_currentChange) m_currentChange = std::make_unique<MeshChange>(this);
    return m_currentChange.get();
}

void Mesh::EndOfChange(bool commit, bool /*otherMeshesChanged*/) {
    if (commit && m_currentChange && !m_currentChange->IsEmpty()) {
        if (m_geometry) m_geometry->CommitChange(std::move(m_currentChange));
        m_currentChange.reset();
    }
    m_justFitted.SetEmpty();
    ContentChanged();
}

void Mesh::UpdateBoundingBox(const AxisAlignedBoundingBox& area) {
    if (area.IsEmpty()) m_boundingBoxStale = true;
    else if (!m_boundingBoxStale) m_boundingBox.Extend(area);
}

const AxisAlignedBoundingBox& Mesh::BoundingBox() const {
    if (m_boundingBoxStale) {
        m_boundingBox.SetEmpty();
        for (const VertexRecord& record : m_vertices)
            m_boundingBox.Extend({record.position[0], record.position[1], record.position[2]});
        m_boundingBoxStale = false;
    }
    return m_boundingBox;
}

const TopologicalSymmetry& Mesh::Symmetry() {
    if (!m_symmetry) m_symmetry = std::make_unique<TopologicalSymmetry>(*this);
    return *m_symmetry;
}

uint32_t Mesh::TopologicalMirror(uint32_t face, uint32_t corner, uint32_t& mirroredFace, uint32_t& /*unused*/) {
    const TopologicalSymmetry& symmetry = Symmetry();
    mirroredFace = symmetry.PartnerFace(face);
    if (mirroredFace == TopologicalSymmetry::kNone) return kNone;
    return FaceCorners(mirroredFace)[symmetry.PartnerCorner(face, corner)];
}

SpatialGrid* Mesh::Grid(bool create) {
    if (!m_grid && create) m_grid = std::make_unique<SpatialGrid>(this);
    return m_grid.get();
}

}  // namespace tarnix
