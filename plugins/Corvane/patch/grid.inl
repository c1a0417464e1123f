// Template bodies of patch/grid.h.

#include "tarnix/mesh.h"
#include "tarnix/subdivision_level.h"

namespace grid_detail {

template <class FromVertex, class FromCell>
void VisitRing(const tarnix::Mesh& level, const tarnix::Mesh& patchMesh, uint32_t patch, uint32_t depth,
               FromVertex&& fromVertex, FromCell&& fromCell) {
    const uint32_t n = 1u << depth;
    const uint32_t side = n + 1;  // vertex grid
    const uint32_t m = n + 3;     // ring grid
    const uint32_t* vertexTable = tarnix::SubdivisionLevel::QuadVertexIndexTable(depth).Data();
    for (uint32_t k = 0; k < 4; ++k) {
        const RingSide ring = RingSideOf(k, m);
        const uint32_t answer = patchMesh.EdgeAdjacency(patch, k);
        if (answer >= tarnix::Mesh::kOpenBorder) {
            for (uint32_t i = 0; i <= n; ++i) {
                const uint32_t cell = ring.firstCell + int32_t(i) * ring.cellStep;
                fromCell(cell, cell + ring.insideStep);
            }
            continue;
        }
        // The neighbour runs the shared edge the other way: read one row in from its side,
        // in its side's direction, and place the vertices back to front.
        const uint32_t q = answer >> 2, s = answer & 3;
        uint32_t start = 0;
        int32_t step = 0;
        switch (s) {
            case 0:
                start = side;
                step = 1;
                break;
            case 1:
                start = n - 1;
                step = int32_t(side);
                break;
            case 2:
                start = n * side - 1;
                step = -1;
                break;
            default:
                start = n * side + 1;
                step = -int32_t(side);
                break;
        }
        const uint32_t* corners = level.m_cornerIndices.Data() + size_t(4) * q * n * n;
        for (uint32_t i = 0; i <= n; ++i) {
            const uint32_t gridCell = start + int32_t(i) * step;
            const uint32_t cell = ring.firstCell + int32_t(n - i) * ring.cellStep;
            fromVertex(cell, corners[vertexTable[gridCell]]);
        }
    }
}

}  // namespace grid_detail
