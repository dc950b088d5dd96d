// The rdrload front end end to end: the built library drives reader-sim
// over a pty known as /dev/COM<n>. Each run is checked against what the
// reader received or sent (its journal and the files it wrote).

#include "FrontEndRun.h"
#include "SimProcess.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <gtest/gtest.h>

#include <fstream>
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
        reader = std::make_unique<SimProcess>(RDRLOAD_READER_SIM, arguments);
        ASSERT_FALSE(reader->slavePath().empty());
        link = std::make_unique<ComLink>(reader->slavePath());
        if (link->number() == 0)
            GTEST_SKIP() << "cannot create /dev/COM<n> links (needs root)";
    }

    FrontEndRun run(const std::string &arguments)
    {
        return runFrontEnd(arguments + " --port " + link->port());
    }

    std::string journal() const { return folder.file("journal"); }

    TempFolder folder;
    std::unique_ptr<SimProcess> reader;
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
    EXPECT_EQ(readBytes(folder.file("saved")), block);

    // Too little room: the block is read and acknowledged, then refused.
    FrontEndRun small = run("upload D --size 299 -o " + quoted(folder.file("small")));
    EXPECT_EQ(small.status, 11);
    EXPECT_EQ(small.output, progressLines(12) + "UploadData_: 11 DATA_SIZE_ERROR\n");
    EXPECT_TRUE(readBytes(folder.file("small")).empty());
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
    EXPECT_EQ(readBytes(folder.file("received")), data);
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

TEST_F(ReaderCommands, LinesOpenTheReaderPort)
{
    startReader({});
    // A pty has no modem lines; the success says the port was found and opened.
    FrontEndRun lines = run("lines --dtr 1 --rts 0");
    EXPECT_EQ(lines.status, 0) << lines.errors;
    EXPECT_EQ(lines.output, "SetLevel_DTR_RTS_: 0 OK\n");
}

namespace {

void putField(Bytes &bytes, std::size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
}

// A firmware image of the short-header layout (773 header bytes) and a body.
Bytes firmwareImage(std::size_t body)
{
    Bytes image = someBytes(773 + body, 11);
    image[64] = 0x00;
    image[65] = 0x01; // layout type 0x0100
    image[136] = 0x20;
    return image;
}

// A combined packet: header, firmware, application (offsets from byte 2).
Bytes packetOf(const Bytes &firmware, const Bytes &application)
{
    Bytes packet(26, 0);
    putField(packet, 2, 2);
    putField(packet, 6, static_cast<uint32_t>(24 + firmware.size()));
    putField(packet, 10, static_cast<uint32_t>(application.size()));
    putField(packet, 14, firmware.empty() ? 0 : 2);
    putField(packet, 18, 24);
    putField(packet, 22, static_cast<uint32_t>(firmware.size()));
    packet.insert(packet.end(), firmware.begin(), firmware.end());
    packet.insert(packet.end(), application.begin(), application.end());
    return packet;
}

std::size_t countOf(const std::string &text, const std::string &part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

} // namespace

TEST_F(ReaderCommands, ApplicationArrivesByteForByte)
{
    const Bytes application = someBytes(70000, 5);
    writeFile(folder.file("app.bin"), application);
    startReader({"--output", folder.file("received")});

    FrontEndRun sent = run("application " + quoted(folder.file("app.bin")));
    EXPECT_EQ(sent.status, 0) << sent.errors;
    EXPECT_EQ(readBytes(folder.file("received")), application);
    EXPECT_NE(sent.output.find("progress: 70000 0 Data transfer...\n"), std::string::npos);
    EXPECT_NE(sent.output.find("progress: 70000 0 Application transfer successful\n"
                               "ApplicationDL_: 0 OK\n"),
              std::string::npos)
        << sent.output;

    // The header test refuses an image without the application mark.
    FrontEndRun refused = run("application --check-header " + quoted(folder.file("app.bin")));
    EXPECT_EQ(refused.status, 10);
    EXPECT_EQ(refused.output, "ApplicationDL_: 10 PARAMETER_ERROR\n");
}

TEST_F(ReaderCommands, PacketSendsFirmwareThenApplication)
{
    const Bytes firmware = firmwareImage(1000);
    const Bytes application = someBytes(3000, 9);
    writeFile(folder.file("packet.bin"), packetOf(firmware, application));
    startReader({"--output", folder.file("received")});

    FrontEndRun sent = run("packet " + quoted(folder.file("packet.bin")));
    EXPECT_EQ(sent.status, 0) << sent.errors;
    // The last image the reader received is the application; the firmware
    // came first, whole.
    EXPECT_EQ(readBytes(folder.file("received")), application);
    const std::vector<std::string> lines = readLines(journal());
    std::vector<std::string> downloads;
    for (const std::string &line : lines) {
        if (line.rfind("download ", 0) == 0 || line.rfind("image ", 0) == 0)
            downloads.push_back(line);
    }
    EXPECT_EQ(downloads, (std::vector<std::string>{"download firmware", "image 1773 bytes",
                                                   "download application", "image 3000 bytes"}));
    const std::size_t firmwareDone = sent.output.find("Firmware transfer successful\n");
    const std::size_t announced = sent.output.find("Loading application\n");
    EXPECT_NE(firmwareDone, std::string::npos) << sent.output;
    EXPECT_NE(announced, std::string::npos) << sent.output;
    EXPECT_LT(firmwareDone, announced);
    EXPECT_EQ(countOf(sent.output, "Loading application\n"), 1u);
    EXPECT_NE(sent.output.find("PacketDL_: 0 OK\n"), std::string::npos);
}

TEST_F(ReaderCommands, UpdateIsTakenOrRefusedWithItsReason)
{
    const Bytes package = someBytes(20000, 13);
    writeFile(folder.file("package.bin"), package);
    startReader({"--update-output", folder.file("received")});
    FrontEndRun taken = run("update " + quoted(folder.file("package.bin")));
    EXPECT_EQ(taken.status, 0) << taken.errors;
    EXPECT_EQ(readBytes(folder.file("received")), package);
    EXPECT_NE(taken.output.find("ThirdPartyUpdate_: 0 OK\n"), std::string::npos) << taken.output;
}

TEST_F(ReaderCommands, UpdateRefusedByTheReader)
{
    writeFile(folder.file("package.bin"), someBytes(100, 1));
    startReader({"--update-decision", "3"});
    FrontEndRun refused = run("update " + quoted(folder.file("package.bin")));
    EXPECT_EQ(refused.status, 19);
    EXPECT_NE(refused.output.find("ThirdPartyUpdate_: 0xff000003 REFUSED reason 3\n"),
              std::string::npos)
        << refused.output;
}

TEST_F(ReaderCommands, BootloadFlashesThroughTheBootLoader)
{
    TempFolder output;
    const Bytes config = someBytes(100, 2);
    const Bytes boot = someBytes(200, 3);
    const Bytes image = someBytes(1000, 4);
    const Bytes productId = someBytes(32, 5);
    writeFile(folder.file("config"), config);
    writeFile(folder.file("boot"), boot);
    writeFile(folder.file("image"), image);
    writeFile(folder.file("pid"), productId);
    writeFile(folder.file("short-pid"), someBytes(31, 5));
    startReader({"--boot-loader", "0x00400000", "--boot-output", output.path()});

    const std::string files = quoted(folder.file("config")) + " " + quoted(folder.file("boot")) +
                              " " + quoted(folder.file("image"));
    FrontEndRun flashed = run("bootload " + files + " --pid " + quoted(folder.file("pid")) +
                              " --image-address 0x00400000 --load-address 0x00200000");
    EXPECT_EQ(flashed.status, 0) << flashed.errors;
    EXPECT_NE(flashed.output.find("FirmLoaderDL_: 0 OK\n"), std::string::npos) << flashed.output;
    Bytes area = image;
    area.resize(0x7FE0, 0xFF);
    area.insert(area.end(), productId.begin(), productId.end());
    EXPECT_EQ(readBytes(output.file("image.bin")), area);
    EXPECT_EQ(readBytes(output.file("config.bin")), config);
    EXPECT_EQ(readBytes(output.file("boot.bin")), boot);

    FrontEndRun wrongPid = run("bootload " + files + " --pid " + quoted(folder.file("short-pid")) +
                               " --image-address 0x00400000 --load-address 0x00200000");
    EXPECT_EQ(wrongPid.status, 65);
}
