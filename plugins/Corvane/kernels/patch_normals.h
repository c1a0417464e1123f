#pragma once
// The packed normal of a grid vertex from its padded-grid neighbours: the normalised cross
// product of the differences across the grid's x axis (u) and its y axis (v), scaled to the
// 16-bit range and rounded to the nearest integer.
//
// PackNormal takes one vertex; PackNormalsOfFour takes four at once with the coordinates in
// lanes (one register for the x of four vertices, one for y, one for z), so that each square
// root and division serves four normals. Both round every operation exactly as the other
// does: the same products, sums in the same order ((x x + y y) + z z), the same division, and
// the framework's packing (tarnix/packed_normal.h) one vertex or four lanes at a time, so a
// normal does not depend on which of the two computed it.

#include <emmintrin.h>
#include <xmmintrin.h>
#include <cstdint>

#include "tarnix/math/hw_vector.h"
#include "tarnix/packed_normal.h"

namespace corvane {

/// @brief Packed x, y, z of the normal of u x v.
inline void PackNormal(const tarnix::HWVector& u, const tarnix::HWVector& v, int32_t& x, int32_t& y, int32_t& z) {
    // The lanes as PackNormalsOfFour leaves them, before they are cut to 16 bits.
    alignas(16) int32_t packed[4];  // lanes w, z, y, x
    _mm_store_si128(reinterpret_cast<__m128i*>(packed), tarnix::PackNormalLanes(tarnix::Normalize(u & v)));
    x = packed[3];
    y = packed[2];
    z = packed[1];
}

/// @brief PackNormal for four vertices: `x[j]`, `y[j]`, `z[j]` from `u[j]`, `v[j]`.
inline void PackNormalsOfFour(const tarnix::HWVector u[4], const tarnix::HWVector v[4], int32_t x[4], int32_t y[4],
                              int32_t z[4]) {
    // Transposed, lanes (w, z, y, x) of four vectors become four registers of one lane each.
    __m128 uw = u[0], uz = u[1], uy = u[2], ux = u[3];
    _MM_TRANSPOSE4_PS(uw, uz, uy, ux);
    __m128 vw = v[0], vz = v[1], vy = v[2], vx = v[3];
    _MM_TRANSPOSE4_PS(vw, vz, vy, vx);
    const __m128 cx = _mm_sub_ps(_mm_mul_ps(uy, vz), _mm_mul_ps(uz, vy));
    const __m128 cy = _mm_sub_ps(_mm_mul_ps(uz, vx), _mm_mul_ps(ux, vz));
    const __m128 cz = _mm_sub_ps(_mm_mul_ps(ux, vy), _mm_mul_ps(uy, vx));
    const __m128 length =
        _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(cx, cx), _mm_mul_ps(cy, cy)), _mm_mul_ps(cz, cz)));
    const __m128 nonZero = _mm_cmpgt_ps(length, _mm_setzero_ps());
    const auto pack = [&](__m128 c, int32_t out[4]) {
        const __m128 n = _mm_and_ps(_mm_div_ps(c, length), nonZero);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), tarnix::PackNormalLanes(n));
    };
    pack(cx, x);
    pack(cy, y);
    pack(cz, z);
}

}  // namespace corvane
