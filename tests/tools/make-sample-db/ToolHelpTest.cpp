// --help and -h print the usage and write nothing; an unknown option is
// refused, never taken for a file name; a plain name still gets its database.

#include "CommandRun.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using rdrload::testing::quoted;
using rdrload::testing::runCommand;

std::vector<std::string> filesIn(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

} // namespace

TEST(ToolHelpTest, HelpIsHelpAndOptionsAreNeverFileNames)
{
    struct Case {
        const char *tool;
        std::string arguments;
        int status;
        std::string output; // start of standard output
        std::vector<std::string> written;
    };
    const std::vector<Case> cases{
        {MAKE_SAMPLE_DB, "--help", 0, "usage: make-sample-db OUTPUT.db [SIZE_MB]", {}},
        {MAKE_SAMPLE_DB, "-h", 0, "usage: make-sample-db", {}},
        {MAKE_SAMPLE_DB, "out.db --help", 0, "usage: make-sample-db", {}},
        {MAKE_SAMPLE_DB, "--size", 2, "", {}},
        {MAKE_SAMPLE_DB, "out.db 0.05", 0, "out.db: ", {"out.db"}},
        {WINDOW_SCREENSHOT, "--help", 0, "usage: window-screenshot OUTPUT.png", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.tool) + " " + c.arguments);
        rdrload::testing::TempFolder folder("klav-tool-");
        const auto run = runCommand("cd " + quoted(folder.path()) + " && " + quoted(c.tool) + " " +
                                    c.arguments + " 2>/dev/null");
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.output.compare(0, c.output.size(), c.output), 0) << run.output;
        EXPECT_EQ(filesIn(folder.path()), c.written);
    }
}
