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

}  // namespace
