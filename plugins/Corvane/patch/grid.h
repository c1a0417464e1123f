#pragma once
// Patch grids and the walk across them.
//
// A patch is one face p of a coarser level (the patch level); at the sculpted level, depth L
// above it, that face is an n x n grid of quads (n = 2^L) with an (n+1) x (n+1) grid of
// vertices. The quads of patch p are p n^2 .. p n^2 + n^2 - 1; the level's index tables map
// grid cells to them (tarnix::SubdivisionLevel).
//
// Grids, all row-major with x the column:
//   face grid    side n      cell y n + x
//   vertex grid  side n+1    cell y (n+1) + x; corners 0..3 at (0,0), (n,0), (n,n), (0,n)
//   ring grid    side n+3    the vertex grid shifted by (1, 1) inside a one-cell ring
// Side k of a patch runs from corner k to corner k+1: side 0 is the row y = 0, side 1 the
// column x = n, side 2 the row y = n, side 3 the column x = 0.
//
// A Grid views a patch from one of its corners (the orientation o): in every orientation,
// decreasing y moves towards side o, and the row y = 0 runs along that side. A GridFace adds
// a cursor that steps in that direction and, at the side, crosses into the neighbouring
// patch in a straight line.

#include <cstdint>

#include "tarnix/math/hw_vector.h"

namespace tarnix {
class Mesh;
class SubdivisionLevel;
}  // namespace tarnix

struct Grid {
    tarnix::SubdivisionLevel* m_mesh;  // the sculpted level
    tarnix::Mesh* m_patchMesh;         // the patch level (answers edge adjacency)
    uint32_t m_patch;
    uint32_t m_orientation;  // 0..3
    uint32_t m_depth;
    uint32_t m_size;       // n = 1 << depth
    uint32_t m_faceCount;  // n^2

    /// @brief The quad of the sculpted level at (x, y) seen from corner m_orientation.
    /// Throws the module's "wrong parameter" error for an orientation above 3.
    uint32_t Face(uint32_t x, uint32_t y) const;
};

struct GridFace : Grid {
    uint32_t m_x;
    uint32_t m_y;

    /// @brief A cursor on quad `quad` of the sculpted level `level`, in the patch of the
    /// level `depth` below it that holds the quad, seen in `orientation`.
    static GridFace StartAt(tarnix::SubdivisionLevel* level, tarnix::Mesh* patchMesh, uint32_t depth, uint32_t quad,
                            uint32_t orientation);

    uint32_t Face() const { return Grid::Face(m_x, m_y); }
    /// @brief The vertex the current quad contributes to a walk: its corner m_orientation.
    uint32_t Vertex() const;
    /// @brief One quad towards side m_orientation; at the side, into the neighbouring patch
    /// (same column, orientation turned to keep the line straight). At an open border the
    /// cursor stays where it is.
    void Step();
};

/// @brief Fills the ring of a padded grid of side n + 3 for `patch` from its neighbours'
/// current positions. Along a shared side the ring takes the neighbour's vertices one row in
/// from the side; along an open side it copies the patch's own edge cells outward, so the
/// patch cells (rows and columns 1 .. n+1) must be filled first. The four diagonal ring
/// cells are left alone.
void FillRing(const tarnix::Mesh& level, const tarnix::Mesh& patchMesh, uint32_t patch, uint32_t depth,
              tarnix::HWVector* ring);

namespace grid_detail {

struct RingSide {
    uint32_t firstCell;  // ring cell of the first vertex along the side
    int32_t cellStep;    // ring step along the side
    int32_t insideStep;  // from a ring cell to the patch cell just inside it
};
/// @brief Side k of the ring of a padded grid of side m = n + 3.
RingSide RingSideOf(uint32_t k, uint32_t m);

/// @brief Calls `fromVertex(cell, vertex)` for every ring cell along a shared side and
/// `fromCell(cell, insideCell)` along an open side.
template <class FromVertex, class FromCell>
void VisitRing(const tarnix::Mesh& level, const tarnix::Mesh& patchMesh, uint32_t patch, uint32_t depth,
               FromVertex&& fromVertex, FromCell&& fromCell);

}  // namespace grid_detail

#include "patch/grid.inl"
