#include "link/ReadWaitPlan.h"

#include <gtest/gtest.h>

using namespace rdrload;

TEST(ReadWaitPlan, CountsTheMultiplierPerByteAndTheConstantOnce)
{
    PortTimeouts timeouts;
    timeouts.readInterval = kMaxDword;
    timeouts.readMultiplier = 1;
    timeouts.readConstant = 10000;
    ReadWaitPlan plan = ReadWaitPlan::forRead(timeouts, 2);
    EXPECT_FALSE(plan.immediate);
    EXPECT_TRUE(plan.hasTotal);
    EXPECT_EQ(plan.totalMs, 10002u);
    EXPECT_FALSE(plan.hasInterval);
}

TEST(ReadWaitPlan, KnowsTheImmediateAndTheUnlimitedRead)
{
    PortTimeouts immediate;
    immediate.readInterval = kMaxDword;
    EXPECT_TRUE(ReadWaitPlan::forRead(immediate, 5).immediate);

    PortTimeouts gaps; // no total, 50 ms between bytes
    gaps.readInterval = 50;
    ReadWaitPlan plan = ReadWaitPlan::forRead(gaps, 5);
    EXPECT_FALSE(plan.hasTotal);
    EXPECT_TRUE(plan.hasInterval);
    EXPECT_EQ(plan.intervalMs, 50u);
}
