// The exported functions through the shared library itself (this test links
// librdrload.so): buffers, Param, sessions.

#include "TempFolder.h"
#include "rdrload.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

extern "C" int cHostLoadAndFree(const char *path, unsigned long *size, unsigned char *firstByte);
extern "C" int cHostParamSize(void);

using rdrload::testing::TempFolder;

namespace {

std::vector<unsigned char> someBytes(std::size_t count)
{
    std::vector<unsigned char> bytes(count);
    uint32_t state = 12345;
    for (unsigned char &byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(state >> 16);
    }
    return bytes;
}

void writeFile(const std::string &path, const std::vector<unsigned char> &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

bool g_callbackCalled = false;
void __stdcall noteCall(void *)
{
    g_callbackCalled = true;
}

// A kernel attribute file gives fewer bytes than the size it reports.
std::string findFileShorterThanItsSize()
{
    for (const char *candidate :
         {"/sys/kernel/mm/transparent_hugepage/enabled", "/sys/kernel/uevent_seqnum",
          "/sys/kernel/profiling", "/sys/devices/system/cpu/online", "/sys/power/state"}) {
        struct stat info {};
        if (::stat(candidate, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0)
            continue;
        std::ifstream in(candidate, std::ios::binary);
        std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad() || static_cast<off_t>(content.size()) >= info.st_size)
            continue;
        return candidate;
    }
    return std::string();
}

class LoadBufferTest : public ::testing::Test {
protected:
    TempFolder folder;
    unsigned char sentinelByte = 0;
    unsigned char *buffer = &sentinelByte;
    unsigned long size = 4242;

    int load(std::string path, ProgressCallback callback = nullptr)
    {
        return LoadBuffer_(path.data(), &buffer, &size, callback);
    }
    void expectUntouched()
    {
        EXPECT_EQ(buffer, &sentinelByte);
        EXPECT_EQ(size, 4242u);
    }
};

} // namespace

TEST_F(LoadBufferTest, ReadsAWholeBinaryFileUnchanged)
{
    std::vector<unsigned char> bytes = someBytes(300000);
    bytes[0] = '\r';
    bytes[1] = '\n';
    bytes[2] = 0x1A; // end-of-file mark of text mode
    bytes[3] = 0x00;
    writeFile(folder.file("image.bin"), bytes);
    g_callbackCalled = false;
    ASSERT_EQ(load(folder.file("image.bin"), noteCall), 0);
    ASSERT_EQ(size, bytes.size());
    EXPECT_EQ(std::memcmp(buffer, bytes.data(), bytes.size()), 0);
    EXPECT_FALSE(g_callbackCalled);
    EXPECT_EQ(FreeBuffer_(buffer), 0);
}

TEST_F(LoadBufferTest, AnEmptyFileGivesSizeZeroAndAFreeableBuffer)
{
    writeFile(folder.file("empty.bin"), {});
    ASSERT_EQ(load(folder.file("empty.bin")), 0);
    EXPECT_EQ(size, 0u);
    EXPECT_NE(buffer, nullptr);
    EXPECT_NE(buffer, &sentinelByte);
    EXPECT_EQ(FreeBuffer_(buffer), 0);
}

TEST_F(LoadBufferTest, AMissingFileFailsWithThreeAndChangesNothing)
{
    EXPECT_EQ(load(folder.file("missing.bin")), 3);
    expectUntouched();
}

TEST_F(LoadBufferTest, ADirectoryOrAFifoIsRefused)
{
    EXPECT_EQ(load(folder.path()), 3);
    expectUntouched();
    // A FIFO without a writer would block the caller for ever.
    ASSERT_EQ(::mkfifo(folder.file("fifo").c_str(), 0600), 0);
    EXPECT_EQ(load(folder.file("fifo")), 3);
    expectUntouched();
}

// No operation carries more than 32-bit lengths: a larger file is refused
// from its size alone, before a byte is read or allocated.
TEST_F(LoadBufferTest, AFileLargerThanAnyOperationCarriesIsRefusedBeforeReading)
{
    struct rusage before {};
    ::getrusage(RUSAGE_SELF, &before);
    for (const off_t length : {off_t(0xFFFFFFFFll) + 1, off_t(5000000000ll)}) {
        const std::string path = folder.file("huge-" + std::to_string(length) + ".img");
        writeFile(path, {});
        if (::truncate(path.c_str(), length) != 0)
            GTEST_SKIP() << "no sparse file of " << length << " bytes here";
        EXPECT_EQ(load(path), 3) << length;
        expectUntouched();
    }
    struct rusage after {};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024); // KiB: nothing of the files was held
}

TEST_F(LoadBufferTest, AShortReadFailsWithThreeAndChangesNothing)
{
    const std::string path = findFileShorterThanItsSize();
    if (path.empty())
        GTEST_SKIP() << "no file on this machine reports more bytes than it gives";
    EXPECT_EQ(load(path), 3);
    expectUntouched();
}

TEST_F(LoadBufferTest, NullArgumentsAreRefused)
{
    writeFile(folder.file("a.bin"), someBytes(10));
    EXPECT_EQ(LoadBuffer_(nullptr, &buffer, &size, nullptr), 3);
    std::string path = folder.file("a.bin");
    EXPECT_EQ(LoadBuffer_(path.data(), nullptr, &size, nullptr), 3);
    EXPECT_EQ(LoadBuffer_(path.data(), &buffer, nullptr, nullptr), 3);
    expectUntouched();
}

TEST(FreeBuffer, AcceptsNull)
{
    EXPECT_EQ(FreeBuffer_(nullptr), 0);
}

TEST(Sessions, ReturnZeroInAnyOrderAndAnyNumberOfTimes)
{
    EXPECT_EQ(CloseSession_(), 0);
    EXPECT_EQ(CloseSession_(), 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(OpenSession_(), 0);
    EXPECT_EQ(CloseSession_(), 0);
}

TEST(Param, IsTwentyBytesAndAssignmentCopiesThemAll)
{
    static_assert(sizeof(Param) == 20, "Param is 20 bytes");
    EXPECT_EQ(cHostParamSize(), 20);
    Param source;
    Param target;
    for (int i = 0; i < 20; ++i) {
        source.bytes[i] = static_cast<unsigned char>(0xA0 + i);
        target.bytes[i] = 0;
    }
    Param &result = (target = source);
    EXPECT_EQ(&result, &target);
    EXPECT_EQ(std::memcmp(target.bytes, source.bytes, 20), 0);
}

TEST(Param, SelfAssignmentKeepsTheRecord)
{
    Param record;
    for (int i = 0; i < 20; ++i)
        record.bytes[i] = static_cast<unsigned char>(i * 7);
    Param copy(record);
    Param &self = record;
    Param &result = (record = self);
    EXPECT_EQ(&result, &record);
    EXPECT_EQ(std::memcmp(record.bytes, copy.bytes, 20), 0);
}

TEST(CHost, LoadsAndFreesThroughThePlainNames)
{
    TempFolder folder;
    writeFile(folder.file("c.bin"), {0x5A, 1, 2});
    unsigned long size = 0;
    unsigned char first = 0;
    EXPECT_EQ(cHostLoadAndFree(folder.file("c.bin").c_str(), &size, &first), 0);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(first, 0x5A);
    EXPECT_EQ(cHostLoadAndFree(folder.file("none.bin").c_str(), &size, &first), 3);
}
