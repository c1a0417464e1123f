#pragma once
// Vertex normals as meshes and undo entries keep them: x, y, z of a unit normal, each times
// 32767, clamped to [-32767, 32767] and rounded to a signed 16-bit integer. Everything that
// packs or unpacks a normal goes through these helpers, so that a normal packed in one place
// reads back the same in every other.

#include <emmintrin.h>
#include <cmath>
#include <cstdint>

#include "tarnix/math/hw_vector.h"
#include "tarnix/math/vector.h"

namespace tarnix {

struct PackedNormal {
    int16_t x, y, z, w;
};
static_assert(sizeof(PackedNormal) == 8, "packed normals are four 16-bit values");

/// Scale between a packed normal component and its float value.
constexpr float kNormalUnpackScale = 3.051851e-5f;  // 1 / 32767

/// How a component that lies exactly halfway between two packed values rounds.
enum class HalfRounding {
    /// To the even neighbour, as the processor converts: what every normal rebuilt from the
    /// surface uses.
    kToEven,
    /// Away from zero: the base brush's normals blended across an edge split or merge, which
    /// have always been packed so; changing it would move the normals it leaves.
    kAwayFromZero,
};

/// @brief Four components scaled lane by lane: times 32767, clamped to [-32767, 32767].
inline HWVector ScaleNormalLanes(const HWVector& components) {
    const __m128 limit = _mm_set1_ps(32767.0f);
    return _mm_min_ps(limit, _mm_max_ps(_mm_sub_ps(_mm_setzero_ps(), limit), _mm_mul_ps(components, limit)));
}

/// @brief Four components packed at once: scaled as above and rounded to nearest, halves to
/// even. The lanes may hold x, y, z of one normal or one component of four normals (the
/// kernels' vectorised normals); nothing is normalised here.
inline __m128i PackNormalLanes(const HWVector& components) { return _mm_cvtps_epi32(ScaleNormalLanes(components)); }

/// @brief Packs x, y, z of `normal` (not normalised here) into `x`, `y`, `z`.
inline void PackNormal(const HWVector& normal, int16_t& x, int16_t& y, int16_t& z,
                       HalfRounding halves = HalfRounding::kToEven) {
    if (halves == HalfRounding::kAwayFromZero) {
        const HWVector scaled = ScaleNormalLanes(normal);
        x = int16_t(std::lround(scaled.x));
        y = int16_t(std::lround(scaled.y));
        z = int16_t(std::lround(scaled.z));
        return;
    }
    alignas(16) int32_t packed[4];  // lanes w, z, y, x
    _mm_store_si128(reinterpret_cast<__m128i*>(packed), PackNormalLanes(normal));
    x = int16_t(packed[3]);
    y = int16_t(packed[2]);
    z = int16_t(packed[1]);
}

/// @brief Packs `normal` into a mesh's normal entry; its fourth value stays as it is.
inline void PackNormal(const HWVector& normal, PackedNormal& packed, HalfRounding halves = HalfRounding::kToEven) {
    PackNormal(normal, packed.x, packed.y, packed.z, halves);
}

/// @brief Packs `normal` into an undo entry's three components.
inline void PackNormal(const HWVector& normal, int16_t (&packed)[3], HalfRounding halves = HalfRounding::kToEven) {
    PackNormal(normal, packed[0], packed[1], packed[2], halves);
}

/// @brief The normal packed components stand for, as a Vector or an HWVector (w 0).
template <class V = Vector>
inline V UnpackNormal(int16_t x, int16_t y, int16_t z) {
    return V(float(x), float(y), float(z)) * kNormalUnpackScale;
}
template <class V = Vector>
inline V UnpackNormal(const PackedNormal& packed) {
    return UnpackNormal<V>(packed.x, packed.y, packed.z);
}
template <class V = Vector>
inline V UnpackNormal(const int16_t (&packed)[3]) {
    return UnpackNormal<V>(packed[0], packed[1], packed[2]);
}

}  // namespace tarnix
