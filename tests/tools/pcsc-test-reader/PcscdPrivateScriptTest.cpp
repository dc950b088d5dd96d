// scripts/pcscd-private as the demo and whole-program tests use it: start
// prints the PID of a ready pcscd serving the test readers, stop ends it.

#include "CommandRun.h"
#include "TempFolder.h"

#include <winscard.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using rdrload::testing::CommandRun;
using rdrload::testing::runCommand;

// Runs the script with arguments (no shell quoting needed for the paths
// these tests use) and optional variable settings before it.
CommandRun script(const std::string &args, const std::string &variables = "")
{
    std::string command =
        variables + " /bin/bash " + std::getenv("PCSCD_PRIVATE") + " " + args + " 2>&1";
    return runCommand(command);
}

// Whether pid is a live process (a zombie is not).
bool alive(int pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidText, name, state;
    if (!(stat >> pidText >> name >> state))
        return false;
    return state != "Z";
}

class PcscdPrivateScriptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // pcscd outlives the script that starts it; as subreaper this test
        // becomes its parent and reaps it.
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        work_ = folder_.path() + "/work";
    }
    void TearDown() override
    {
        if (pid_ > 0 && alive(pid_))
            kill(pid_, SIGKILL);
        if (pid_ > 0)
            waitpid(pid_, nullptr, 0);
    }

    std::string readerFile(const std::string &name, const std::string &text)
    {
        std::string path = folder_.path() + "/" + name;
        std::ofstream(path) << text;
        return path;
    }

    // Skips the program where pcscd cannot run at all, except in CI.
    void skipIfUnavailable(const CommandRun &run)
    {
        if (run.status != 77)
            return;
        const char *ci = std::getenv("CI");
        if (ci && std::string(ci) == "true")
            FAIL() << "pcscd cannot run: " << run.output;
        std::printf("SKIPPED: %s", run.output.c_str());
        std::exit(77);
    }

    // Under /tmp itself: the socket path inside must stay within the
    // socket address's length.
    rdrload::testing::TempFolder folder_{"klav-script-", "/tmp"};
    std::string work_;
    int pid_ = -1;
};

} // namespace

TEST_F(PcscdPrivateScriptTest, StartServesTheReadersUntilStop)
{
    std::string a = readerFile("a.conf", "name = Velantra Script A\nserial = 1\n");
    std::string b = readerFile("b.conf", "# another\nname = Velantra Script B  \nslots = 2\n");
    CommandRun started = script("start " + work_ + " " + a + " " + b);
    skipIfUnavailable(started);
    ASSERT_EQ(started.status, 0) << started.output;
    pid_ = std::atoi(started.output.c_str());
    ASSERT_GT(pid_, 0) << started.output;
    EXPECT_TRUE(alive(pid_));
    std::ifstream recorded(work_ + "/pcscd.pid");
    int recordedPid = 0;
    recorded >> recordedPid;
    EXPECT_EQ(recordedPid, pid_);

    CommandRun socket = script("socket " + work_);
    EXPECT_EQ(socket.status, 0);
    EXPECT_EQ(socket.output, work_ + "/run/pcscd/pcscd.comm\n");
    setenv("PCSCLITE_CSOCK_NAME", (work_ + "/run/pcscd/pcscd.comm").c_str(), 1);

    SCARDCONTEXT context = 0;
    ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context),
              SCARD_S_SUCCESS);
    char names[1024];
    DWORD length = sizeof names;
    ASSERT_EQ(SCardListReaders(context, nullptr, names, &length), SCARD_S_SUCCESS);
    std::vector<std::string> readers;
    for (const char *name = names; *name; name += std::strlen(name) + 1)
        readers.push_back(name);
    EXPECT_EQ(readers,
              (std::vector<std::string>{"Velantra Script A 00 00", "Velantra Script B 01 00",
                                        "Velantra Script B 01 01"}));
    SCardReleaseContext(context);

    CommandRun stopped = script("stop " + work_);
    EXPECT_EQ(stopped.status, 0) << stopped.output;
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int reaped = 0;
    while ((reaped = waitpid(pid_, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(reaped, pid_);
    pid_ = -1;
    EXPECT_TRUE((WIFEXITED(status) && WEXITSTATUS(status) == 0) ||
                (WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM));
    EXPECT_FALSE(std::filesystem::exists(work_ + "/pcscd.pid"));
    EXPECT_FALSE(std::filesystem::exists(work_ + "/run/pcscd/pcscd.comm"));
}

TEST_F(PcscdPrivateScriptTest, WrongUseIsRefusedWithAReason)
{
    std::string good = readerFile("good.conf", "name = Velantra Good\n");
    std::string nameless = readerFile("nameless.conf", "serial = 1\n");

    CommandRun run = script("");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("usage: pcscd-private"), std::string::npos);
    EXPECT_EQ(script("restart " + work_).status, 2);
    EXPECT_EQ(script("start " + work_).status, 2);

    run = script("start " + work_ + " " + nameless);
    skipIfUnavailable(run);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("gives no \"name = ...\""), std::string::npos) << run.output;

    run = script("start " + folder_.path() + "/with+plus " + good);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("WORKDIR may only use"), std::string::npos) << run.output;

    run = script("start " + folder_.path() + "/" + std::string(90, 'w') + " " + good);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("too long for a socket path"), std::string::npos) << run.output;

    run = script("start " + work_ + " " + good, "KLAV_TEST_READER_DRIVER=/nonexistent/driver.so");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("no test reader driver"), std::string::npos) << run.output;

    run = script("start " + work_ + " " + good, "KLAV_PCSCD=/nonexistent/pcscd");
    EXPECT_EQ(run.status, 77); // what the tests take for "pcscd cannot run here"
    EXPECT_NE(run.output.find("no pcscd at KLAV_PCSCD=/nonexistent/pcscd"), std::string::npos)
        << run.output;

    run = script("stop " + work_);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("no pcscd recorded"), std::string::npos) << run.output;
}

TEST_F(PcscdPrivateScriptTest, ReaderTheDriverCannotSetUpIsLeftOut)
{
    std::string good = readerFile("good.conf", "name = Velantra Fine\n");
    std::string broken = readerFile("broken.conf", "name = Velantra Broken\nslots = 9\n");
    CommandRun started = script("start " + work_ + " " + broken + " " + good);
    skipIfUnavailable(started);
    ASSERT_EQ(started.status, 0) << started.output;
    pid_ = std::atoi(started.output.c_str());

    std::ifstream in(work_ + "/pcscd.log");
    std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("broken.conf: line 2: slots wants a number from 1 to 4"), std::string::npos)
        << log;
    EXPECT_EQ(script("stop " + work_).status, 0);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}
