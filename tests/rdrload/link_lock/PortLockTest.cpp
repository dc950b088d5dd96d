// The port lock across threads. This executable runs alone so that the
// first openings of the process are the ones under test; run it under
// ThreadSanitizer as well.

#include "link/PortLock.h"
#include "FakeLinkEnvironment.h"
#include "link/SerialLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace rdrload;
using namespace rdrload::testing;

namespace {

// Starts `count` threads that run `body(index)` as close to the same moment
// as the threads allow, and joins them.
template <typename Body> void runTogether(int count, Body body)
{
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            ready.fetch_add(1);
            while (!go.load())
                std::this_thread::yield();
            body(i);
        });
    }
    while (ready.load() < count)
        std::this_thread::yield();
    go.store(true);
    for (std::thread &thread : threads)
        thread.join();
}

} // namespace

TEST(PortLock, IsCreatedOnceWhenThreadsOpenTheirFirstPortsTogether)
{
    FakeLinkEnvironment env;
    constexpr int kThreads = 8;
    for (int i = 1; i <= kThreads; ++i)
        env.serial.port(i);
    ASSERT_EQ(PortLock::creationCount(), 0) << "no port was opened yet";

    std::atomic<int> opened{0};
    runTogether(kThreads, [&](int i) {
        PortHandle handle = nullptr;
        if (OpenPort(i + 1, &handle, 57600) == 0)
            opened.fetch_add(1);
        ClosePort(&handle);
    });
    EXPECT_EQ(opened.load(), kThreads);
    EXPECT_EQ(PortLock::creationCount(), 1);
}

TEST(PortLock, SerialisesClosesOfDifferentPorts)
{
    FakeLinkEnvironment env;
    constexpr int kThreads = 4;
    for (int i = 1; i <= kThreads; ++i)
        env.serial.port(i).setCloseDuration(std::chrono::microseconds(2000));

    std::atomic<int> failures{0};
    runTogether(kThreads, [&](int i) {
        for (int round = 0; round < 10; ++round) {
            PortHandle handle = nullptr;
            if (OpenPort(i + 1, &handle, 57600) != 0)
                failures.fetch_add(1);
            ClosePort(&handle);
        }
    });
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(env.serial.mostConcurrentCloses(), 1);
    EXPECT_EQ(PortLock::creationCount(), 1);
}
