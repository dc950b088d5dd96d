// The rdrload front end end to end: the built library drives reader-sim
// over a pty known as /dev/COM<n>. Each run is checked against what the
// reader received or sent (its journal and the files it wrote).

#include "FrontEndRun.h"
#include "ReaderSimProcess.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using namespace rdrload::testing;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes someBytes(std::size_t count, unsigned seed)
{
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<unsigned char>((i * 131 + seed) ^ (i >> 7));
    return bytes;
}

void writeFile(const std::string &path, const Bytes &bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Bytes readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string hexLines(const Bytes &bytes)
{
    std::string text;
    char hex[16];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%s%02x%s", i % 16 == 0 ? "data: " : " ", bytes[i],
                      (i % 16 == 15 || i + 1 == bytes.size()) ? "\n" : "");
        text += hex;
    }
    return text;
}

std::string progressLines(std::size_t count)
{
    std::string text;
    for (std::size_t i = 1; i <= count; ++i)
        text += "progress: " + std::to_string(20 * i) + " 260 UploadData\n";
    return text;
}

bool journalHas(const std::string &journal, const std::string &line)
{
    for (const std::string &entry : readLines(journal)) {
        if (entry == line)
            return true;
    }
    return false;
}

class ReaderCommands : public ::testing::Test {
protected:
    // Starts reader-sim with `arguments` and gives it a COM number.
    void startReader(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {"--record", journal()});
        reader = std::make_unique<ReaderSimProcess>(RDRLOAD_READER_SIM, arguments);
        ASSERT_FALSE(reader->devicePath().empty());
        link = std::make_unique<ComLink>(reader->devicePath());
        if (link->number() == 0)
            GTEST_SKIP() << "cannot create /dev/COM<n> links (needs root)";
    }

    FrontEndRun run(const std::string &arguments)
    {
        return runFrontEnd(arguments + " --port " + link->port());
    }

    std::string journal() const { return folder.file("journal"); }

    TempFolder folder;
    std::unique_ptr<ReaderSimProcess> reader;
    std::unique_ptr<ComLink> link;
};

} // namespace

TEST_F(ReaderCommands, UploadPrintsTheBlockAndWritesItWithOutput)
{
    const Bytes block = someBytes(300, 7);
    writeFile(folder.file("block"), block);
    startReader({"--upload", "D=" + folder.file("block")});

    FrontEndRun printed = run("upload D");
    EXPECT_EQ(printed.status, 0) << printed.errors;
    EXPECT_EQ(printed.output,
              progressLines(13) + hexLines(block) + "UploadData_: -300 (300 bytes)\n");
    EXPECT_TRUE(journalHas(journal(), "upload letter 44 length 300"));

    FrontEndRun saved = run("upload 0x44 -o " + quoted(folder.file("saved")));
    EXPECT_EQ(saved.status, 0) << saved.errors;
    EXPECT_EQ(readFile(folder.file("saved")), block);

    // Too little room: the block is read and acknowledged, then refused.
    FrontEndRun small = run("upload D --size 299 -o " + quoted(folder.file("small")));
    EXPECT_EQ(small.status, 11);
    EXPECT_EQ(small.output, progressLines(12) + "UploadData_: 11 DATA_SIZE_ERROR\n");
    EXPECT_TRUE(readFile(folder.file("small")).empty());
    EXPECT_TRUE(waitForLine(journal(), "upload done", 5000));
}

TEST_F(ReaderCommands, ProductIdTypeAndAnEmptyUpload)
{
    writeFile(folder.file("pid"), Bytes{'P', 'I', 'D', '-', '0', '4', '2'});
    writeFile(folder.file("type"), Bytes{'R', 'D', 'R', '9'});
    startReader({"--upload", "I=" + folder.file("pid"), "--upload", "Y=" + folder.file("type")});

    FrontEndRun pid = run("pid");
    EXPECT_EQ(pid.status, 0) << pid.errors;
    EXPECT_NE(pid.output.find("text: PID-042\nReaderPID_: -7 (7 bytes)\n"), std::string::npos)
        << pid.output;
    EXPECT_TRUE(journalHas(journal(), "upload letter 49 length 7"));

    FrontEndRun type = run("type");
    EXPECT_EQ(type.status, 0) << type.errors;
    EXPECT_NE(type.output.find("data: 52 44 52 39\ntext: RDR9\nReaderType_: -4 (4 bytes)\n"),
              std::string::npos)
        << type.output;
    EXPECT_TRUE(journalHas(journal(), "upload letter 59 length 4"));

    FrontEndRun empty = run("upload Q");
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.output, progressLines(13) + "UploadData_: 0 (0 bytes)\n");
}

TEST_F(ReaderCommands, DownloadDeliversTheFileByteForByte)
{
    const Bytes data = someBytes(65535, 3);
    writeFile(folder.file("data"), data);
    startReader({"--received", folder.file("received"), "--accept-letters", "KL"});

    FrontEndRun sent = run("download K " + quoted(folder.file("data")));
    EXPECT_EQ(sent.status, 0) << sent.errors;
    EXPECT_EQ(sent.output, "DownloadData_: 0 OK\n");
    EXPECT_EQ(readFile(folder.file("received")), data);
    EXPECT_TRUE(journalHas(journal(), "download letter 4b length 65535"));

    // A letter the reader does not take is refused with NAK.
    FrontEndRun refused = run("download Z " + quoted(folder.file("data")));
    EXPECT_EQ(refused.status, 8);
    EXPECT_EQ(refused.output, "DownloadData_: 8 NACK_ERROR\n");

    // One byte more than the length field can announce: refused before the port.
    writeFile(folder.file("big"), someBytes(65536, 1));
    FrontEndRun big = run("download K " + quoted(folder.file("big")));
    EXPECT_EQ(big.status, 10);
    EXPECT_EQ(big.output, "DownloadData_: 10 PARAMETER_ERROR\n");
}

TEST_F(ReaderCommands, TestModePrintsStatusAndReport)
{
    writeFile(folder.file("report"), Bytes{'O', 'K', '!', 0x00, 0xFF});
    startReader({"--test-status", "0x5a", "--test-report", folder.file("report")});

    FrontEndRun test = run("test 3");
    EXPECT_EQ(test.status, 0) << test.errors;
    EXPECT_EQ(test.output,
              "status: 0x5a\nreport length: 5\ndata: 4f 4b 21 00 ff\ntestMode_: -8 (8 bytes)\n");
    EXPECT_TRUE(journalHas(journal(), "test 03 status 5a report 5"));

    FrontEndRun small = run("test 0xff --size 7");
    EXPECT_EQ(small.status, 11);
    EXPECT_EQ(small.output, "testMode_: 11 DATA_SIZE_ERROR\n");
}

TEST_F(ReaderCommands, ASilentReaderEndsInTimeoutError)
{
    startReader({"--fault", "silence@1"});
    // No answer to the upload request: the 1 s acknowledgement wait ends it.
    FrontEndRun silent = run("upload D");
    EXPECT_EQ(silent.status, 6);
    EXPECT_EQ(silent.output, progressLines(4) + "UploadData_: 6 TIMEOUT_ERROR\n");
    EXPECT_TRUE(journalHas(journal(), "fault silence"));
}

TEST_F(ReaderCommands, ANakEndsInNackError)
{
    startReader({"--fault", "nak@2"});
    FrontEndRun nak = run("test 1");
    EXPECT_EQ(nak.status, 8);
    EXPECT_EQ(nak.output, "testMode_: 8 NACK_ERROR\n");
    EXPECT_TRUE(journalHas(journal(), "fault nak"));
}

TEST_F(ReaderCommands, ShortLengthAndShortDataEndInTimeouts)
{
    writeFile(folder.file("report"), Bytes{1, 2, 3});
    startReader({"--fault", "short-data", "--test-report", folder.file("report")});
    FrontEndRun test = run("test 2");
    EXPECT_EQ(test.status, 6);
    EXPECT_EQ(test.output, "testMode_: 6 TIMEOUT_ERROR\n");
    EXPECT_TRUE(journalHas(journal(), "fault short data"));
}

TEST_F(ReaderCommands, LinesOpenTheReaderPort)
{
    startReader({});
    // A pty has no modem lines; the success says the port was found and opened.
    FrontEndRun lines = run("lines --dtr 1 --rts 0");
    EXPECT_EQ(lines.status, 0) << lines.errors;
    EXPECT_EQ(lines.output, "SetLevel_DTR_RTS_: 0 OK\n");
}
