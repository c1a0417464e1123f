#pragma once
// The factor steps of the per-vertex pipeline, shared by the patch kernels and the
// per-vertex path.
//
// Contract: a weight starts from the facing factor and the falloff and only ever gets
// multiplied; factors lie in [0, 1] (a stamp may scale beyond). Verbs: Calc… computes a value,
// Scale… multiplies the weight, Sample… reads the stamp. No step allocates, throws or tests
// a kernel choice: the caller decides which steps run.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "kernels/dab_frame.h"
#include "tarnix/math/hw_vector.h"

namespace corvane {

constexpr float kFreezeScale = 0.007874016f;  // 1 / 127
constexpr float kRadiansToDegrees = 57.29578f;

/// @brief Facing factor: 1 below the start angle between the vertex normal and the view,
/// 0 past start + width, linear between.
inline float CalcFacing(const DabFrame& frame, const tarnix::HWVector& normal, const tarnix::HWVector& position) {
    const tarnix::HWVector view = tarnix::Normalize(frame.camera - position);
    // Packed normals are a little longer or shorter than 1: a normal facing the view squarely
    // can give a cosine just past 1, which has no angle.
    const float cosine = std::min(1.0f, std::max(-1.0f, tarnix::Dot(normal, view)));
    const float angle = std::acos(cosine) * kRadiansToDegrees;
    if (angle < frame.facingStart) return 1.0f;
    if (angle > frame.facingStart + frame.facingWidth) return 0.0f;
    return 1.0f - (angle - frame.facingStart) / frame.facingWidth;
}

/// @brief The falloff sample at distance `d`; 0 past the end of the table, also for a
/// distance that is infinite (a vertex the surface distances did not reach) or not a number.
inline float CalcFalloff(const DabFrame& frame, float d) {
    const float position = d * frame.falloffScale;
    if (!(position < float(frame.falloffLastIndex) + 1.0f)) return 0.0f;
    const uint32_t i = uint32_t(position);
    return i <= frame.falloffLastIndex ? frame.falloff[i] : 0.0f;
}

/// @brief Frozen vertices keep (1 - strength / 127) of the weight.
inline float ScaleByFreeze(float w, uint8_t freezeByte) { return w * (1.0f - float(freezeByte & 0x7F) * kFreezeScale); }

/// @brief Build-up: the weight shrinks with what the vertex has built up this stroke.
inline float ScaleByBuildUp(float w, float buildUp) { return w * (1.0f - buildUp); }

/// @brief Samples the stamp at `position` (through the stamp matrix rows, divided by w).
/// False when the texel lies outside the image and the stamp is not tiled. `out` receives 1
/// value (grey) or 3 (vector displacement: x, along the normal, y).
template <bool Tiled>
inline bool SampleStamp(const DabFrame& frame, const tarnix::HWVector& position, float out[3]) {
    const tarnix::HWVector h = TransformPoint(frame.rows, kRowStampMatrix, position);
    const float u = h.x / h.w, v = h.y / h.w;
    const int32_t width = int32_t(frame.stampWidth), height = int32_t(frame.stampHeight);
    // Nearest texel, halves to even (the default rounding mode).
    int32_t iu = int32_t(std::nearbyint(u)), iv = int32_t(std::nearbyint(v));
    if (Tiled) {
        iu = ((iu % width) + width) % width;
        iv = ((iv % height) + height) % height;
    } else if (iu < 0 || iu >= width || iv < 0 || iv >= height) {
        return false;
    }
    const uint32_t channels = frame.stampVector ? 3 : 1;
    const auto texel = [&](int32_t x, int32_t y) { return frame.stampPixels + (size_t(y) * width + x) * channels; };
    if (!frame.stampBilinear) {
        for (uint32_t c = 0; c < channels; ++c) out[c] = texel(iu, iv)[c];
        return true;
    }
    const float fu = (u - 0.5f) - std::floor(u - 0.5f), fv = (v - 0.5f) - std::floor(v - 0.5f);
    const float weights[4] = {1 - fu - fv + fu * fv, fu - fu * fv, fv - fu * fv, fu * fv};
    const int32_t xs[2] = {iu, iu + 1}, ys[2] = {iv, iv + 1};
    for (uint32_t c = 0; c < channels; ++c) out[c] = 0.0f;
    for (int k = 0; k < 4; ++k) {
        int32_t x = xs[k & 1], y = ys[k >> 1];
        if (Tiled) {
            x %= width;
            y %= height;
        } else if (x >= width || y >= height) {
            continue;  // beyond the last column or row counts as zero
        }
        for (uint32_t c = 0; c < channels; ++c) out[c] += weights[k] * texel(x, y)[c];
    }
    return true;
}

/// @brief The vector-displacement offset of a stamp sample: channel 0 along the stamp's x
/// axis, 1 along the dab direction `n`, 2 along its y axis, each axis flattened onto the
/// plane across `n`; `a` is the weighted length.
inline tarnix::HWVector CalcVectorDisplacement(const DabFrame& frame, const tarnix::HWVector& n, float a,
                                               const float sample[3]) {
    const tarnix::HWVector x = tarnix::Normalize(n & (frame.rows[kRowStampX] & n));
    const tarnix::HWVector y = tarnix::Normalize(n & (frame.rows[kRowStampY] & n));
    return x * (a * sample[0] * frame.stampScaleX) + n * (a * sample[1] * frame.stampDepthStep) +
           y * (a * sample[2] * frame.stampScaleY);
}

}  // namespace corvane
