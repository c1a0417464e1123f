#include <gtest/gtest.h>

#include <QString>
#include <thread>

#include "budget_test.h"
#include "tarnix/block.h"
#include "tarnix/kernel.h"
#include "tarnix/store.h"

namespace {

using BlockTest = test_support::BudgetTest;

// Registration is held against the budget, and so is a store's growth.
TEST_F(BlockTest, RegistrationAndStoreGrowthAreHeldAgainstTheBudget) {
    const uint64_t before = tarnix::Block::RegisteredBytes();
    tarnix::Block::SetBudget(before + 100);
    EXPECT_TRUE(tarnix::Block::RegisterMemoryBlock(60));
    EXPECT_FALSE(tarnix::Block::RegisterMemoryBlock(41)) << "would pass the budget";
    EXPECT_EQ(tarnix::Block::RegisteredBytes(), before + 60) << "a refusal records nothing";
    EXPECT_TRUE(tarnix::Block::RegisterMemoryBlock(40));
    tarnix::Block::UnregisterMemoryBlock(100);
    EXPECT_EQ(tarnix::Block::RegisteredBytes(), before);

    tarnix::Store<double> store;
    // Growth registers the new block before the old one goes: 1 + 3 doubles fit, 3 + 7 not.
    tarnix::Block::SetBudget(before + 4 * sizeof(double));
    for (double value : {1.0, 2.0, 3.0}) EXPECT_TRUE(store.Append(value));
    EXPECT_FALSE(store.Append(4.0)) << "capacity 7 would pass the budget";
    EXPECT_EQ(store.Count(), 3u);
    EXPECT_EQ(store[2], 3.0);
}

TEST_F(BlockTest, AllocationsAreAlignedAndTaggedWithTheCurrentAllocator) {
    tarnix::Block::SetAllocatorID("block test tag");
    void* a = tarnix::Block::Allocate(1000);
    tarnix::Block::SetAllocatorID(nullptr);
    void* b = tarnix::Block::Allocate(24);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 16, 0u);
    void* wide = tarnix::Block::AlignedAlloc(100, 64);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(wide) % 64, 0u) << "an alignment asked for is honoured";
    tarnix::Block::AlignedFree(wide);
    EXPECT_EQ(tarnix::Block::AllocatedBytes("block test tag"), 1000u);

    tarnix::Block::LogAll(0.0f, false);
    bool listed = false;
    for (const QString& line : tarnix::Kernel::LogLines())
        listed |= line.contains(QStringLiteral("block test tag: 1000 bytes in 1 allocations"));
    EXPECT_TRUE(listed);

    tarnix::Block::Free(a);
    tarnix::Block::Free(b);
    EXPECT_EQ(tarnix::Block::AllocatedBytes("block test tag"), 0u);

    // The tag is the allocating thread's own: another thread's tag does not leak into it.
    tarnix::Block::SetAllocatorID("block test tag");
    std::thread([] {
        tarnix::Block::SetAllocatorID("block test other thread");
        tarnix::Block::Free(tarnix::Block::Allocate(64));
    }).join();
    void* c = tarnix::Block::Allocate(32);
    tarnix::Block::SetAllocatorID(nullptr);
    EXPECT_EQ(tarnix::Block::AllocatedBytes("block test tag"), 32u);
    tarnix::Block::Free(c);
}

TEST_F(BlockTest, StoreGrowthKeepsElementsAndAccountsItsMemory) {
    const uint64_t before = tarnix::Block::RegisteredBytes();
    {
        tarnix::Store<uint32_t> store("store test");
        for (uint32_t i = 0; i < 100; ++i) ASSERT_TRUE(store.Append(i * 3));
        EXPECT_EQ(store.Count(), 100u);
        EXPECT_EQ(store.Capacity(), 127u) << "capacities run 1, 3, 7, ... 127";
        for (uint32_t i = 0; i < 100; ++i) ASSERT_EQ(store[i], i * 3);
        EXPECT_EQ(tarnix::Block::RegisteredBytes(), before + 127 * 4);
        EXPECT_EQ(tarnix::Block::AllocatedBytes("store test"), 127u * 4);

        ASSERT_TRUE(store.Reserve(10));
        EXPECT_EQ(store.Count(), 10u) << "shrinking clips the count";
        EXPECT_EQ(store[9], 27u);
    }
    EXPECT_EQ(tarnix::Block::RegisteredBytes(), before);
    EXPECT_EQ(tarnix::Block::AllocatedBytes("store test"), 0u);
}

TEST_F(BlockTest, StoreOfNonPlainElementsCopiesThemOneByOne) {
    tarnix::Store<QString> names("names");
    EXPECT_FALSE(names.IsPlainData());
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(names.Append(QStringLiteral("name %1").arg(i)));
    EXPECT_EQ(names[19], QStringLiteral("name 19"));
    ASSERT_TRUE(names.Assign(2, QStringLiteral("x")));
    EXPECT_EQ(names.Count(), 2u);
    EXPECT_EQ(names[1], QStringLiteral("x"));
    // The sanitizer run checks that every QString was destroyed exactly once.
}

}  // namespace
