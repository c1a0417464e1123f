#include "patch/grid.h"

#include "host/errors.h"
#include "tarnix/mesh.h"
#include "tarnix/subdivision_level.h"

uint32_t Grid::Face(uint32_t x, uint32_t y) const {
    const uint32_t n = m_size;
    uint32_t cell = 0;
    switch (m_orientation) {
        case 0:
            cell = n * y + x;
            break;
        case 1:
            cell = n * (x + 1) - y - 1;
            break;
        case 2:
            cell = n * (n - y) - x - 1;
            break;
        case 3:
            cell = n * (n - x - 1) + y;
            break;
        default:
            corvane::RaiseError("Grid::Face", 256, QStringLiteral("wrong parameter"));
    }
    return m_faceCount * m_patch + tarnix::SubdivisionLevel::QuadIndexTable(m_depth)[cell];
}

GridFace GridFace::StartAt(tarnix::SubdivisionLevel* level, tarnix::Mesh* patchMesh, uint32_t depth, uint32_t quad,
                           uint32_t orientation) {
    const uint32_t n = 1u << depth;
    const uint32_t facesPerPatch = n * n;
    const uint32_t patch = quad / facesPerPatch;
    const uint32_t cell = tarnix::SubdivisionLevel::InvertedQuadIndexTable(depth)[quad - patch * facesPerPatch];
    const uint32_t x = cell % n, y = cell / n;
    GridFace cursor;
    cursor.m_mesh = level;
    cursor.m_patchMesh = patchMesh;
    cursor.m_patch = patch;
    cursor.m_orientation = orientation;
    cursor.m_depth = depth;
    cursor.m_size = n;
    cursor.m_faceCount = facesPerPatch;
    switch (orientation & 3) {
        case 0:
            cursor.m_x = x;
            cursor.m_y = y;
            break;
        case 1:
            cursor.m_x = y;
            cursor.m_y = n - x - 1;
            break;
        case 2:
            cursor.m_x = n - x - 1;
            cursor.m_y = n - y - 1;
            break;
        default:
            cursor.m_x = n - y - 1;
            cursor.m_y = x;
            break;
    }
    return cursor;
}

uint32_t GridFace::Vertex() const { return m_mesh->m_cornerIndices[4 * Face() + m_orientation]; }

void GridFace::Step() {
    if (m_y > 0) {
        --m_y;
        return;
    }
    const uint32_t answer = m_patchMesh->EdgeAdjacency(m_patch, m_orientation);
    if (answer >= tarnix::Mesh::kOpenBorder) return;
    const uint32_t neighbour = answer >> 2;
    // Entering through the neighbour's side s, the walk goes on towards its opposite side.
    m_orientation = (answer - 2) & 3;
    if (neighbour != m_patch) m_y = m_size - 1;
    m_patch = neighbour;
}

namespace grid_detail {

RingSide RingSideOf(uint32_t k, uint32_t m) {
    switch (k) {
        case 0:
            return {1, 1, int32_t(m)};
        case 1:
            return {2 * m - 1, int32_t(m), -1};
        case 2:
            return {m * m - 2, -1, -int32_t(m)};
        default:
            return {(m - 2) * m, -int32_t(m), 1};
    }
}

}  // namespace grid_detail

void FillRing(const tarnix::Mesh& level, const tarnix::Mesh& patchMesh, uint32_t patch, uint32_t depth,
              tarnix::HWVector* ring) {
    grid_detail::VisitRing(
        level, patchMesh, patch, depth,
        [&](uint32_t cell, uint32_t vertex) {
            ring[cell] = tarnix::HWVector::LoadXYZ(level.m_vertices[vertex].position);
        },
        [&](uint32_t cell, uint32_t inside) { ring[cell] = ring[inside]; });
}
