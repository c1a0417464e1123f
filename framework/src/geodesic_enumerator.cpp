#include "tarnix/geodesic_enumerator.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <queue>

#include "tarnix/error.h"
#include "tarnix/mesh.h"
#include "tarnix/transformation.h"

namespace tarnix {
namespace {

constexpr float kFar = std::numeric_limits<float>::infinity();

}  // namespace

float GeodesicEnumerator::Unfolded(const Vector& a, float da, const Vector& b, float db, const Vector& target) {
    // In the triangle's plane: a at the origin, b on the x axis, the target above it; the
    // source lies below, at distances da and db from a and b.
    const Vector ab = b - a;
    const float e = ab.Length();
    if (e == 0.0f) return kFar;
    const Vector x = ab * (1.0f / e);
    const Vector at = target - a;
    const float tx = at | x;
    const float ty = (at - x * tx).Length();
    if (ty == 0.0f) return kFar;
    const float sx = (da * da - db * db + e * e) / (2.0f * e);
    const float sy2 = da * da - sx * sx;
    if (sy2 < 0.0f) return kFar;  // the distances do not fit one source in this plane
    const float sy = -std::sqrt(sy2);
    // Where the line from the source to the target crosses the x axis.
    const float cross = sx + (tx - sx) * (-sy / (ty - sy));
    if (cross < 0.0f || cross > e) return kFar;
    return std::sqrt((tx - sx) * (tx - sx) + (ty - sy) * (ty - sy));
}

void GeodesicEnumerator::EnumerateVertices(Mesh* mesh, const SurfacePoint& point, float distance) {
    const uint32_t vertexCount = mesh ? mesh->VertexCount() : 0;
    if (m_distances.Count() != vertexCount) {
        if (!m_distances.Assign(vertexCount, kFar) || !m_settled.Assign(vertexCount, 0)) throw &Error::s_cBadAlloc;
    } else {
        // Only the last results carry a distance: every other vertex is still far.
        for (const Result& result : m_results) {
            m_distances[result.vertex] = kFar;
            m_settled[result.vertex] = 0;
        }
    }
    m_results.clear();
    m_count = 0;
    if (!mesh || point.m_face >= mesh->m_faceCount) return;

    // Distances are measured in the world, where the brush's size is given: a scaled mesh
    // (uniformly or not) gets the region of the same world size as an unscaled one.
    const Transformation* transformation = mesh->GetTransformation();
    const auto at = [&](uint32_t vertex) {
        const Vector p = mesh->VertexPosition(vertex);
        return transformation ? transformation->MeshToWorld().Transform(p, 1.0f) : p;
    };
    const Vector source =
        transformation ? transformation->MeshToWorld().Transform(point.m_position, 1.0f) : point.m_position;
    using Candidate = std::pair<float, uint32_t>;
    std::priority_queue<Candidate, std::vector<Candidate>, std::greater<Candidate>> queue;
    const auto offer = [&](uint32_t vertex, float d) {
        // Only a real improvement counts, so that rounding cannot send a vertex round again.
        const auto improves = [&] { return d <= distance && d < m_distances[vertex] - 1e-6f * d; };
        if (!improves()) return;
        // Never nearer than in a straight line: the region stays inside the brush's sphere.
        d = std::max(d, (at(vertex) - source).Length());
        if (!improves()) return;
        m_distances[vertex] = d;
        queue.emplace(d, vertex);
    };
    const uint32_t cornersPerFace = mesh->CornersPerFace();
    const uint32_t* start = mesh->FaceCorners(point.m_face);
    for (uint32_t k = 0; k < cornersPerFace; ++k) offer(start[k], 0.0f);

    // Nearest first; a vertex whose distance a later one improves (a triangle whose window
    // corner lies farther than the vertex itself, as around a right angle) is passed on again.
    while (!queue.empty()) {
        const auto [d, vertex] = queue.top();
        queue.pop();
        if (d > m_distances[vertex]) continue;  // improved since
        uint32_t faceCount = 0;
        const uint32_t* faces = mesh->FacesAroundVertex(vertex, faceCount);
        if (!m_settled[vertex]) {
            m_settled[vertex] = 1;
            m_results.push_back({vertex, faces[0]});
        }
        const Vector p = at(vertex);
        // The vertex passes its distance on to the other corners of its faces: along the edge
        // or across the face, and unfolded with each other settled corner.
        for (uint32_t i = 0; i < faceCount; ++i) {
            const uint32_t* corners = mesh->FaceCorners(faces[i]);
            for (uint32_t k = 0; k < cornersPerFace; ++k) {
                const uint32_t target = corners[k];
                if (target == vertex) continue;
                const Vector t = at(target);
                float best = d + (t - p).Length();
                for (uint32_t j = 0; j < cornersPerFace; ++j) {
                    const uint32_t other = corners[j];
                    if (other == vertex || other == target || !m_settled[other]) continue;
                    best = std::min(best, Unfolded(p, d, at(other), m_distances[other], t));
                }
                offer(target, best);
            }
        }
    }
    std::stable_sort(m_results.begin(), m_results.end(),
                     [&](const Result& a, const Result& b) { return m_distances[a.vertex] < m_distances[b.vertex]; });
    m_count = uint32_t(m_results.size());
}

}  // namespace tarnix
