// DebuggeeRun, the debugger the trace test reads the debugger stream with:
// a debuggee that writes known texts and exits with a code of its own, and
// one that outlives the time it is given.

#include <windows.h>

#include "DebuggeeRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using rdrload::testing::DebuggeeRun;

// Run only by the next test, as its debuggee.
TEST(DebuggeeRun, DISABLED_WritesTextsAndExits)
{
    ::OutputDebugStringA("first ");
    ::OutputDebugStringA("");
    ::OutputDebugStringW(L"wide\n");
    ::OutputDebugStringA("last\n");
    std::printf("exiting with 3\n");
    std::fflush(stdout);
    std::exit(3);
}

TEST(DebuggeeRun, SeesEveryDebugStringInOrderTheExitCodeAndTheOutput)
{
    const DebuggeeRun run(
        "--gtest_also_run_disabled_tests --gtest_filter=DebuggeeRun.DISABLED_WritesTextsAndExits",
        60000);
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.exited()) << run.output();
    EXPECT_EQ(run.exitCode(), 3u);
    EXPECT_NE(run.output().find("exiting with 3"), std::string::npos) << run.output();
    EXPECT_EQ(run.debugStrings(), (std::vector<std::string>{"first ", "", "wide\n", "last\n"}));
}

TEST(DebuggeeRun, EndsADebuggeeThatOutlivesItsTime)
{
    const ULONGLONG start = ::GetTickCount64();
    const DebuggeeRun run(
        "--gtest_also_run_disabled_tests --gtest_filter=DebuggeeRun.DISABLED_Waits", 500);
    ASSERT_TRUE(run.started());
    EXPECT_FALSE(run.exited());
    EXPECT_LT(::GetTickCount64() - start, 10000u); // well before the debuggee's 30 s
}

// Run only by the test above: outlives its debugger's patience.
TEST(DebuggeeRun, DISABLED_Waits)
{
    ::Sleep(30000);
}
