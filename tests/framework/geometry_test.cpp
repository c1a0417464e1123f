#include <gtest/gtest.h>

#include "tarnix/math/bounding_box.h"
#include "tarnix/math/matrix.h"
#include "vector_match.h"

namespace {

using test_support::Near;

TEST(MatrixTest, RowVectorsTransformWithTranslationInRowThreeAndTheInverseUndoesIt) {
    const tarnix::Matrix m = tarnix::Matrix::Scale({2, 3, 4}) * tarnix::Matrix::Rotation({0, 0, 1}, 1.5707964f) *
                             tarnix::Matrix::Translation({10, 20, 30});
    // Scale, then a quarter turn about z, then the translation.
    EXPECT_TRUE(Near(m.Transform({1, 0, 0}, 1.0f), {10, 22, 30}, 1e-5f));
    EXPECT_TRUE(Near(m.Transform({1, 0, 0}, 0.0f), {0, 2, 0}, 1e-5f));
    const tarnix::Matrix tilted = tarnix::Matrix::Rotation(tarnix::Vector(1, 2, 3).Normalized(), 0.7f) * m;
    const tarnix::Vector p(0.3f, -1.2f, 7.0f);
    EXPECT_TRUE(Near(tilted.Inverted().Transform(tilted.Transform(p, 1.0f), 1.0f), p, 1e-4f));
    tarnix::Matrix singular = tarnix::Matrix::Scale({1, 0, 1});
    EXPECT_FALSE(singular.Invert());
    EXPECT_EQ(singular, tarnix::Matrix::Scale({1, 0, 1})) << "a failed inversion changes nothing";
}

TEST(BoundingBoxTest, EmptyExtendContainMeetCornersAndSphereBoxes) {
    tarnix::AxisAlignedBoundingBox box;
    EXPECT_TRUE(box.IsEmpty());
    EXPECT_FALSE(box.IsContaining(tarnix::Vector(0, 0, 0)));
    box.Extend({1, 2, 3});
    EXPECT_FALSE(box.IsEmpty()) << "a single point is a box";
    box.Extend({-1, 4, 0});
    EXPECT_EQ(box.Corner(0), tarnix::Vector(-1, 2, 0));
    EXPECT_EQ(box.Corner(7), tarnix::Vector(1, 4, 3));
    EXPECT_EQ(box.Corner(5), tarnix::Vector(1, 2, 3)) << "bits 0 and 2: x and z at maximum";
    EXPECT_TRUE(box.IsContaining(tarnix::Vector(1, 4, 3))) << "the border is inside";
    EXPECT_TRUE(box.IsContaining(tarnix::AxisAlignedBoundingBox()));
    EXPECT_FALSE(box.IsContaining(tarnix::AxisAlignedBoundingBox({0, 0, 0}, {1, 1, 1})));
    EXPECT_TRUE(box.IsMeeting(tarnix::AxisAlignedBoundingBox({1, 4, 3}, {2, 5, 4}))) << "a shared corner meets";
    EXPECT_FALSE(box.IsMeeting(tarnix::AxisAlignedBoundingBox({0, 3, 3.5f}, {1, 4, 4}))) << "apart along z only";
    EXPECT_FALSE(box.IsMeeting(tarnix::AxisAlignedBoundingBox()));
    // A sphere's box is taken into the target space.
    const tarnix::Matrix toMesh = tarnix::Matrix::Scale({0.5f, 0.5f, 0.5f}) * tarnix::Matrix::Translation({1, 0, 0});
    const auto sphere = tarnix::AxisAlignedBoundingBox::SphereBoundingBox({2, 2, 2}, 1.0f, toMesh);
    EXPECT_TRUE(Near(sphere.Minimum(), {1.5f, 0.5f, 0.5f}, 1e-5f));
    EXPECT_TRUE(Near(sphere.Maximum(), {2.5f, 1.5f, 1.5f}, 1e-5f));
}

}  // namespace
