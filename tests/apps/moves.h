#pragma once
// How strokes moved a mesh's vertices, for the tests of the programs' library: the largest move,
// and how far a mirrored stroke's moves are from being each other's images.

#include <algorithm>
#include <limits>
#include <map>
#include <tuple>
#include <vector>

#include "sculpture.h"
#include "tarnix/math/vector.h"
#include "tarnix/subdivision_level.h"

namespace test_support {

using Positions = std::vector<tarnix::Vector>;

// The sculpted level's positions in the world.
inline Positions WorldPositions(const corvane_apps::Sculpture& sculpture) {
    const tarnix::Matrix toWorld = sculpture.Geometry().GetTransformation().MeshToWorld();
    Positions positions;
    for (uint32_t v = 0; v < sculpture.Level().VertexCount(); ++v)
        positions.push_back(toWorld.Transform(sculpture.Level().VertexPosition(v), 1.0f));
    return positions;
}

inline double LargestMove(const Positions& before, const Positions& after) {
    double largest = 0.0;
    for (size_t v = 0; v < before.size(); ++v) largest = std::max(largest, double((after[v] - before[v]).Length()));
    return largest;
}

// `p` mirrored across the planes x = 0 (bit 0 of `flips`), y = 0 (bit 1) and z = 0 (bit 2).
inline tarnix::Vector Mirrored(tarnix::Vector p, int flips) {
    if (flips & 1) p.x = -p.x;
    if (flips & 2) p.y = -p.y;
    if (flips & 4) p.z = -p.z;
    return p;
}

// The largest distance between a vertex's move, mirrored by `flips`, and the move of the vertex
// at its mirror image; infinite when a vertex has no image. A symmetric mesh stays symmetric to
// the bit as it is subdivided, so the images are found exactly.
inline double MirrorMismatch(const Positions& before, const Positions& after, int flips) {
    std::map<std::tuple<float, float, float>, size_t> at;
    for (size_t v = 0; v < before.size(); ++v) at[{before[v].x, before[v].y, before[v].z}] = v;
    double apart = 0.0;
    for (size_t v = 0; v < before.size(); ++v) {
        const tarnix::Vector image = Mirrored(before[v], flips);
        const auto partner = at.find({image.x, image.y, image.z});
        if (partner == at.end()) return std::numeric_limits<double>::infinity();
        const tarnix::Vector twin = after[partner->second] - before[partner->second];
        apart = std::max(apart, double((Mirrored(after[v] - before[v], flips) - twin).Length()));
    }
    return apart;
}

}  // namespace test_support
