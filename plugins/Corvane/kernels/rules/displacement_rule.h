#pragma once

#include "tarnix/math/hw_vector.h"

namespace corvane {

/// Displacement family: the vertex moves along `direction` (the dab direction, or its own
/// normal) by the weighted length.
struct DisplacementRule {
    static tarnix::HWVector Displace(const tarnix::HWVector& direction, float weight, float length) {
        return direction * (weight * length);
    }
};

}  // namespace corvane
