#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "tarnix/packed_normal.h"
#include "vector_match.h"

namespace {

TEST(PackedNormalTest, PackingScalesClampsAndRoundsHalvesAsAsked) {
    tarnix::PackedNormal packed{0, 0, 0, 77};
    tarnix::PackNormal(tarnix::HWVector(1.0f, -0.5f, 0.25f), packed);
    EXPECT_EQ(packed.x, 32767);
    EXPECT_EQ(packed.y, -16384) << "-16383.5 rounds to the even neighbour";
    EXPECT_EQ(packed.z, 8192) << "8191.75 rounds to nearest";
    EXPECT_EQ(packed.w, 77) << "the fourth value is left alone";
    tarnix::PackNormal(tarnix::HWVector(2.0f, -2.0f, 0.0f), packed);
    EXPECT_EQ(packed.x, 32767);
    EXPECT_EQ(packed.y, -32767) << "out-of-range input clamps instead of wrapping";

    // A component scaled to exactly 2.5 tells the two roundings apart.
    const float half = 2.5f / 32767.0f;
    ASSERT_EQ(half * 32767.0f, 2.5f);
    const auto entry = [](const tarnix::HWVector& normal, tarnix::HalfRounding halves) {
        int16_t lanes[3];
        tarnix::PackNormal(normal, lanes, halves);
        return std::vector<int>(lanes, lanes + 3);
    };
    const tarnix::HWVector halves(half, -half, 1.0f);
    EXPECT_EQ(entry(halves, tarnix::HalfRounding::kToEven), (std::vector<int>{2, -2, 32767}));
    EXPECT_EQ(entry(halves, tarnix::HalfRounding::kAwayFromZero), (std::vector<int>{3, -3, 32767}));
    EXPECT_EQ(entry(tarnix::HWVector(2.0f, -2.0f, 0.0f), tarnix::HalfRounding::kAwayFromZero),
              (std::vector<int>{32767, -32767, 0}))
        << "both roundings clamp";
}

TEST(PackedNormalTest, LanesPackAsOneNormalAtATime) {
    // Four normals' x components in one register pack as each normal's x does.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-1.2f, 1.2f);
    for (int trial = 0; trial < 1000; ++trial) {
        const tarnix::HWVector lanes(value(random), value(random), value(random), value(random));
        alignas(16) int32_t packed[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(packed), tarnix::PackNormalLanes(lanes));
        const float components[4] = {lanes.w, lanes.z, lanes.y, lanes.x};
        for (int lane = 0; lane < 4; ++lane) {
            int16_t x, y, z;
            tarnix::PackNormal(tarnix::HWVector(components[lane], 0.0f, 0.0f), x, y, z);
            ASSERT_EQ(packed[lane], x) << "trial " << trial << " lane " << lane;
        }
    }
}

TEST(PackedNormalTest, UnpackingReadsBackWithinOneStepAsVectorOrLanes) {
    const tarnix::Vector unit = tarnix::Vector(0.3f, -0.7f, 0.2f).Normalized();
    tarnix::PackedNormal packed{0, 0, 0, 5};
    tarnix::PackNormal(tarnix::HWVector(unit), packed);
    const tarnix::Vector back = tarnix::UnpackNormal(packed);
    EXPECT_TRUE(test_support::Near(back, unit, 3.1e-5f));
    EXPECT_EQ(tarnix::UnpackNormal<tarnix::HWVector>(packed), tarnix::HWVector(back, 0.0f))
        << "the fourth value is not a component";
    const int16_t entry[3] = {packed.x, packed.y, packed.z};
    EXPECT_EQ(tarnix::UnpackNormal(entry), back);
}

}  // namespace
