#pragma once

#include "tarnix/math/hw_vector.h"

namespace corvane {

/// Smoothing family: the vertex moves the weighted fraction of the way from `base` (its
/// position, or its layer position when only the active layer is smoothed) to `target`.
struct SmoothingRule {
    static tarnix::HWVector Displace(const tarnix::HWVector& target, const tarnix::HWVector& base, float weight,
                                     float length) {
        return (target - base) * (weight * length);
    }
};

}  // namespace corvane
