#include "tarnix/geodesic_enumerator.h"

#include <algorithm>
#include <functional>
#include <queue>

#include "tarnix/error.h"
#include "tarnix/mesh.h"

namespace tarnix {

void GeodesicEnumerator::EnumerateVertices(Mesh* mesh, const SurfacePoint& point, float distance) {
    m_results.clear();
    m_count = 0;
    if (!mesh || point.m_face >= mesh->m_faceCount) return;
    const uint32_t vertexCount = mesh->VertexCount();
    if (m_distances.Count() != vertexCount) {
        if (!m_distances.Assign(vertexCount, 0.0f) || !m_marks.Assign(vertexCount, 0) ||
            !m_settled.Assign(vertexCount, 0))
            throw &Error::s_cBadAlloc;
        m_mark = 0;
    }
    // A vertex's distance is known in this run when its mark is the run's mark.
    if (++m_mark == 0) {
        std::fill(m_marks.begin(), m_marks.end(), 0u);
        std::fill(m_settled.begin(), m_settled.end(), 0u);
        m_mark = 1;
    }
    using Candidate = std::pair<float, uint32_t>;
    std::priority_queue<Candidate, std::vector<Candidate>, std::greater<Candidate>> queue;
    const auto offer = [&](uint32_t vertex, float d) {
        if (d > distance) return;
        if (m_settled[vertex] == m_mark) return;
        if (m_marks[vertex] == m_mark && m_distances[vertex] <= d) return;
        m_marks[vertex] = m_mark;
        m_distances[vertex] = d;
        queue.emplace(d, vertex);
    };
    const uint32_t cornersPerFace = mesh->CornersPerFace();
    const uint32_t* start = mesh->FaceCorners(point.m_face);
    for (uint32_t k = 0; k < cornersPerFace; ++k)
        offer(start[k], (mesh->VertexPosition(start[k]) - point.m_position).Length());

    while (!queue.empty()) {
        const auto [d, vertex] = queue.top();
        queue.pop();
        if (m_settled[vertex] == m_mark || d > m_distances[vertex]) continue;  // settled before
        m_settled[vertex] = m_mark;
        uint32_t faceCount = 0;
        const uint32_t* faces = mesh->FacesAroundVertex(vertex, faceCount);
        m_results.push_back({vertex, faces[0]});
        const Vector p = mesh->VertexPosition(vertex);
        for (uint32_t i = 0; i < faceCount; ++i) {
            const uint32_t* corners = mesh->FaceCorners(faces[i]);
            for (uint32_t k = 0; k < cornersPerFace; ++k) {
                if (corners[k] != vertex) continue;
                for (uint32_t step : {1u, cornersPerFace - 1}) {
                    const uint32_t neighbour = corners[(k + step) % cornersPerFace];
                    offer(neighbour, d + (mesh->VertexPosition(neighbour) - p).Length());
                }
            }
        }
    }
    m_count = uint32_t(m_results.size());
}

}  // namespace tarnix
