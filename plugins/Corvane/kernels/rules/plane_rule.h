#pragma once

#include <algorithm>

#include "tarnix/math/hw_vector.h"

namespace corvane {

/// Plane family: the plane is n . X = distance, lifted by the wax depth (signed by the lift
/// sign) and turned by the plane sign (Amplify pushes away). The signed height to the plane
/// is clamped into [minimum, maximum] (Scrape only lowers, Fill only raises) and the vertex
/// moves the fraction weight x length / 100 of it along n: Flatten at 100 lands on the plane.
struct PlaneRule {
    struct Plane {
        tarnix::HWVector normal;
        float distance, waxDepth, liftSign, sign, minimum, maximum;
    };
    static tarnix::HWVector Displace(const Plane& plane, const tarnix::HWVector& position, float weight, float length) {
        float t =
            (plane.waxDepth * plane.liftSign + (plane.distance - tarnix::Dot(plane.normal, position))) * plane.sign;
        t = std::max(plane.minimum, std::min(plane.maximum, t));
        return plane.normal * (t * (weight * length * 0.01f));
    }
};

}  // namespace corvane
