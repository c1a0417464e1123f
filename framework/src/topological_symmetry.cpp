#include "tarnix/topological_symmetry.h"

#include <cmath>
#include <deque>

#include "tarnix/mesh.h"

namespace tarnix {

TopologicalSymmetry::TopologicalSymmetry(const Mesh& mesh)
    : m_cornersPerFace(mesh.CornersPerFace()),
      m_faces(mesh.m_faceCount, kNone),
      m_offsets(mesh.m_faceCount, 0),
      m_vertices(mesh.VertexCount(), kNone) {
    const uint32_t k = m_cornersPerFace;
    const Vector size = mesh.BoundingBox().Size();
    const float tolerance = 1e-4f * std::max(size.x, std::max(size.y, size.z));
    const auto onPlane = [&](uint32_t vertex) { return std::fabs(mesh.VertexPosition(vertex).x) <= tolerance; };

    // Seed: an edge on the plane whose two faces pair up, corner order reversed.
    std::deque<uint32_t> queue;
    for (uint32_t f = 0; f < mesh.m_faceCount && queue.empty(); ++f) {
        const uint32_t* c = mesh.FaceCorners(f);
        for (uint32_t s = 0; s < k; ++s) {
            if (!onPlane(c[s]) || !onPlane(c[(s + 1) % k])) continue;
            const uint32_t answer = mesh.EdgeAdjacency(f, s);
            if (answer >= Mesh::kOpenBorder) continue;
            const uint32_t g = answer >> 2, t = answer & 3;
            m_faces[f] = g;
            m_offsets[f] = uint8_t((s + t + 1) % k);
            m_faces[g] = f;
            m_offsets[g] = uint8_t((s + t + 1) % k);
            queue.push_back(f);
            queue.push_back(g);
            break;
        }
    }
    m_valid = !queue.empty();
    // Across side s of a paired face lies the partner of the face across its mirrored side.
    while (!queue.empty()) {
        const uint32_t f = queue.front();
        queue.pop_front();
        const uint32_t g = m_faces[f], o = m_offsets[f];
        for (uint32_t s = 0; s < k; ++s) {
            const uint32_t here = mesh.EdgeAdjacency(f, s);
            const uint32_t j = (o + 2 * k - s - 1) % k;
            const uint32_t there = mesh.EdgeAdjacency(g, j);
            if (here >= Mesh::kOpenBorder || there >= Mesh::kOpenBorder) continue;
            const uint32_t f2 = here >> 2, s2 = here & 3, g2 = there >> 2, t2 = there & 3;
            if (m_faces[f2] != kNone) continue;
            m_faces[f2] = g2;
            m_offsets[f2] = uint8_t((s2 + t2 + 1) % k);
            queue.push_back(f2);
        }
    }
    for (uint32_t f = 0; f < mesh.m_faceCount; ++f) {
        if (m_faces[f] == kNone) continue;
        const uint32_t* mine = mesh.FaceCorners(f);
        const uint32_t* theirs = mesh.FaceCorners(m_faces[f]);
        for (uint32_t c = 0; c < k; ++c) m_vertices[mine[c]] = theirs[PartnerCorner(f, c)];
    }
}

uint32_t TopologicalSymmetry::PartnerCorner(uint32_t face, uint32_t corner) const {
    return (m_offsets[face] + 2 * m_cornersPerFace - corner) % m_cornersPerFace;
}

}  // namespace tarnix
