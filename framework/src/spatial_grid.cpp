#include "tarnix/spatial_grid.h"

#include <embree3/rtcore.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

#include "tarnix/error.h"
#include "tarnix/mesh.h"

namespace tarnix {
namespace {

RTCDevice Device() {
    // One device for the process, never released: scenes may outlive static teardown.
    static RTCDevice device = [] {
        RTCDevice created = rtcNewDevice("verbose=0");
        if (!created) throw &Error::s_cBadAlloc;
        return created;
    }();
    return device;
}

struct FaceQuery {
    const SpatialGrid* grid;
    const Mesh* mesh;
    AxisAlignedBoundingBox box;
    std::vector<uint32_t>* faces;
};

bool CollectFace(RTCPointQueryFunctionArguments* arguments) {
    auto* query = static_cast<FaceQuery*>(arguments->userPtr);
    const uint32_t face = query->grid->FaceOf(arguments->geomID, arguments->primID);
    const uint32_t* corners = query->mesh->FaceCorners(face);
    AxisAlignedBoundingBox faceBox;
    for (uint32_t k = 0; k < query->mesh->CornersPerFace(); ++k)
        faceBox.Extend(query->mesh->VertexPosition(corners[k]));
    if (query->box.IsMeeting(faceBox)) query->faces->push_back(face);
    return false;
}

// The fingerprint of the positions of corners [begin, end): each corner's position bits mixed
// with the corner's place in the chunk order, so that neither a change of any bit nor an
// exchange of two vertices' positions keeps it. A refit takes the block's box on the same pass.
uint64_t Fingerprint(const VertexRecord* records, const uint32_t* corners, size_t begin, size_t end,
                     AxisAlignedBoundingBox* box = nullptr) {
    uint64_t sum = 0;
    for (size_t i = begin; i < end; ++i) {
        const float* position = records[corners[i]].position;
        if (box) box->Extend(Vector(position[0], position[1], position[2]));
        uint32_t bits[3];
        std::memcpy(bits, position, sizeof bits);
        uint64_t mixed = (uint64_t(bits[0]) << 32 | bits[1]) * 0x9E3779B97F4A7C15ull ^
                         (uint64_t(bits[2]) << 32 | uint32_t(i)) * 0xC2B2AE3D27D4EB4Full;
        mixed = (mixed ^ mixed >> 31) * 0x94D049BB133111EBull;
        sum += mixed ^ mixed >> 29;
    }
    return sum;
}

}  // namespace

SpatialGrid::SpatialGrid(Mesh* mesh) : m_mesh(mesh) {
    const bool quads = mesh->m_faceKind == Mesh::kQuads;
    m_facesPerChunk = quads ? kFacesPerQuadChunk : kFacesPerTriangleChunk;
    RTCScene scene = rtcNewScene(Device());
    // A dynamic scene keeps one hierarchy per geometry, which Embree refits in place when only
    // the vertex buffer changed (about ten times faster than building it). Both the scene's
    // low build quality and the geometry's refit quality are needed for that; a changed index
    // buffer still makes it build anew.
    rtcSetSceneFlags(scene, RTC_SCENE_FLAG_DYNAMIC | RTC_SCENE_FLAG_ROBUST);
    rtcSetSceneBuildQuality(scene, RTC_BUILD_QUALITY_LOW);
    m_scene = scene;
    // Every chunk of m_facesPerChunk faces is a geometry of its own, so that a change refits only
    // the chunks it touched. Embree reads the mesh's own arrays: positions are the first 12
    // bytes of each 20-byte vertex record (the last record has the 16 readable bytes Embree
    // asks for). Each quad chunk's corners are a slice of the mesh's corner array; triangles
    // are first put in an order compact in space, with a copy of their corners.
    if (!quads) SortTrianglesInSpace();
    const uint32_t* chunkCorners = ChunkCorners();
    const uint32_t chunkCount = (mesh->m_faceCount + m_facesPerChunk - 1) / m_facesPerChunk;
    const uint32_t cornerBytes = mesh->CornersPerFace() * sizeof(uint32_t);
    for (uint32_t chunk = 0; chunk < chunkCount; ++chunk) {
        RTCGeometry geometry = rtcNewGeometry(Device(), quads ? RTC_GEOMETRY_TYPE_QUAD : RTC_GEOMETRY_TYPE_TRIANGLE);
        rtcSetSharedGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, mesh->m_vertices.Data(), 0,
                                   sizeof(VertexRecord), mesh->VertexCount());
        const uint32_t first = chunk * m_facesPerChunk;
        rtcSetSharedGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, quads ? RTC_FORMAT_UINT4 : RTC_FORMAT_UINT3,
                                   chunkCorners, size_t(first) * cornerBytes, cornerBytes,
                                   std::min(m_facesPerChunk, mesh->m_faceCount - first));
        rtcSetGeometryBuildQuality(geometry, RTC_BUILD_QUALITY_REFIT);
        rtcAttachGeometryByID(scene, geometry, chunk);
        m_geometries.push_back(geometry);
    }
    m_chunkBoxes.resize(chunkCount);
    m_blockBoxes.resize((mesh->m_faceCount + kFacesPerBlock - 1) / kFacesPerBlock);
    m_blockFingerprints.resize(m_blockBoxes.size());
    Rebuild();
}

void SpatialGrid::SortTrianglesInSpace() {
    // A scan lists its triangles as it was captured, so the triangles under a dab lie scattered
    // over many chunks of the file's order, and each of those chunks would be refitted after
    // the dab. Sorted along a Morton curve of their centres (10 bits an axis in the mesh's box),
    // a chunk holds one compact piece of the surface.
    const uint32_t faceCount = m_mesh->m_faceCount;
    const AxisAlignedBoundingBox& box = m_mesh->BoundingBox();
    const Vector size = box.Size();
    const auto cell = [](float offset, float extent) {
        const float scaled = extent > 0.0f ? offset / extent * 1023.0f : 0.0f;
        return uint64_t(std::clamp(scaled, 0.0f, 1023.0f));
    };
    const auto spread = [](uint64_t bits) {  // bit i to bit 3i
        uint64_t x = bits & 0x3ff;
        x = (x | x << 16) & 0x30000ff;
        x = (x | x << 8) & 0x300f00f;
        x = (x | x << 4) & 0x30c30c3;
        return (x | x << 2) & 0x9249249;
    };
    std::vector<std::pair<uint32_t, uint32_t>> keyed(faceCount);
    for (uint32_t f = 0; f < faceCount; ++f) {
        const uint32_t* c = m_mesh->FaceCorners(f);
        const Vector centre =
            (m_mesh->VertexPosition(c[0]) + m_mesh->VertexPosition(c[1]) + m_mesh->VertexPosition(c[2])) *
                (1.0f / 3.0f) -
            box.Minimum();
        const uint64_t code =
            spread(cell(centre.x, size.x)) | spread(cell(centre.y, size.y)) << 1 | spread(cell(centre.z, size.z)) << 2;
        keyed[f] = {uint32_t(code), f};
    }
    std::sort(keyed.begin(), keyed.end());
    m_chunkFaces.resize(faceCount);
    m_chunkCorners.resize(size_t(faceCount) * 3 + 1);  // one more, so that 16-byte loads stay inside
    for (uint32_t i = 0; i < faceCount; ++i) {
        m_chunkFaces[i] = keyed[i].second;
        std::copy_n(m_mesh->FaceCorners(keyed[i].second), 3, &m_chunkCorners[size_t(i) * 3]);
    }
}

const uint32_t* SpatialGrid::ChunkCorners() const {
    return m_chunkCorners.empty() ? m_mesh->m_cornerIndices.Data() : m_chunkCorners.data();
}

SpatialGrid::~SpatialGrid() {
    for (void* geometry : m_geometries) rtcReleaseGeometry(static_cast<RTCGeometry>(geometry));
    rtcReleaseScene(static_cast<RTCScene>(m_scene));
}

void SpatialGrid::Commit(const std::vector<bool>& chunks, bool rebuild) {
    const uint32_t* corners = ChunkCorners();
    const VertexRecord* records = m_mesh->m_vertices.Data();
    for (uint32_t chunk = 0; chunk < m_geometries.size(); ++chunk) {
        if (!chunks[chunk]) continue;
        // A refit found its chunks' blocks anew already (RefitBlocks); a build reads them all.
        if (rebuild) {
            AxisAlignedBoundingBox& chunkBox = m_chunkBoxes[chunk];
            chunkBox.SetEmpty();
            ForEachBlock(chunk, [&](uint32_t block, size_t begin, size_t end) {
                AxisAlignedBoundingBox box;
                m_blockFingerprints[block] = Fingerprint(records, corners, begin, end, &box);
                m_blockBoxes[block] = box;
                chunkBox.Extend(box);
            });
        }
        auto geometry = static_cast<RTCGeometry>(m_geometries[chunk]);
        rtcUpdateGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0);
        if (rebuild) rtcUpdateGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0);
        rtcCommitGeometry(geometry);
    }
    rtcCommitScene(static_cast<RTCScene>(m_scene));
    static std::atomic<uint64_t> fits{0};
    m_fitStamp = ++fits;
    m_meshVersion = m_mesh->Version();
    m_mesh->ClearMovedArea();
    RTCBounds bounds;
    rtcGetSceneBounds(static_cast<RTCScene>(m_scene), &bounds);
    const AxisAlignedBoundingBox fitted = m_mesh->m_faceCount
                                              ? AxisAlignedBoundingBox({bounds.lower_x, bounds.lower_y, bounds.lower_z},
                                                                       {bounds.upper_x, bounds.upper_y, bounds.upper_z})
                                              : AxisAlignedBoundingBox();
    // A build covers the mesh's own box too (which may hold places its vertices have left); a
    // refit grows the box but never shrinks it. So a surface that moved inwards stays inside the
    // space the hierarchy was built for, and only one that left it calls for a rebuild.
    if (rebuild) {
        m_box = fitted;
        if (m_mesh->m_faceCount) m_box.Extend(m_mesh->BoundingBox());
    } else {
        m_box.Extend(fitted);
    }
}

void SpatialGrid::UpdateArea(const AxisAlignedBoundingBox& area) {
    if (area.IsEmpty()) return;
    m_mesh->NoteMoved(area);
    Refit();
    m_mesh->NoteFitted(area);
}

void SpatialGrid::Update() {
    if (m_mesh->Version() != m_meshVersion) Refit();
}

template <class Visit>
void SpatialGrid::ForEachBlock(uint32_t chunk, Visit&& visit) const {
    const uint32_t cornersPerFace = m_mesh->CornersPerFace();
    const uint32_t first = chunk * m_facesPerChunk, last = std::min(first + m_facesPerChunk, m_mesh->m_faceCount);
    for (uint32_t block = first / kFacesPerBlock; block * kFacesPerBlock < last; ++block)
        visit(block, size_t(block) * kFacesPerBlock * cornersPerFace,
              size_t(std::min(last, (block + 1) * kFacesPerBlock)) * cornersPerFace);
}

bool SpatialGrid::RefitBlocks(uint32_t chunk, const AxisAlignedBoundingBox& area) {
    const uint32_t* corners = ChunkCorners();
    const VertexRecord* records = m_mesh->m_vertices.Data();
    bool moved = false;
    // A vertex's old place lies in the box of every block holding it, as it does for chunks.
    // Each block that meets the area is read once, for both its fingerprint and its box: a
    // block whose fingerprint stands kept its positions, and so its box.
    ForEachBlock(chunk, [&](uint32_t block, size_t begin, size_t end) {
        if (!m_blockBoxes[block].IsMeeting(area)) return;
        AxisAlignedBoundingBox box;
        const uint64_t fingerprint = Fingerprint(records, corners, begin, end, &box);
        if (fingerprint == m_blockFingerprints[block]) return;
        m_blockFingerprints[block] = fingerprint;
        m_blockBoxes[block] = box;
        moved = true;
    });
    if (moved) {
        AxisAlignedBoundingBox& chunkBox = m_chunkBoxes[chunk];
        chunkBox.SetEmpty();
        ForEachBlock(chunk, [&](uint32_t block, size_t, size_t) { chunkBox.Extend(m_blockBoxes[block]); });
    }
    return moved;
}

void SpatialGrid::Refit() {
    const AxisAlignedBoundingBox& moved = m_mesh->MovedArea();
    std::vector<bool> chunks(m_geometries.size(), false);
    bool any = false;
    if (!moved.IsEmpty()) {
        for (uint32_t chunk = 0; chunk < m_chunkBoxes.size(); ++chunk) {
            if (!m_chunkBoxes[chunk].IsMeeting(moved) || !RefitBlocks(chunk, moved)) continue;
            chunks[chunk] = true;
            any = true;
        }
    }
    if (any) {
        Commit(chunks, false);
    } else {
        m_meshVersion = m_mesh->Version();
        m_mesh->ClearMovedArea();
    }
}

void SpatialGrid::Rebuild() { Commit(std::vector<bool>(m_geometries.size(), true), true); }

bool SpatialGrid::CastRay(const Vector& origin, const Vector& direction, SurfacePoint& hit, bool bothDirections,
                          bool nearest) const {
    // Embree takes rays whose origin and direction lie within +-1.8e18 per component and stops
    // on any other; such a ray (from a far or non-finite point, or a zero direction) hits
    // nothing here instead.
    constexpr float kLargest = 1e18f;
    const auto usable = [](const Vector& v) {
        return std::fabs(v.x) < kLargest && std::fabs(v.y) < kLargest && std::fabs(v.z) < kLargest;
    };
    if (!usable(origin) || !usable(direction) || !(direction.LengthSquared() > 0.0f)) return false;
    const auto cast = [&](const Vector& dir, float& distance, uint32_t& face) {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        RTCRayHit ray{};
        ray.ray.org_x = origin.x;
        ray.ray.org_y = origin.y;
        ray.ray.org_z = origin.z;
        ray.ray.dir_x = dir.x;
        ray.ray.dir_y = dir.y;
        ray.ray.dir_z = dir.z;
        ray.ray.tnear = 0.0f;
        ray.ray.tfar = std::numeric_limits<float>::infinity();
        ray.ray.mask = ~0u;
        ray.hit.geomID = RTC_INVALID_GEOMETRY_ID;
        rtcIntersect1(static_cast<RTCScene>(m_scene), &context, &ray);
        if (ray.hit.geomID == RTC_INVALID_GEOMETRY_ID) return false;
        distance = ray.ray.tfar;
        face = FaceOf(ray.hit.geomID, ray.hit.primID);
        return true;
    };
    float forwardDistance = 0, backwardDistance = 0;
    uint32_t forwardFace = 0, backwardFace = 0;
    const bool forward = cast(direction, forwardDistance, forwardFace);
    const bool backward = bothDirections && cast(-direction, backwardDistance, backwardFace);
    if (!forward && !backward) return false;
    const bool useBackward = backward && (!forward || (nearest && backwardDistance < forwardDistance));
    const float distance = useBackward ? -backwardDistance : forwardDistance;
    const uint32_t face = useBackward ? backwardFace : forwardFace;
    // The mesh's own face normal: outward for counter-clockwise corners.
    hit = SurfacePoint(m_mesh, face, origin + direction * distance, m_mesh->FaceNormal(face).Normalized());
    return true;
}

void SpatialGrid::CollectFaces(const AxisAlignedBoundingBox& box, std::vector<uint32_t>& faces) const {
    if (box.IsEmpty() || m_mesh->m_faceCount == 0) return;
    FaceQuery query{this, m_mesh, box, &faces};
    RTCPointQuery point;
    const Vector center = box.Center();
    point.x = center.x;
    point.y = center.y;
    point.z = center.z;
    point.time = 0.0f;
    point.radius = box.Size().Length() * 0.5f;
    RTCPointQueryContext context;
    rtcInitPointQueryContext(&context);
    rtcPointQuery(static_cast<RTCScene>(m_scene), &point, &context, &CollectFace, &query);
    std::sort(faces.begin(), faces.end());
    faces.erase(std::unique(faces.begin(), faces.end()), faces.end());
}

void SpatialGrid::EnumerateFaces(const AxisAlignedBoundingBox& box, FaceEnumerator* enumerator) const {
    std::vector<uint32_t> faces;
    CollectFaces(box, faces);
    for (uint32_t face : faces) enumerator->Tester(m_mesh, face);
}

void SpatialGrid::EnumerateVertices(const AxisAlignedBoundingBox& box, VertexEnumerator* enumerator) const {
    std::vector<uint32_t> faces;
    CollectFaces(box, faces);
    std::vector<std::pair<uint32_t, uint32_t>> vertices;
    for (uint32_t face : faces) {
        const uint32_t* corners = m_mesh->FaceCorners(face);
        for (uint32_t k = 0; k < m_mesh->CornersPerFace(); ++k)
            if (box.IsContaining(m_mesh->VertexPosition(corners[k]))) vertices.emplace_back(corners[k], face);
    }
    // Each vertex once, with the first face (in face order) that holds it.
    std::stable_sort(vertices.begin(), vertices.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    vertices.erase(
        std::unique(vertices.begin(), vertices.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
        vertices.end());
    for (const auto& [vertex, face] : vertices) enumerator->Tester(m_mesh, vertex, face);
}

}  // namespace tarnix
