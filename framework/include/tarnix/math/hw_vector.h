#pragma once
// HWVector: four floats in one 16-byte aligned SSE register, the framework's vector for
// every hot loop (kernel positions, directions, box corners, matrix rows).
//
// Lane order: lane 0 holds w, lane 1 z, lane 2 y, lane 3 x, so the named fields lie in
// memory as w, z, y, x and HWVector(x, y, z, w) reads naturally. Lane 0 (w) is the padding
// lane: points and directions keep it 0, unless a caller documents otherwise (the brush
// keeps 1 there for world positions).
//
// Unusual operators: `a | b` is the dot product of x, y, z (w ignored) in every lane;
// `a & b` is the cross product of x, y, z with w = 0.
//
// The default constructor leaves the lanes uninitialised, like a plain float; use
// HWVector(zero) or an explicit broadcast where a value is needed.

#include <emmintrin.h>
#include <cstdint>

#include "tarnix/math/vector.h"

#if !defined(__SSE2__)
#error "HWVector needs SSE2 (every x86-64 processor has it)"
#endif

namespace tarnix {

struct ZeroTag {};
constexpr ZeroTag zero{};

struct alignas(16) HWVector {
    union {
        __m128 m128;
        struct {
            float w, z, y, x;
        };
    };

    // ---- construction -----------------------------------------------------------------------
    HWVector() {}
    HWVector(__m128 v) : m128(v) {}
    HWVector(ZeroTag) : m128(_mm_setzero_ps()) {}
    explicit HWVector(float broadcast) : m128(_mm_set1_ps(broadcast)) {}
    HWVector(float x_, float y_, float z_, float w_ = 0.0f) : m128(_mm_set_ps(x_, y_, z_, w_)) {}
    explicit HWVector(const Vector& v, float w_ = 0.0f) : m128(_mm_set_ps(v.x, v.y, v.z, w_)) {}
    explicit HWVector(const Vector4& v) : m128(_mm_set_ps(v.x, v.y, v.z, v.w)) {}

    operator const __m128&() const { return m128; }
    Vector ToVector() const { return {x, y, z}; }
    /// @brief x, y or z in every lane. Unlike reading the named field, this keeps the value in
    /// a register: the compiler may otherwise split the vector into its fields and rebuild it
    /// through memory, a stall on every reload.
    HWVector SplatX() const { return _mm_shuffle_ps(m128, m128, _MM_SHUFFLE(3, 3, 3, 3)); }
    HWVector SplatY() const { return _mm_shuffle_ps(m128, m128, _MM_SHUFFLE(2, 2, 2, 2)); }
    HWVector SplatZ() const { return _mm_shuffle_ps(m128, m128, _MM_SHUFFLE(1, 1, 1, 1)); }
    Vector4 ToVector4() const { return {x, y, z, w}; }

    // ---- load / store -----------------------------------------------------------------------
    /// @brief Four floats in lane order (w, z, y, x) from 16-byte aligned memory.
    static HWVector Load(const float* aligned) { return _mm_load_ps(aligned); }
    static HWVector LoadUnaligned(const float* p) { return _mm_loadu_ps(p); }
    static void Store(float* aligned, const HWVector& v) { _mm_store_ps(aligned, v.m128); }
    static void StoreUnaligned(float* p, const HWVector& v) { _mm_storeu_ps(p, v.m128); }
    /// @brief A position stored as three floats x, y, z (a vertex record), w = 0. Two loads
    /// and two shuffles, as the per-vertex loops do this for every vertex.
    static HWVector LoadXYZ(const float* p) {
        const __m128 xy = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(p));
        const __m128 xyz = _mm_movelh_ps(xy, _mm_load_ss(p + 2));  // memory order x, y, z, 0
        return _mm_shuffle_ps(xyz, xyz, _MM_SHUFFLE(0, 1, 2, 3));
    }
    static void StoreXYZ(float* p, const HWVector& v) {
        const __m128 xyzw = _mm_shuffle_ps(v.m128, v.m128, _MM_SHUFFLE(0, 1, 2, 3));
        _mm_storel_pi(reinterpret_cast<__m64*>(p), xyzw);
        _mm_store_ss(p + 2, _mm_movehl_ps(xyzw, xyzw));
    }
};

static_assert(sizeof(HWVector) == 16, "HWVector is one SSE register");
static_assert(alignof(HWVector) == 16, "HWVector is 16-byte aligned");

// ---- unary ------------------------------------------------------------------------------------
inline HWVector operator-(const HWVector& a) { return _mm_xor_ps(a, _mm_set1_ps(-0.0f)); }

// ---- binary -----------------------------------------------------------------------------------
inline HWVector operator+(const HWVector& a, const HWVector& b) { return _mm_add_ps(a, b); }
inline HWVector operator-(const HWVector& a, const HWVector& b) { return _mm_sub_ps(a, b); }
inline HWVector operator*(const HWVector& a, const HWVector& b) { return _mm_mul_ps(a, b); }
inline HWVector operator*(const HWVector& a, float s) { return _mm_mul_ps(a, _mm_set1_ps(s)); }
inline HWVector operator*(float s, const HWVector& a) { return a * s; }
inline HWVector operator/(const HWVector& a, const HWVector& b) { return _mm_div_ps(a, b); }

inline HWVector& operator+=(HWVector& a, const HWVector& b) { return a = a + b; }
inline HWVector& operator-=(HWVector& a, const HWVector& b) { return a = a - b; }
inline HWVector& operator*=(HWVector& a, const HWVector& b) { return a = a * b; }
inline HWVector& operator*=(HWVector& a, float s) { return a = a * s; }

// ---- dot / cross ------------------------------------------------------------------------------
/// @brief Dot product of x, y, z, in every lane.
inline HWVector operator|(const HWVector& a, const HWVector& b) {
    const __m128 xyzMask = _mm_castsi128_ps(_mm_set_epi32(-1, -1, -1, 0));
    const __m128 products = _mm_and_ps(_mm_mul_ps(a, b), xyzMask);
    const __m128 pairs = _mm_add_ps(products, _mm_shuffle_ps(products, products, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_add_ps(pairs, _mm_shuffle_ps(pairs, pairs, _MM_SHUFFLE(1, 0, 3, 2)));
}

/// @brief Cross product of x, y, z; the w lane of the result is 0.
inline HWVector operator&(const HWVector& a, const HWVector& b) {
    // Lanes are (w, z, y, x): (2,1,3,0) lines up (w, x, z, y), (1,3,2,0) lines up (w, y, x, z).
    const __m128 aYZX = _mm_shuffle_ps(a, a, _MM_SHUFFLE(2, 1, 3, 0));
    const __m128 bZXY = _mm_shuffle_ps(b, b, _MM_SHUFFLE(1, 3, 2, 0));
    const __m128 aZXY = _mm_shuffle_ps(a, a, _MM_SHUFFLE(1, 3, 2, 0));
    const __m128 bYZX = _mm_shuffle_ps(b, b, _MM_SHUFFLE(2, 1, 3, 0));
    const __m128 cross = _mm_sub_ps(_mm_mul_ps(aYZX, bZXY), _mm_mul_ps(aZXY, bYZX));
    return _mm_and_ps(cross, _mm_castsi128_ps(_mm_set_epi32(-1, -1, -1, 0)));
}

inline float Dot(const HWVector& a, const HWVector& b) { return _mm_cvtss_f32(a | b); }
inline float LengthSquared(const HWVector& a) { return Dot(a, a); }
inline float Length(const HWVector& a) { return _mm_cvtss_f32(_mm_sqrt_ss(a | a)); }

/// @brief Scales all four lanes by 1 / length of x, y, z; a zero vector gives zero.
inline HWVector Normalize(const HWVector& a) {
    const __m128 length = _mm_sqrt_ps(a | a);
    return _mm_and_ps(_mm_div_ps(a, length), _mm_cmpgt_ps(length, _mm_setzero_ps()));
}

// ---- min / max --------------------------------------------------------------------------------
inline HWVector Minimum(const HWVector& a, const HWVector& b) { return _mm_min_ps(a, b); }
inline HWVector Maximum(const HWVector& a, const HWVector& b) { return _mm_max_ps(a, b); }

// ---- compare ----------------------------------------------------------------------------------
/// @brief True when all four lanes are equal.
inline bool operator==(const HWVector& a, const HWVector& b) { return _mm_movemask_ps(_mm_cmpeq_ps(a, b)) == 0xF; }
inline bool operator!=(const HWVector& a, const HWVector& b) { return !(a == b); }

}  // namespace tarnix
