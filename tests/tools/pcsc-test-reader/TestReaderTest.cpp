// The test reader's configuration and its answers, in-process: what pcscd
// would get from the driver for each call.

#include "TestReader.h"
#include "Crc16Kermit.h"
#include "TempFolder.h"
#include "TestReaderConfig.h"
#include "TextFile.h"

#include <reader.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iterator>

namespace {

using Bytes = std::vector<uint8_t>;

using rdrload::testing::readText;
using rdrload::testing::TempFolder;
using rdrload::testing::writeText;

TestReaderConfig parsed(const std::string &text, const std::string &folder = "/base")
{
    TestReaderConfig config;
    std::string error;
    EXPECT_TRUE(config.parse(text, folder, error)) << error;
    return config;
}

std::string parseError(const std::string &text)
{
    TestReaderConfig config;
    std::string error;
    EXPECT_FALSE(config.parse(text, "/base", error)) << text;
    return error;
}

Bytes withCrc(Bytes frame)
{
    appendCrc16Kermit(frame);
    return frame;
}

const Bytes kInit = withCrc({0x0F, 0xC0, 0x04, 0x00, 0x78, 0x01, 0x2C});
const Bytes kInitReply = withCrc({0xF0, 0xE0, 0x04, 0x00, 0x78, 0x01, 0x2C});

Bytes escape(const Bytes &command)
{
    Bytes wrapped{TestReader::kEscapeLead};
    wrapped.insert(wrapped.end(), command.begin(), command.end());
    return wrapped;
}

struct Control {
    RESPONSECODE result;
    Bytes answer;
};

Control control(TestReader &reader, DWORD code, const Bytes &in, DWORD room = 300)
{
    Bytes out(room + 1, 0xEE);
    DWORD returned = 12345;
    Control c;
    c.result = reader.control(code, in.empty() ? nullptr : in.data(), DWORD(in.size()), out.data(),
                              room, returned);
    out.resize(returned);
    c.answer = out;
    return c;
}

Bytes withLead(const Bytes &answer)
{
    Bytes all(std::begin(TestReader::kAnswerLead), std::end(TestReader::kAnswerLead));
    all.insert(all.end(), answer.begin(), answer.end());
    return all;
}

const DWORD kEscape3500 = SCARD_CTL_CODE(3500);

} // namespace

TEST(TestReaderConfigTest, DefaultsAreAMakersReaderWithTheUsualEscapeCode)
{
    TestReaderConfig config = parsed("");
    EXPECT_EQ(config.vendor, "Velantra");
    EXPECT_EQ(config.serial, "");
    EXPECT_EQ(config.slots, 1);
    EXPECT_EQ(config.escapeCode, uint32_t(SCARD_CTL_CODE(3500)));
    EXPECT_EQ(config.featureList(), (Bytes{0x13, 0x04, 0x42, 0x00, 0x0D, 0xAC}));
    EXPECT_FALSE(config.denyConnect || config.denyVendor || config.denySerial);
    EXPECT_EQ(config.pad, TerminalEngine::kAnyPad);
}

TEST(TestReaderConfigTest, EverySettingWithCommentsBlanksAndRelativePaths)
{
    TestReaderConfig config = parsed("# a reader\n"
                                     "  name = Velantra Desk 7   # shown by pcscd\n"
                                     "vendor=VELANTRA\n"
                                     "serial = 00A1\n"
                                     "slots = 3\n"
                                     "escape-code = 0x00313520\n"
                                     "features = 12 04 42 00 0d 48 0x13 04 00 31 35 20\n"
                                     "deny = vendor, serial\n"
                                     "escape-answer-max = 1\n"
                                     "out = db-%n.db\n"
                                     "log = /var/tmp/frames.log\n"
                                     "pad = 15\n"
                                     "\n"
                                     "silent\n"
                                     "nack = 2:Disk full\n");
    EXPECT_EQ(config.name, "Velantra Desk 7");
    EXPECT_EQ(config.vendor, "VELANTRA");
    EXPECT_EQ(config.serial, "00A1");
    EXPECT_EQ(config.slots, 3);
    EXPECT_EQ(config.escapeCode, 0x00313520u);
    EXPECT_EQ(config.featureList(),
              (Bytes{0x12, 0x04, 0x42, 0x00, 0x0D, 0x48, 0x13, 0x04, 0x00, 0x31, 0x35, 0x20}));
    EXPECT_FALSE(config.denyConnect);
    EXPECT_TRUE(config.denyVendor && config.denySerial);
    EXPECT_EQ(config.escapeAnswerMax, 1);
    EXPECT_EQ(config.outPath, "/base/db-%n.db");
    EXPECT_EQ(config.logPath, "/var/tmp/frames.log");
    EXPECT_EQ(config.pad, 15);
    EXPECT_TRUE(config.plan.silent);
    EXPECT_EQ(config.plan.nackBlock, 2);
    EXPECT_EQ(config.plan.nackText, "Disk full");

    EXPECT_EQ(parsed("escape-code = 3400\n").escapeCode, uint32_t(SCARD_CTL_CODE(3400)));
    EXPECT_TRUE(parsed("features = none\n").featureList().empty());
    EXPECT_EQ(parsed("features = refuse\n").features, TestReaderConfig::Features::Refuse);
    EXPECT_TRUE(parsed("deny = connect\n").denyConnect);
}

TEST(TestReaderConfigTest, BadLinesAreNamedWithTheirNumber)
{
    EXPECT_EQ(parseError("serial = 1\ncolour = red\n"), "line 2: unknown setting \"colour\"");
    EXPECT_EQ(parseError("slots = 5\n"), "line 1: slots wants a number from 1 to 4");
    EXPECT_EQ(parseError("slots = 0\n"), "line 1: slots wants a number from 1 to 4");
    EXPECT_EQ(parseError("slots\n"), "line 1: slots needs a value");
    EXPECT_EQ(parseError("escape-code = 0\n"),
              "line 1: escape-code wants a function number or a control code");
    EXPECT_EQ(parseError("escape-code = 0x1FFFFFFFF\n"),
              "line 1: escape-code wants a function number or a control code");
    EXPECT_EQ(parseError("features = 13 04 123\n"),
              "line 1: features wants escape, none, refuse or hexadecimal bytes");
    EXPECT_EQ(parseError("features = 13 xyz\n"),
              "line 1: features wants escape, none, refuse or hexadecimal bytes");
    EXPECT_EQ(parseError("deny = everything\n"),
              "line 1: deny knows connect, vendor and serial, not \"everything\"");
    EXPECT_EQ(parseError("pad = 16\n"), "line 1: pad wants a number from 0 to 15");
    EXPECT_EQ(parseError("name = a \"quoted\" name\n"), "line 1: name cannot hold a double quote");
    EXPECT_EQ(parseError("silent = yes\n"), "line 1: silent takes no value");
    EXPECT_EQ(parseError("delay\n"), "line 1: delay needs a value");
    EXPECT_NE(parseError("nack = x\n").find("line 1: nack wants"), std::string::npos);
}

TEST(TestReaderConfigTest, LoadTakesRelativePathsFromTheFilesOwnFolder)
{
    TempFolder real("klav-reader-"), links("klav-reader-");
    std::string file = writeText(real.file("r.conf"), "out = got.db\n");
    std::string link = links.path() + "/link.conf";
    std::filesystem::create_symlink(file, link);
    TestReaderConfig config;
    std::string error;
    ASSERT_TRUE(config.load(link, error)) << error;
    EXPECT_EQ(config.outPath, real.path() + "/got.db");

    EXPECT_FALSE(config.load(real.path() + "/missing.conf", error));
    EXPECT_EQ(error, "cannot read " + real.path() + "/missing.conf");
    writeText(real.file("bad.conf"), "\n\nbogus\n");
    EXPECT_FALSE(config.load(real.path() + "/bad.conf", error));
    EXPECT_EQ(error, real.path() + "/bad.conf: line 3: unknown setting \"bogus\"");
}

TEST(TestReaderTest, AttributesSlotsAndRefusals)
{
    TestReader reader(parsed("vendor = Velantra\nserial = 12AB\nslots = 2\n"));
    uint8_t value[64];
    DWORD length = sizeof value;
    ASSERT_EQ(reader.capability(SCARD_ATTR_VENDOR_NAME, value, length), IFD_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(value), length), "Velantra");
    length = sizeof value;
    ASSERT_EQ(reader.capability(SCARD_ATTR_VENDOR_IFD_SERIAL_NO, value, length), IFD_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(value), length), "12AB");
    length = sizeof value;
    ASSERT_EQ(reader.capability(TAG_IFD_SLOTS_NUMBER, value, length), IFD_SUCCESS);
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(value[0], 2);
    length = sizeof value;
    ASSERT_EQ(reader.capability(TAG_IFD_SIMULTANEOUS_ACCESS, value, length), IFD_SUCCESS);
    EXPECT_GT(value[0], 1);
    length = 3;
    EXPECT_EQ(reader.capability(SCARD_ATTR_VENDOR_NAME, value, length),
              IFD_ERROR_INSUFFICIENT_BUFFER);
    length = sizeof value;
    EXPECT_EQ(reader.capability(SCARD_ATTR_VENDOR_IFD_VERSION, value, length), IFD_ERROR_TAG);
    EXPECT_EQ(reader.presence(0), IFD_ICC_NOT_PRESENT);
    EXPECT_EQ(reader.presence(0), IFD_ICC_NOT_PRESENT);

    TestReader denying(parsed("deny = connect vendor serial\n"));
    length = sizeof value;
    EXPECT_EQ(denying.capability(SCARD_ATTR_VENDOR_NAME, value, length), IFD_ERROR_TAG);
    length = sizeof value;
    EXPECT_EQ(denying.capability(SCARD_ATTR_VENDOR_IFD_SERIAL_NO, value, length), IFD_ERROR_TAG);
    // The first question sets the reader up; from then on it is unavailable.
    EXPECT_EQ(denying.presence(1), IFD_ICC_NOT_PRESENT);
    EXPECT_EQ(denying.presence(1), IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(denying.presence(0), IFD_ICC_NOT_PRESENT);
}

TEST(TestReaderTest, FeatureRequestAnswersTheConfiguredList)
{
    const DWORD request = CM_IOCTL_GET_FEATURE_REQUEST;
    TestReader usual(parsed(""));
    Control c = control(usual, request, {});
    EXPECT_EQ(c.result, IFD_SUCCESS);
    EXPECT_EQ(c.answer, (Bytes{0x13, 0x04, 0x42, 0x00, 0x0D, 0xAC}));
    EXPECT_EQ(control(usual, request, {}, 5).result, IFD_ERROR_INSUFFICIENT_BUFFER);

    TestReader empty(parsed("features = none\n"));
    c = control(empty, request, {});
    EXPECT_EQ(c.result, IFD_SUCCESS);
    EXPECT_TRUE(c.answer.empty());

    TestReader refusing(parsed("features = refuse\n"));
    EXPECT_EQ(control(refusing, request, {}).result, IFD_ERROR_NOT_SUPPORTED);
}

TEST(TestReaderTest, EscapeCommandsReachTheTerminalOnlyOnTheirCode)
{
    TempFolder folder("klav-reader-");
    TestReader reader(parsed("log = frames.log\n", folder.path()));
    Control c = control(reader, kEscape3500, escape(kInit));
    EXPECT_EQ(c.result, IFD_SUCCESS);
    EXPECT_EQ(c.answer, withLead(kInitReply));
    // A carriage return alone gets no answer from the terminal.
    c = control(reader, kEscape3500, {0x11, 0x0D});
    EXPECT_EQ(c.result, IFD_SUCCESS);
    EXPECT_EQ(c.answer, withLead({}));
    // Without the leading 0x11 the terminal never sees the command.
    c = control(reader, kEscape3500, kInit);
    EXPECT_EQ(c.result, IFD_SUCCESS);
    EXPECT_EQ(c.answer, withLead({}));
    EXPECT_EQ(control(reader, SCARD_CTL_CODE(3600), escape(kInit)).result, IFD_ERROR_NOT_SUPPORTED);
    // An answer larger than the room fails whole.
    c = control(reader, kEscape3500, escape(kInit), 10);
    EXPECT_EQ(c.result, IFD_ERROR_INSUFFICIENT_BUFFER);
    EXPECT_TRUE(c.answer.empty());

    std::string log = readText(folder.file("frames.log"));
    EXPECT_NE(log.find("escape command 10 bytes: 11 0F C0 04 00 78 01 2C"), std::string::npos);
    EXPECT_NE(log.find("H>T init 9:"), std::string::npos);
    EXPECT_NE(log.find("escape command 2 bytes: 11 0D; answer room 300 bytes"), std::string::npos);
    EXPECT_NE(log.find("control code 0x42000E10 refused"), std::string::npos);
    EXPECT_NE(log.find("does not fit the room of 10"), std::string::npos);
}

TEST(TestReaderTest, CutAnswersDelaysAndHangUps)
{
    TestReader cut(parsed("escape-answer-max = 1\n"));
    Control c = control(cut, kEscape3500, escape(kInit));
    EXPECT_EQ(c.result, IFD_SUCCESS);
    EXPECT_EQ(c.answer, Bytes{0x00});

    TestReader slow(parsed("delay = 150\n"));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(control(slow, kEscape3500, escape(kInit)).answer, withLead(kInitReply));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));

    TestReader leaving(parsed("hangup = 1\n"));
    EXPECT_EQ(control(leaving, kEscape3500, escape(kInit)).answer, withLead(kInitReply));
    Bytes request = withCrc({0x0F, 0x40, 0x08, 0x05, 0x01, 0x01, 0x60, 0x00, 0x80, 0x01, 0x03});
    EXPECT_EQ(control(leaving, kEscape3500, escape(request)).result, IFD_SUCCESS);
    EXPECT_EQ(control(leaving, kEscape3500, escape({0x01, 0x00, 0x03, 1, 2, 3})).result,
              IFD_COMMUNICATION_ERROR);
}

TEST(TestReaderTest, EachCompleteLoadIsWrittenToItsOwnFile)
{
    TempFolder folder("klav-reader-");
    TestReader reader(parsed("out = load-%n.db\n", folder.path()));
    Bytes request = withCrc({0x0F, 0x40, 0x08, 0x05, 0x01, 0x01, 0x60, 0x00, 0x80, 0x01, 0x03});
    for (int load = 1; load <= 2; ++load) {
        ASSERT_EQ(control(reader, kEscape3500, escape(kInit)).answer, withLead(kInitReply));
        Control c = control(reader, kEscape3500, escape(request));
        ASSERT_EQ(c.answer.size(), 9u);
        EXPECT_EQ(c.answer[6], 0x00); // request accepted
        Bytes block{0x01, 0x00, 0x03, uint8_t(load), 0x20, 0x30};
        EXPECT_EQ(control(reader, kEscape3500, escape(block)).answer, withLead({0x05}));
        EXPECT_EQ(control(reader, kEscape3500, escape({0x02, 0x00, 0x00})).answer,
                  withLead({0x05, 0x00, 0x00}));
        EXPECT_EQ(readText(folder.file("load-" + std::to_string(load) + ".db")),
                  std::string({char(load), 0x20, 0x30}));
    }
    EXPECT_FALSE(std::filesystem::exists(folder.path() + "/load-1.db.part"));
}
