#pragma once
// tarnix::GeodesicEnumerator: the vertices within a distance of a surface point, measured
// along the surface.
//
// Distances are propagated outward from the corners of the point's face (at their straight
// distance from the point), nearest first, through the faces: a vertex takes the shortest of
// the paths through a face's corners already known (along an edge or straight across the
// face), and of the straight lines from the source unfolded into the plane of a triangle of
// corners (two known corners place the source; the line to the third corner must cross the
// segment between them); a vertex whose distance improves after it was passed on (its window
// corner lay farther than itself, as across a right angle) is passed on again, and the
// results are sorted at the end. Unfolding makes distances on a flat mesh the straight distances,
// whatever the grid's directions, so that a brush region is round, not the diamond that
// paths along edges give; on a curved mesh it follows the surface. A distance is never less
// than the straight distance from the point, so the region never reaches past the brush's
// sphere.
//
// Distances are measured in the world (through the mesh's transformation, when it has one),
// where the brush's size is given.
//
// Distances() answers for every vertex of the mesh: those not among the last results read as
// infinitely far, so that a reader walking whole faces or patches finds the vertices beyond
// the region outside it.

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
    /// @brief Surface distance per vertex index of the last enumerated mesh; infinity for the
    /// vertices not among the results.
    const float* Distances() const { return m_distances.Data(); }

private:
    /// @brief The distance of `target` through the face corners `a` and `b` (known distances
    /// `da`, `db`): the unfolded straight line from the source when it crosses the segment
    /// ab, else infinity.
    static float Unfolded(const Vector& a, float da, const Vector& b, float db, const Vector& target);

    std::vector<Result> m_results;
    uint32_t m_count = 0;
    Store<float> m_distances{"geodesic distances"};
    Store<uint8_t> m_settled{"geodesic distances"};  // 1: final in this run
};

}  // namespace tarnix
