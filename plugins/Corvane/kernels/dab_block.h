#pragma once
// The dab block: kDabRowCount HWVector rows (lanes w, z, y, x) that the dab driver writes once
// per dab and the kernels read; the brush keeps them in its scratch (kernel_scratch.h). A point
// p is taken into the other space as row(k) p.x + row(k+1) p.y + row(k+2) p.z + row(k+3) (a
// direction without the last row).

#include <cstdint>

#include "tarnix/math/hw_vector.h"
#include "tarnix/math/matrix.h"

namespace corvane {

enum DabRow : uint32_t {
    kRowCenter = 0,      // brush centre, mesh space, w 0 (world space, w 1, with non-uniform scale)
    kRowDirection = 1,   // unit displacement direction / plane normal, mesh space
    kRowBoxMinimum = 2,  // touched box, mesh space
    kRowBoxMaximum = 3,
    kRowInverseScale = 4,  // (1/sx, 1/sy, 1/sz), w 0
    kRowStampX = 5,        // stamp axes in mesh space
    kRowStampY = 6,
    kRowStampMatrix = 7,   // 7..10: the stamp matrix
    kRowMeshToWorld = 11,  // 11..14
    kRowWorldToMesh = 15,  // 15..18
    kDabRowCount = 19,
};

/// @brief p taken through the matrix rows starting at `first` (w = 1 for points).
inline tarnix::HWVector TransformPoint(const tarnix::HWVector* rows, uint32_t first, const tarnix::HWVector& p) {
    return rows[first] * p.SplatX() + rows[first + 1] * p.SplatY() + rows[first + 2] * p.SplatZ() + rows[first + 3];
}
inline tarnix::HWVector TransformDirection(const tarnix::HWVector* rows, uint32_t first, const tarnix::HWVector& d) {
    return rows[first] * d.SplatX() + rows[first + 1] * d.SplatY() + rows[first + 2] * d.SplatZ();
}

/// @brief Writes the four rows of `matrix` from row `first` on, each in HWVector lane order.
inline void StoreMatrixRows(tarnix::HWVector* rows, uint32_t first, const tarnix::Matrix& matrix) {
    for (int r = 0; r < 4; ++r) rows[first + r] = tarnix::HWVector(matrix.Row(r));
}

}  // namespace corvane
