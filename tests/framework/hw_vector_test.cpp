#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "tarnix/math/hw_vector.h"
#include "vector_match.h"

namespace {

TEST(HWVectorTest, LanesHoldWZYXInMemoryOrder) {
    const tarnix::HWVector v(1.0f, 2.0f, 3.0f, 4.0f);
    alignas(16) float lanes[4];
    tarnix::HWVector::Store(lanes, v);
    EXPECT_EQ(std::vector<float>(lanes, lanes + 4), (std::vector<float>{4, 3, 2, 1}));
    EXPECT_EQ(v.x, 1.0f);
    EXPECT_EQ(v.w, 4.0f);
    EXPECT_EQ(tarnix::HWVector::Load(lanes), v);
    EXPECT_EQ(tarnix::HWVector(tarnix::Vector(1, 2, 3)).w, 0.0f);
    EXPECT_EQ(v.SplatX(), tarnix::HWVector(1.0f));
    EXPECT_EQ(v.SplatY(), tarnix::HWVector(2.0f));
    EXPECT_EQ(v.SplatZ(), tarnix::HWVector(3.0f));
}

// Vertex records keep x, y, z with other words after them, four bytes aligned: a position is
// read with w = 0 and written back bit for bit, without touching the word that follows.
TEST(HWVectorTest, PositionsOfThreeFloatsLoadAndStoreExactly) {
    struct Record {
        float position[3];
        uint32_t next;
    };
    Record records[2] = {{{1.5f, -0.0f, std::numeric_limits<float>::denorm_min()}, 0xDEADBEEF},
                         {{-3e38f, std::numeric_limits<float>::quiet_NaN(), 7.25f}, 0x12345678}};
    for (Record& record : records) {
        const tarnix::HWVector v = tarnix::HWVector::LoadXYZ(record.position);
        EXPECT_EQ(std::memcmp(&v.x, &record.position[0], 4), 0);
        EXPECT_EQ(std::memcmp(&v.y, &record.position[1], 4), 0);
        EXPECT_EQ(std::memcmp(&v.z, &record.position[2], 4), 0);
        EXPECT_EQ(v.w, 0.0f);
        float copy[4] = {9, 9, 9, 9};
        tarnix::HWVector::StoreXYZ(copy, v);
        EXPECT_EQ(std::memcmp(copy, record.position, sizeof(record.position)), 0);
        EXPECT_EQ(copy[3], 9.0f) << "the word after the position stays";
    }
    tarnix::HWVector::StoreXYZ(records[0].position, tarnix::HWVector(4, 5, 6, 7));
    EXPECT_EQ(records[0].next, 0xDEADBEEFu);
    EXPECT_EQ(records[0].position[2], 6.0f);
}

TEST(HWVectorTest, DotAndCrossAgreeWithThePlainVector) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-10.0f, 10.0f);
    for (int i = 0; i < 100; ++i) {
        const tarnix::Vector a(value(random), value(random), value(random));
        const tarnix::Vector b(value(random), value(random), value(random));
        // A non-zero padding lane must not leak into either product.
        const tarnix::HWVector ha(a, 5.0f), hb(b, -3.0f);
        const tarnix::HWVector dot = ha | hb;
        EXPECT_FLOAT_EQ(dot.x, a | b);
        EXPECT_EQ(dot.x, dot.w) << "the dot product fills every lane";
        EXPECT_EQ(dot.y, dot.z);
        const tarnix::HWVector cross = ha & hb;
        EXPECT_TRUE(test_support::Near(cross.ToVector(), a & b, 1e-4f));
        EXPECT_EQ(cross.w, 0.0f);
    }
}

}  // namespace
