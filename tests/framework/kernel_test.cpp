#include <gtest/gtest.h>

#include <stdexcept>

#include "tarnix/kernel.h"

namespace {

int GuardedDepth(int depth) {
    const tarnix::TXCrashReporterFlag guard(8);
    if (depth == 0) throw std::runtime_error("deep");
    return GuardedDepth(depth - 1);
}

TEST(KernelTest, CrashReportWordReturnsToItsValueOnEveryExit) {
    uint32_t& word = tarnix::Kernel::Instance()->CrashReportWord();
    const uint32_t before = word;
    {
        const tarnix::TXCrashReporterFlag outer(1024);
        EXPECT_EQ(word, before + 1024);
        {
            const tarnix::TXCrashReporterFlag inner(16384);
            EXPECT_EQ(word, before + 1024 + 16384);
        }
        EXPECT_EQ(word, before + 1024);
    }
    EXPECT_EQ(word, before);
    EXPECT_THROW(GuardedDepth(3), std::runtime_error);
    EXPECT_EQ(word, before) << "unwinding takes every bit back";
}

TEST(KernelTest, LogKeepsLinesAndDropsTheOldestPastItsCapacity) {
    tarnix::Kernel::SetLogEcho(false);
    tarnix::Kernel::ClearLog();
    for (size_t i = 0; i < tarnix::Kernel::kLogCapacity + 5; ++i) tarnix::Kernel::Log(QString::number(i));
    const auto lines = tarnix::Kernel::LogLines();
    ASSERT_EQ(lines.size(), tarnix::Kernel::kLogCapacity);
    EXPECT_EQ(lines.front(), QStringLiteral("5"));
    EXPECT_EQ(lines.back(), QString::number(tarnix::Kernel::kLogCapacity + 4));
    tarnix::Kernel::ClearLog();
}

}  // namespace
