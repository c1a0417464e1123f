#pragma once
// A test of the tracked memory budget: the log starts empty and quiet (a refusal logs the
// ledgers), and the budget is unlimited again after the test, whatever it set.

#include <gtest/gtest.h>

#include "tarnix/block.h"
#include "tarnix/kernel.h"

namespace test_support {

class BudgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        tarnix::Kernel::SetLogEcho(false);
        tarnix::Kernel::ClearLog();
    }
    void TearDown() override { tarnix::Block::SetBudget(tarnix::Block::kUnlimited); }
};

}  // namespace test_support
