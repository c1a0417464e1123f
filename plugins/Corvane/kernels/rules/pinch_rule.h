#pragma once

#include "tarnix/math/hw_vector.h"

namespace corvane {

/// Pinch family: the vertex moves a tenth of the weighted length's fraction of its distance
/// towards the brush centre; a vertex at the centre stays.
struct PinchRule {
    static tarnix::HWVector Displace(const tarnix::HWVector& center, const tarnix::HWVector& position, float weight,
                                     float length) {
        return (center - position) * (0.1f * (weight * length));
    }
};

}  // namespace corvane
