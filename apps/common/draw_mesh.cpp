#include "draw_mesh.h"

#include <algorithm>

#include "tarnix/mesh.h"

namespace corvane_apps {
namespace {

bool Meet(const tarnix::AxisAlignedBoundingBox& a, const tarnix::AxisAlignedBoundingBox& b) {
    const tarnix::Vector &aMin = a.Minimum(), &aMax = a.Maximum(), &bMin = b.Minimum(), &bMax = b.Maximum();
    return !a.IsEmpty() && !b.IsEmpty() && aMin.x <= bMax.x && bMin.x <= aMax.x && aMin.y <= bMax.y &&
           bMin.y <= aMax.y && aMin.z <= bMax.z && bMin.z <= aMax.z;
}

// An inner edge is met twice, once each way round: it is drawn from the face that walks it
// from the lower vertex number. Open edges are met once.
bool DrawsEdge(const tarnix::Mesh& mesh, uint32_t face, uint32_t corner, const uint32_t* corners) {
    const uint32_t next = (corner + 1) % mesh.CornersPerFace();
    return corners[corner] < corners[next] || mesh.EdgeAdjacency(face, corner) >= tarnix::Mesh::kOpenBorder;
}

}  // namespace

DrawMesh* DrawMesh::AttachTo(tarnix::Mesh& mesh) {
    auto* drawMesh = new DrawMesh(mesh);
    mesh.AddChild(drawMesh);
    return drawMesh;
}

void DrawMesh::Detach(DrawMesh* drawMesh) {
    if (!drawMesh) return;
    drawMesh->m_mesh->RemoveChild(drawMesh);
    delete drawMesh;
}

DrawMesh::DrawMesh(tarnix::Mesh& mesh) : m_mesh(&mesh) {
    // Told once per changed patch, not per vertex: the chunk is the unit of redrawing anyway.
    SetUpdateGranularity(1.0f);
    SetKeepNotifications(false);
    Build();
}

void DrawMesh::Build() {
    const tarnix::Mesh& mesh = *m_mesh;
    m_faceCount = mesh.m_faceCount;
    m_meshVertexCount = mesh.VertexCount();
    const uint32_t corners = mesh.CornersPerFace();
    const uint32_t chunks = (m_faceCount + kFacesPerChunk - 1) / kFacesPerChunk;

    m_meshVertexOf.clear();
    m_chunkFirst.assign(1, 0);
    m_runs.clear();
    // The chunk that last took each mesh vertex: a chunk's draw vertices are its mesh
    // vertices in the order its faces first use them.
    std::vector<uint32_t> takenBy(m_meshVertexCount, UINT32_MAX);
    uint32_t chunksInRun = 0;
    for (uint32_t chunk = 0; chunk < chunks; ++chunk) {
        const uint32_t first = uint32_t(m_meshVertexOf.size());
        size_t edgeIndices = 0;
        const uint32_t end = std::min(m_faceCount, (chunk + 1) * kFacesPerChunk);
        for (uint32_t face = chunk * kFacesPerChunk; face < end; ++face) {
            const uint32_t* c = mesh.FaceCorners(face);
            for (uint32_t k = 0; k < corners; ++k) {
                if (takenBy[c[k]] != chunk) {
                    takenBy[c[k]] = chunk;
                    m_meshVertexOf.push_back(c[k]);
                }
                if (DrawsEdge(mesh, face, k, c)) edgeIndices += 2;
            }
        }
        m_chunkFirst.push_back(uint32_t(m_meshVertexOf.size()));
        if (m_runs.empty() || chunksInRun == kChunksPerRun) {
            const Run last = m_runs.empty() ? Run{0, 0, 0, 0, 0} : m_runs.back();
            m_runs.push_back(
                {first, last.firstTriangleIndex + last.triangleIndices, 0, last.firstEdgeIndex + last.edgeIndices, 0});
            chunksInRun = 0;
        }
        ++chunksInRun;
        m_runs.back().triangleIndices += size_t(end - chunk * kFacesPerChunk) * (corners - 2) * 3;
        m_runs.back().edgeIndices += edgeIndices;
    }
    m_meshVertexOf.shrink_to_fit();
    m_chunkBoxes.assign(chunks, tarnix::AxisAlignedBoundingBox());
    m_marked.assign(chunks, 0);
    m_pending.clear();
    for (uint32_t chunk = 0; chunk < chunks; ++chunk) FitBox(chunk);
}

void DrawMesh::FitBox(uint32_t chunk) {
    tarnix::AxisAlignedBoundingBox box;
    for (uint32_t d = m_chunkFirst[chunk]; d < m_chunkFirst[chunk + 1]; ++d) {
        const float* position = m_mesh->m_vertices[m_meshVertexOf[d]].position;
        box.Extend({position[0], position[1], position[2]});
    }
    m_chunkBoxes[chunk] = box;
}

void DrawMesh::WriteVertices(uint32_t first, uint32_t count, DrawVertex* out) const {
    const tarnix::Mesh& mesh = *m_mesh;
    for (uint32_t d = first; d < first + count; ++d, ++out) {
        const uint32_t v = m_meshVertexOf[d];
        const tarnix::VertexRecord& record = mesh.m_vertices[v];
        const tarnix::PackedNormal& normal = mesh.m_normals[v];
        out->position[0] = record.position[0];
        out->position[1] = record.position[1];
        out->position[2] = record.position[2];
        out->normal[0] = normal.x;
        out->normal[1] = normal.y;
        out->normal[2] = normal.z;
        out->normal[3] = int16_t((record.freeze & tarnix::Mesh::kFreezeStrengthMask) * 258);
    }
}

void DrawMesh::WriteIndices(bool edges,
                            const std::function<void(const std::vector<uint16_t>& piece, size_t at)>& piece) const {
    const tarnix::Mesh& mesh = *m_mesh;
    const uint32_t corners = mesh.CornersPerFace();
    // Each mesh vertex's index in the run being written (only the run's own vertices are read).
    std::vector<uint16_t> local(m_meshVertexCount);
    std::vector<uint16_t> indices;
    uint32_t chunk = 0;
    for (size_t r = 0; r < m_runs.size(); ++r) {
        const Run& run = m_runs[r];
        const uint32_t nextRunFirst = r + 1 < m_runs.size() ? m_runs[r + 1].firstVertex : VertexCount();
        indices.clear();
        for (; chunk < ChunkCount() && m_chunkFirst[chunk] < nextRunFirst; ++chunk) {
            for (uint32_t d = m_chunkFirst[chunk]; d < m_chunkFirst[chunk + 1]; ++d)
                local[m_meshVertexOf[d]] = uint16_t(d - run.firstVertex);
            const uint32_t end = std::min(m_faceCount, (chunk + 1) * kFacesPerChunk);
            for (uint32_t face = chunk * kFacesPerChunk; face < end; ++face) {
                const uint32_t* c = mesh.FaceCorners(face);
                if (!edges) {
                    for (uint32_t k = 1; k + 1 < corners; ++k)
                        indices.insert(indices.end(), {local[c[0]], local[c[k]], local[c[k + 1]]});
                    continue;
                }
                for (uint32_t k = 0; k < corners; ++k)
                    if (DrawsEdge(mesh, face, k, c))
                        indices.insert(indices.end(), {local[c[k]], local[c[(k + 1) % corners]]});
            }
        }
        piece(indices, edges ? run.firstEdgeIndex : run.firstTriangleIndex);
    }
}

void DrawMesh::Mark(uint32_t chunk) {
    if (chunk >= m_marked.size() || m_marked[chunk]) return;
    m_marked[chunk] = 1;
    m_pending.push_back(chunk);
}

void DrawMesh::Notify(uint32_t vertex, uint32_t quad, uint32_t position) {
    MeshRenderer::Notify(vertex, quad, position);
    // A vertex report names a face that holds a moved vertex. A patch report names a patch or
    // a neighbouring coarse face by its first quad only, without its extent; the changed area
    // of the dab (MarkArea) finds those chunks exactly.
    if (position == kVertexReport && quad < m_faceCount) Mark(quad / kFacesPerChunk);
}

void DrawMesh::MarkArea(const tarnix::AxisAlignedBoundingBox& area) {
    if (area.IsEmpty()) return;
    for (uint32_t chunk = 0; chunk < m_chunkBoxes.size(); ++chunk)
        if (!m_marked[chunk] && Meet(m_chunkBoxes[chunk], area)) Mark(chunk);
}

void DrawMesh::MarkAll() {
    for (uint32_t chunk = 0; chunk < m_chunkBoxes.size(); ++chunk) Mark(chunk);
}

const std::vector<DrawMesh::Range>& DrawMesh::Refresh(bool& rebuilt) {
    m_ranges.clear();
    rebuilt = m_mesh->m_faceCount != m_faceCount || m_mesh->VertexCount() != m_meshVertexCount;
    if (rebuilt) {
        Build();
        m_ranges.push_back({0, VertexCount()});
        return m_ranges;
    }
    std::sort(m_pending.begin(), m_pending.end());
    for (uint32_t chunk : m_pending) {
        FitBox(chunk);
        m_marked[chunk] = 0;
        const uint32_t first = m_chunkFirst[chunk], count = m_chunkFirst[chunk + 1] - first;
        if (!m_ranges.empty() && m_ranges.back().first + m_ranges.back().count == first) m_ranges.back().count += count;
        else m_ranges.push_back({first, count});
    }
    m_pending.clear();
    return m_ranges;
}

}  // namespace corvane_apps
