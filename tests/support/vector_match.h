#pragma once
// Vectors compared whole, each coordinate within `tolerance` (as EXPECT_NEAR takes one): a
// failure names both vectors.

#include <gtest/gtest.h>

#include <cmath>

#include "tarnix/math/vector.h"

namespace test_support {

inline ::testing::AssertionResult Near(const tarnix::Vector& a, const tarnix::Vector& b, float tolerance) {
    if (std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance && std::fabs(a.z - b.z) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") and (" << b.x << ", " << b.y
                                         << ", " << b.z << ") differ by more than " << tolerance;
}

}  // namespace test_support
