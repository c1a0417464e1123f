#pragma once
// tarnix::GeodesicEnumerator: the vertices within a distance of a surface point, measured
// along the surface. Distances run along mesh edges (shortest paths, Dijkstra), starting
// from the corners of the point's face at their straight distance from the point; on a
// finely subdivided mesh this follows the surface closely, and it never undercuts it.

#include <cstdint>
#include <vector>

#include "tarnix/store.h"
#include "tarnix/surface_point.h"

namespace tarnix {

class Mesh;

class GeodesicEnumerator {
public:
    struct Result {
        uint32_t vertex;
        uint32_t face;  // a face holding the vertex
    };

    /// @brief Replaces the results by the vertices of `mesh` within `distance` of `point`,
    /// nearest first.
    void EnumerateVertices(Mesh* mesh, const SurfacePoint& point, float distance);

    uint32_t Count() const { return m_count; }
    /// @brief Forgets the results (the storage stays).
    void SetCount(uint32_t count) { m_count = count < m_results.size() ? count : uint32_t(m_results.size()); }
    const Result* Results() const { return m_results.data(); }
    /// @brief Surface distance per vertex index; valid for the vertices among the results.
    const float* Distances() const { return m_distances.Data(); }

private:
    std::vector<Result> m_results;
    uint32_t m_count = 0;
    Store<float> m_distances{"geodesic distances"};
    Store<uint32_t> m_marks{"geodesic distances"};    // distance known in the run of that mark
    Store<uint32_t> m_settled{"geodesic distances"};  // distance final in the run of that mark
    uint32_t m_mark = 0;
};

}  // namespace tarnix
