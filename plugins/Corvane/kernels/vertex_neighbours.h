#pragma once
// The neighbours of a vertex for the per-vertex path's inner loops, in the order
// Mesh::EnumerateAdjacentVertices reports them.

#include <cstdint>
#include <utility>

#include "tarnix/enumerators.h"
#include "tarnix/mesh.h"

namespace corvane {

/// @brief Calls `visit(neighbour, face)` for each neighbour of `vertex`. Triangle meshes, which
/// the per-vertex path sculpts throughout, are read from the mesh's flat neighbour lists
/// (built on the first call); on quads, whose patch path asks only for a few corners, the mesh
/// works the neighbours out each time, so that no lists are kept for them.
template <class Visit>
void ForEachNeighbour(const tarnix::Mesh& mesh, uint32_t vertex, Visit&& visit) {
    if (mesh.m_faceKind == tarnix::Mesh::kTriangles) {
        uint32_t count = 0;
        const tarnix::VertexNeighbour* neighbours = mesh.VertexNeighbours(vertex, count);
        for (uint32_t i = 0; i < count; ++i) visit(neighbours[i].vertex, neighbours[i].face);
        return;
    }
    struct Forward : tarnix::AdjacentVertexEnumerator {
        explicit Forward(Visit& v) : visit(v) {}
        void Operator(uint32_t neighbour, uint32_t face) override { visit(neighbour, face); }
        Visit& visit;
    } forward(visit);
    mesh.EnumerateAdjacentVertices(&forward, vertex, tarnix::Mesh::kNone);
}

}  // namespace corvane
