#include <gtest/gtest.h>

#include <vector>

#include "budget_test.h"
#include "host/tracked_store.h"
#include "tarnix/kernel.h"

namespace {

using TrackedStoreTest = test_support::BudgetTest;

TEST_F(TrackedStoreTest, ExhaustedBudgetFailsAndLogsTheLedgers) {
    tarnix::Store<double> weights("relax weights");
    ASSERT_TRUE(corvane::GrowTrackedStore(weights, 4));
    weights.SetCount(4);
    weights[3] = 7.5;
    tarnix::Block::SetBudget(tarnix::Block::RegisteredBytes());

    EXPECT_FALSE(corvane::GrowTrackedStore(weights, 1000));
    EXPECT_EQ(weights.Capacity(), 4u) << "a failed growth keeps the old block";
    EXPECT_EQ(weights[3], 7.5);
    EXPECT_FALSE(corvane::AppendTracked(weights, 1.0)) << "full and cannot grow: skipped";
    EXPECT_EQ(weights.Count(), 4u);
    const auto log = tarnix::Kernel::LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(log.front().startsWith(QStringLiteral("Tracked memory:")));
}

TEST_F(TrackedStoreTest, SameCapacityDoesNothingAndShrinkingKeepsTheFirstElements) {
    tarnix::Store<uint32_t> list;
    ASSERT_TRUE(corvane::GrowTrackedStore(list, 8));
    list.SetCount(8);
    for (uint32_t i = 0; i < 8; ++i) list[i] = i * 11;
    const void* block = list.RawData();
    EXPECT_TRUE(corvane::GrowTrackedStore(list, 8));
    EXPECT_EQ(list.RawData(), block);

    ASSERT_TRUE(corvane::GrowTrackedStore(list, 3));
    EXPECT_EQ(list.Capacity(), 3u);
    EXPECT_EQ(list.Count(), 3u);
    EXPECT_EQ(list[2], 22u);
}

// Lists read by the same index (a vertex and the face it was found in) take a pair into both
// or neither: otherwise a vertex is paired with another's face, or a list read past its end.
TEST_F(TrackedStoreTest, PairedListsStayInStepWhenEitherCannotGrow) {
    for (bool firstFull : {true, false}) {
        tarnix::Store<uint32_t> vertices, faces;
        ASSERT_TRUE(corvane::GrowTrackedStore(vertices, firstFull ? 2 : 8));
        ASSERT_TRUE(corvane::GrowTrackedStore(faces, firstFull ? 8 : 2));
        vertices.SetCount(2);
        faces.SetCount(2);
        tarnix::Block::SetBudget(tarnix::Block::RegisteredBytes());
        EXPECT_FALSE(corvane::AppendTrackedPair(vertices, 40u, faces, 7u));
        tarnix::Block::SetBudget(tarnix::Block::kUnlimited);
        EXPECT_EQ(vertices.Count(), 2u) << firstFull;
        EXPECT_EQ(faces.Count(), 2u) << firstFull;
        ASSERT_TRUE(corvane::AppendTrackedPair(vertices, 40u, faces, 7u));
        EXPECT_EQ(vertices[2], 40u);
        EXPECT_EQ(faces[2], 7u);
    }
}

}  // namespace
