#include "Subcommands.h"

#include "CommandLine.h"
#include "HostPlatform.h"
#include "ProgressDisplay.h"
#include "ResultText.h"
#include "rdrload.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

int usageError(HostContext &host, const Subcommand &command, const std::string &why)
{
    std::fprintf(host.err, "rdrload %s: %s\n", command.name, why.c_str());
    std::fprintf(host.err, "usage: rdrload %s %s\n", command.name, command.synopsis);
    return exitstatus::kUsage;
}

// The export `name`, or null after saying that this library lacks it.
template <typename Function> Function need(HostContext &host, const char *name)
{
    auto function = host.library.find<Function>(name);
    if (function == nullptr)
        std::fprintf(host.err, "rdrload: %s is not available in this library\n", name);
    return function;
}

// Prints "NAME: result" with its label and gives the exit status.
int finish(HostContext &host, const char *exportName, int result, ResultKind kind)
{
    std::fprintf(host.out, "%s: %s\n", exportName, describeResult(result, kind).c_str());
    return exitStatusFor(result, kind);
}

// What the library's LoadBuffer_ refused in path, as far as it can be told
// from outside: ": it is N bytes, ..." or empty.
std::string whyUnreadable(const std::string &path)
{
    std::error_code error;
    const std::filesystem::path name(path);
    if (!std::filesystem::exists(name, error))
        return ": it does not exist";
    if (!std::filesystem::is_regular_file(name, error))
        return ": it is not a regular file";
    const std::uintmax_t size = std::filesystem::file_size(name, error);
    if (!error && size > RDRLOAD_LARGEST_IMAGE)
        return ": it is " + std::to_string(size) +
               " bytes, more than the largest image an operation can carry (" +
               std::to_string(RDRLOAD_LARGEST_IMAGE) + " bytes)";
    return {};
}

// False, after saying so, when the device of COM port `port` is not there:
// the library would find that out only after its retries.
bool portIsThere(HostContext &host, unsigned char port)
{
    bool present = false;
    const std::string device = portDevice(port, present);
    if (!present)
        std::fprintf(host.err, "rdrload: COM%u does not exist: there is no %s\n", unsigned(port),
                     device.c_str());
    return present;
}

// The exit status for a port that is not there: what the library's result
// for it would give.
int missingPort()
{
    return exitStatusFor(OPEN_COM_PORT, ResultKind::Code);
}

// A file read by the library's LoadBuffer_ and given back with FreeBuffer_.
class LoadedFile {
public:
    explicit LoadedFile(HostContext &host) : host_(host) {}
    ~LoadedFile()
    {
        if (data_ != nullptr && free_ != nullptr)
            free_(data_);
    }
    LoadedFile(const LoadedFile &) = delete;
    LoadedFile &operator=(const LoadedFile &) = delete;

    // LoadBuffer_'s result, or -1 when the library lacks the buffer exports.
    int load(const std::string &path)
    {
        auto loadBuffer = need<decltype(&LoadBuffer_)>(host_, "LoadBuffer_");
        free_ = need<decltype(&FreeBuffer_)>(host_, "FreeBuffer_");
        if (loadBuffer == nullptr || free_ == nullptr)
            return -1;
        std::string name = path;
        const int result = loadBuffer(name.data(), &data_, &size_, nullptr);
        if (result != 0)
            std::fprintf(host_.err, "rdrload: cannot read %s%s\n", path.c_str(),
                         whyUnreadable(path).c_str());
        return result;
    }
    unsigned char *data() const { return data_; }
    unsigned long size() const { return size_; }
    // Gives the buffer back now; FreeBuffer_'s result.
    int release()
    {
        const int result = free_(data_);
        data_ = nullptr;
        return result;
    }

private:
    HostContext &host_;
    decltype(&FreeBuffer_) free_ = nullptr;
    unsigned char *data_ = nullptr;
    unsigned long size_ = 0;
};

// The exit status for a file that could not be loaded.
int loadFailure(HostContext &host, int result)
{
    return result < 0 ? exitstatus::kUnavailable
                      : finish(host, "LoadBuffer_", result, ResultKind::Code);
}

// Runs an export with a progress display made current for its reports.
template <typename Call> int withProgress(HostContext &host, bool remainingIsTotal, Call call)
{
    ProgressDisplay display(host.out, host.terminal, remainingIsTotal);
    ProgressDisplay::setCurrent(&display);
    const int result = call(&ProgressDisplay::callback);
    ProgressDisplay::setCurrent(nullptr);
    display.finish();
    return result;
}

bool parsePort(const CommandLine &line, unsigned char &port, std::string &why)
{
    long long number = 0;
    if (!line.has("--port")) {
        why = "--port N is required";
        return false;
    }
    if (!parseNumber(line.value("--port"), 1, 255, number)) {
        why = "--port wants a COM port number from 1 to 255";
        return false;
    }
    port = static_cast<unsigned char>(number);
    return true;
}

// A data-type letter: one character, or a byte written 0xHH.
bool parseLetter(const std::string &text, char &letter)
{
    long long number = 0;
    if (text.size() == 1) {
        letter = text[0];
        return true;
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
        parseNumber(text, 0, 255, number)) {
        letter = static_cast<char>(number);
        return true;
    }
    return false;
}

bool parseSize(const CommandLine &line, int fallback, int &size, std::string &why)
{
    long long number = fallback;
    if (line.has("--size") && !parseNumber(line.value("--size"), 0, 1 << 24, number)) {
        why = "--size wants a byte count";
        return false;
    }
    size = static_cast<int>(number);
    return true;
}

// The parsed arguments of a subcommand, or a usage error already reported.
struct Parsed {
    CommandLine line;
    unsigned char port = 0;
    int status = 0; // non-zero: stop with this exit status
};

Parsed parseArguments(HostContext &host, const Subcommand &command, const Arguments &arguments,
                      std::size_t positionalCount, bool wantsPort)
{
    Parsed parsed;
    std::string why;
    if (!parsed.line.parse(arguments, command.valueOptions, command.flagOptions, why))
        parsed.status = usageError(host, command, why);
    else if (parsed.line.positional().size() != positionalCount)
        parsed.status = usageError(host, command, "wrong number of arguments");
    else if (wantsPort && !parsePort(parsed.line, parsed.port, why))
        parsed.status = usageError(host, command, why);
    return parsed;
}

// Sixteen bytes a line in hexadecimal.
void printBytes(HostContext &host, const unsigned char *bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const bool first = i % 16 == 0;
        const bool last = i % 16 == 15 || i + 1 == count;
        std::fprintf(host.out, "%s%02x%s", first ? "data: " : " ", bytes[i], last ? "\n" : "");
    }
}

void printText(HostContext &host, const unsigned char *bytes, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count && bytes[i] != 0; ++i)
        text += std::isprint(bytes[i]) ? static_cast<char>(bytes[i]) : '.';
    std::fprintf(host.out, "text: %s\n", text.c_str());
}

// Writes `bytes` to `path` whole or not at all.
bool writeWhole(const std::string &path, const unsigned char *bytes, std::size_t count)
{
    const std::string part = path + ".part";
    std::FILE *file = std::fopen(part.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = std::fwrite(bytes, 1, count, file) == count;
    ok = std::fclose(file) == 0 && ok;
    if (ok && std::rename(part.c_str(), path.c_str()) == 0)
        return true;
    std::remove(part.c_str());
    return false;
}

const Subcommand &commandNamed(const char *name)
{
    return *findSubcommand(name);
}

// --- image downloads

// `slowExportName`, when given, is the export that --slow chooses.
int runImage(HostContext &host, const Arguments &arguments, const char *name,
             const char *exportName, const char *slowExportName)
{
    const Subcommand &command = commandNamed(name);
    Parsed parsed = parseArguments(host, command, arguments, 1, true);
    if (parsed.status != 0)
        return parsed.status;
    if (slowExportName != nullptr && parsed.line.has("--slow"))
        exportName = slowExportName;
    auto download = need<decltype(&ApplicationDL_)>(host, exportName);
    if (download == nullptr)
        return exitstatus::kUnavailable;
    LoadedFile image(host);
    if (int result = image.load(parsed.line.positional()[0]); result != 0)
        return loadFailure(host, result);
    const int checkHeader = parsed.line.has("--check-header") ? 1 : 0;
    if (!portIsThere(host, parsed.port))
        return missingPort();
    const int result = withProgress(host, false, [&](ProgressCallback callback) {
        return download(image.data(), image.size(), parsed.port, checkHeader, callback);
    });
    return finish(host, exportName, result, ResultKind::Code);
}

int runApplication(HostContext &host, const Arguments &arguments)
{
    return runImage(host, arguments, "application", "ApplicationDL_", "ApplicationDL_Lent_");
}

int runFirmware(HostContext &host, const Arguments &arguments)
{
    return runImage(host, arguments, "firmware", "FirmwareDL_", nullptr);
}

uint32_t packetField(const unsigned char *packet, std::size_t offset)
{
    return uint32_t{packet[offset]} | (uint32_t{packet[offset + 1]} << 8) |
           (uint32_t{packet[offset + 2]} << 16) | (uint32_t{packet[offset + 3]} << 24);
}

// Whether the packet's header (26 bytes) and the parts it announces (flag
// 2, offset and length from byte 2) lie inside its `size` bytes.
bool packetFitsItsFile(const unsigned char *packet, unsigned long size)
{
    constexpr std::size_t kHeader = 26;
    if (size < kHeader)
        return false;
    for (std::size_t flag : {std::size_t{2}, std::size_t{14}}) {
        if (packetField(packet, flag) != 2)
            continue;
        const uint64_t end =
            2 + uint64_t{packetField(packet, flag + 4)} + packetField(packet, flag + 8);
        if (end > size)
            return false;
    }
    return true;
}

int runPacket(HostContext &host, const Arguments &arguments)
{
    Parsed parsed = parseArguments(host, commandNamed("packet"), arguments, 1, true);
    if (parsed.status != 0)
        return parsed.status;
    auto packetDownload = need<decltype(&PacketDL_)>(host, "PacketDL_");
    if (packetDownload == nullptr)
        return exitstatus::kUnavailable;
    LoadedFile packet(host);
    if (int result = packet.load(parsed.line.positional()[0]); result != 0)
        return loadFailure(host, result);
    // The library trusts the packet's header; the file's size is known here.
    if (!packetFitsItsFile(packet.data(), packet.size())) {
        std::fprintf(host.err, "rdrload packet: %s: its header points beyond its end\n",
                     parsed.line.positional()[0].c_str());
        return exitstatus::kBadInput;
    }
    if (!portIsThere(host, parsed.port))
        return missingPort();
    const int result = withProgress(host, false, [&](ProgressCallback callback) {
        return packetDownload(packet.data(), parsed.port, callback);
    });
    return finish(host, "PacketDL_", result, ResultKind::Code);
}

int runBootload(HostContext &host, const Arguments &arguments)
{
    const Subcommand &command = commandNamed("bootload");
    Parsed parsed = parseArguments(host, command, arguments, 3, true);
    if (parsed.status != 0)
        return parsed.status;
    long long imageAddress = 0;
    long long loadAddress = 0;
    if (!parsed.line.has("--pid") ||
        !parseNumber(parsed.line.value("--image-address"), INT32_MIN, UINT32_MAX, imageAddress) ||
        !parseNumber(parsed.line.value("--load-address"), INT32_MIN, UINT32_MAX, loadAddress))
        return usageError(host, command, "--pid, --image-address and --load-address are required");
    auto bootload = need<decltype(&FirmLoaderDL_)>(host, "FirmLoaderDL_");
    if (bootload == nullptr)
        return exitstatus::kUnavailable;
    LoadedFile config(host), boot(host), image(host), productId(host);
    const Arguments &files = parsed.line.positional();
    for (auto [file, path] :
         {std::pair{&config, files[0]}, std::pair{&boot, files[1]}, std::pair{&image, files[2]},
          std::pair{&productId, parsed.line.value("--pid")}}) {
        if (int result = file->load(path); result != 0)
            return loadFailure(host, result);
    }
    if (productId.size() != 32) {
        std::fprintf(host.err,
                     "rdrload bootload: the product-identifier file must hold 32 bytes\n");
        return exitstatus::kBadInput;
    }
    if (!portIsThere(host, parsed.port))
        return missingPort();
    const int result = withProgress(host, false, [&](ProgressCallback callback) {
        return bootload(config.data(), static_cast<int>(config.size()), boot.data(),
                        static_cast<int>(boot.size()), image.data(), static_cast<int>(image.size()),
                        parsed.port, productId.data(), callback, static_cast<int>(imageAddress),
                        static_cast<int>(loadAddress));
    });
    return finish(host, "FirmLoaderDL_", result, ResultKind::Code);
}

int runUpdate(HostContext &host, const Arguments &arguments)
{
    Parsed parsed = parseArguments(host, commandNamed("update"), arguments, 1, true);
    if (parsed.status != 0)
        return parsed.status;
    auto update = need<decltype(&ThirdPartyUpdate_)>(host, "ThirdPartyUpdate_");
    if (update == nullptr)
        return exitstatus::kUnavailable;
    LoadedFile package(host);
    if (int result = package.load(parsed.line.positional()[0]); result != 0)
        return loadFailure(host, result);
    if (!portIsThere(host, parsed.port))
        return missingPort();
    const int result = withProgress(host, false, [&](ProgressCallback callback) {
        return update(package.data(), package.size(), 0, parsed.port, 0, callback);
    });
    return finish(host, "ThirdPartyUpdate_", result, ResultKind::Update);
}

// --- data and queries

// Prints the block a query received, or writes it to --output; 0, or the
// exit status for an output file that cannot be written.
int deliverBlock(HostContext &host, const CommandLine &line,
                 const std::vector<unsigned char> &block, std::size_t count, bool asText)
{
    if (line.has("--output")) {
        if (writeWhole(line.value("--output"), block.data(), count))
            return 0;
        std::fprintf(host.err, "rdrload: cannot write %s\n", line.value("--output").c_str());
        return exitstatus::kCannotWrite;
    }
    printBytes(host, block.data(), count);
    if (asText)
        printText(host, block.data(), count);
    return 0;
}

constexpr int kLongestBlock = 0xFFFF;

// A query that fills a block: `query` returns false when it could not be
// made (its `result` is then the exit status), else the export's result.
template <typename Query>
int runQuery(HostContext &host, const Arguments &arguments, const char *name,
             const char *exportName, std::size_t positionalCount, bool asText, Query query)
{
    const Subcommand &command = commandNamed(name);
    Parsed parsed = parseArguments(host, command, arguments, positionalCount, true);
    if (parsed.status != 0)
        return parsed.status;
    int size = 0;
    std::string why;
    if (!parseSize(parsed.line, kLongestBlock, size, why))
        return usageError(host, command, why);
    std::vector<unsigned char> block(static_cast<std::size_t>(size) + 1, 0);
    int result = 0;
    if (!query(parsed, size, block, result))
        return result;
    if (result <= 0) {
        const auto count = static_cast<std::size_t>(-static_cast<long>(result));
        if (int status = deliverBlock(host, parsed.line, block, count, asText); status != 0)
            return status;
    }
    return finish(host, exportName, result, ResultKind::ByteCount);
}

int runUpload(HostContext &host, const Arguments &arguments)
{
    return runQuery(host, arguments, "upload", "UploadData_", 1, false,
                    [&](Parsed &parsed, int size, std::vector<unsigned char> &block, int &result) {
                        char letter = 0;
                        if (!parseLetter(parsed.line.positional()[0], letter)) {
                            result = usageError(host, commandNamed("upload"),
                                                "LETTER is one character or 0xHH");
                            return false;
                        }
                        auto upload = need<decltype(&UploadData_)>(host, "UploadData_");
                        if (upload == nullptr) {
                            result = exitstatus::kUnavailable;
                            return false;
                        }
                        if (!portIsThere(host, parsed.port)) {
                            result = missingPort();
                            return false;
                        }
                        result = withProgress(host, true, [&](ProgressCallback callback) {
                            return upload(block.data(), letter, size, parsed.port, callback);
                        });
                        return true;
                    });
}

int runPid(HostContext &host, const Arguments &arguments)
{
    return runQuery(host, arguments, "pid", "ReaderPID_", 0, true,
                    [&](Parsed &parsed, int size, std::vector<unsigned char> &block, int &result) {
                        auto query = need<decltype(&ReaderPID_)>(host, "ReaderPID_");
                        if (query == nullptr) {
                            result = exitstatus::kUnavailable;
                            return false;
                        }
                        if (!portIsThere(host, parsed.port)) {
                            result = missingPort();
                            return false;
                        }
                        result = withProgress(host, true, [&](ProgressCallback callback) {
                            return query(block.data(), size, parsed.port, callback);
                        });
                        return true;
                    });
}

int runType(HostContext &host, const Arguments &arguments)
{
    return runQuery(host, arguments, "type", "ReaderType_", 0, true,
                    [&](Parsed &parsed, int size, std::vector<unsigned char> &block, int &result) {
                        auto query = need<decltype(&ReaderType_)>(host, "ReaderType_");
                        if (query == nullptr) {
                            result = exitstatus::kUnavailable;
                            return false;
                        }
                        if (!portIsThere(host, parsed.port)) {
                            result = missingPort();
                            return false;
                        }
                        result = withProgress(host, true, [&](ProgressCallback callback) {
                            return query(reinterpret_cast<char *>(block.data()), size, parsed.port,
                                         callback);
                        });
                        return true;
                    });
}

int runTest(HostContext &host, const Arguments &arguments)
{
    const Subcommand &command = commandNamed("test");
    Parsed parsed = parseArguments(host, command, arguments, 1, true);
    if (parsed.status != 0)
        return parsed.status;
    long long test = 0;
    if (!parseNumber(parsed.line.positional()[0], 0, 255, test))
        return usageError(host, command, "N is a test number from 0 to 255");
    int size = 0;
    std::string why;
    if (!parseSize(parsed.line, kLongestBlock + 3, size, why))
        return usageError(host, command, why);
    auto testMode = need<decltype(&testMode_)>(host, "testMode_");
    if (testMode == nullptr)
        return exitstatus::kUnavailable;
    std::vector<unsigned char> stored(static_cast<std::size_t>(size) + 1, 0);
    if (!portIsThere(host, parsed.port))
        return missingPort();
    const int result = testMode(static_cast<char>(test), stored.data(), size, parsed.port);
    if (result < 0) {
        const std::size_t length = stored[1] | (stored[2] << 8);
        std::fprintf(host.out, "status: 0x%02x\nreport length: %zu\n", stored[0], length);
        printBytes(host, stored.data() + 3, length);
    }
    return finish(host, "testMode_", result, ResultKind::ByteCount);
}

int runDownload(HostContext &host, const Arguments &arguments)
{
    const Subcommand &command = commandNamed("download");
    Parsed parsed = parseArguments(host, command, arguments, 2, true);
    if (parsed.status != 0)
        return parsed.status;
    char letter = 0;
    if (!parseLetter(parsed.line.positional()[0], letter))
        return usageError(host, command, "LETTER is one character or 0xHH");
    auto download = need<decltype(&DownloadData_)>(host, "DownloadData_");
    if (download == nullptr)
        return exitstatus::kUnavailable;
    LoadedFile data(host);
    if (int result = data.load(parsed.line.positional()[1]); result != 0)
        return loadFailure(host, result);
    // Longer files are passed on as they are: the library refuses them.
    const long long length =
        data.size() > INT32_MAX ? INT32_MAX : static_cast<long long>(data.size());
    if (!portIsThere(host, parsed.port))
        return missingPort();
    const int result = download(data.data(), static_cast<int>(length), letter, parsed.port);
    return finish(host, "DownloadData_", result, ResultKind::Code);
}

int runLines(HostContext &host, const Arguments &arguments)
{
    const Subcommand &command = commandNamed("lines");
    Parsed parsed = parseArguments(host, command, arguments, 0, true);
    if (parsed.status != 0)
        return parsed.status;
    long long dtr = 0;
    long long rts = 0;
    if (!parseNumber(parsed.line.value("--dtr"), 0, 1, dtr) ||
        !parseNumber(parsed.line.value("--rts"), 0, 1, rts))
        return usageError(host, command, "--dtr 0|1 and --rts 0|1 are required");
    auto setLevels = need<decltype(&SetLevel_DTR_RTS_)>(host, "SetLevel_DTR_RTS_");
    if (setLevels == nullptr)
        return exitstatus::kUnavailable;
    // No export closes the port SetLevel_DTR_RTS_ opens: the handle stays
    // ours, and the port open, until the program ends.
    static void *heldPort = nullptr;
    if (!portIsThere(host, parsed.port))
        return missingPort();
    const int result =
        setLevels(parsed.port, static_cast<int>(dtr), static_cast<int>(rts), &heldPort);
    const int status = finish(host, "SetLevel_DTR_RTS_", result, ResultKind::Code);
    if (result == 0 && parsed.line.has("--hold")) {
        // The port, and with it the levels, last until this program ends.
        std::fprintf(host.out, "holding the lines; press Enter to release them\n");
        std::fflush(host.out);
        for (int c = std::getchar(); c != '\n' && c != EOF; c = std::getchar()) {
        }
    }
    return status;
}

int runSerial(HostContext &host, const Arguments &arguments)
{
    const Subcommand &command = commandNamed("serial");
    Parsed parsed = parseArguments(host, command, arguments, 0, false);
    if (parsed.status != 0)
        return parsed.status;
    long long port = 0;
    if (parsed.line.has("--port") && !parseNumber(parsed.line.value("--port"), 0, 255, port))
        return usageError(host, command, "--port wants a COM port number from 1 to 255");
    auto serialNumber = need<decltype(&GetSerialNumber_)>(host, "GetSerialNumber_");
    if (serialNumber == nullptr)
        return exitstatus::kUnavailable;
    char buffer[32] = {};
    const int result = serialNumber(static_cast<unsigned char>(port), buffer);
    if (result == 0)
        std::fprintf(host.out, "serial number: %.11s\n", buffer);
    return finish(host, "GetSerialNumber_", result, ResultKind::Code);
}

int runTime(HostContext &host, const Arguments &arguments)
{
    Parsed parsed = parseArguments(host, commandNamed("time"), arguments, 0, false);
    if (parsed.status != 0)
        return parsed.status;
    auto clientTime = need<decltype(&GetClientTime_)>(host, "GetClientTime_");
    if (clientTime == nullptr)
        return exitstatus::kUnavailable;
    const std::tm *now = clientTime(0, 0);
    char text[64] = "?";
    if (now == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", now) == 0)
        return exitstatus::kUnknownResult;
    std::fprintf(host.out, "host time: %s\n", text);
    return 0;
}

uint32_t fnv1a(const unsigned char *data, unsigned long size)
{
    uint32_t hash = 2166136261u;
    for (unsigned long i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 16777619u;
    }
    return hash;
}

int runLoad(HostContext &host, const Arguments &arguments)
{
    Parsed parsed = parseArguments(host, commandNamed("load"), arguments, 1, false);
    if (parsed.status != 0)
        return parsed.status;
    auto openSession = need<decltype(&OpenSession_)>(host, "OpenSession_");
    auto closeSession = need<decltype(&CloseSession_)>(host, "CloseSession_");
    if (openSession == nullptr || closeSession == nullptr)
        return exitstatus::kUnavailable;
    std::fprintf(host.out, "OpenSession_: %d\n", openSession());
    int status = 0;
    {
        LoadedFile file(host);
        const int result = file.load(parsed.line.positional()[0]);
        if (result < 0)
            return exitstatus::kUnavailable;
        std::fprintf(host.out, "LoadBuffer_: %d\n", result);
        if (result == 0) {
            std::fprintf(host.out, "size: %lu\nfnv1a: 0x%08x\n", file.size(),
                         fnv1a(file.data(), file.size()));
            std::fprintf(host.out, "FreeBuffer_: %d\n", file.release());
        }
        status = exitStatusFor(result, ResultKind::Code);
    }
    std::fprintf(host.out, "CloseSession_: %d\n", closeSession());
    return status;
}

} // namespace

const std::vector<Subcommand> &subcommands()
{
    static const std::vector<Subcommand> all{
        {"application",
         "IMAGE --port N [--slow] [--check-header]",
         "Downloads an application image (ApplicationDL_, or ApplicationDL_Lent_ with\n"
         "--slow: smaller blocks for slow readers). --check-header refuses an image\n"
         "whose header is not an application's.\n",
         {"--port"},
         {"--slow", "--check-header"},
         runApplication},
        {"firmware",
         "IMAGE --port N [--check-header]",
         "Downloads a firmware image (FirmwareDL_). The reader may restart into its\n"
         "firmware loader on the way.\n",
         {"--port"},
         {"--check-header"},
         runFirmware},
        {"bootload",
         "CONFIG BOOT IMAGE --port N --pid FILE --image-address A --load-address A",
         "Sends configuration, boot and image files through the reader's boot loader\n"
         "(FirmLoaderDL_). --pid names a file of the 32-byte product identifier;\n"
         "addresses are decimal or 0x hexadecimal.\n",
         {"--port", "--pid", "--image-address", "--load-address"},
         {},
         runBootload},
        {"update",
         "PACKAGE --port N",
         "Transfers a third-party update package (ThirdPartyUpdate_). A refusal by the\n"
         "reader is printed with its reason byte (exit status 19).\n",
         {"--port"},
         {},
         runUpdate},
        {"packet",
         "PACKET --port N",
         "Downloads a combined firmware-and-application packet (PacketDL_).\n",
         {"--port"},
         {},
         runPacket},
        {"upload",
         "LETTER --port N [-o FILE] [--size N]",
         "Reads the reader's data block of type LETTER (UploadData_; one character or\n"
         "0xHH) and prints it in hexadecimal, or writes it to FILE with -o. --size is\n"
         "the room given for it (default 65535).\n",
         {"--port", "--output", "--size"},
         {},
         runUpload},
        {"download",
         "LETTER FILE --port N",
         "Writes FILE to the reader as a data block of type LETTER (DownloadData_; at\n"
         "most 65535 bytes).\n",
         {"--port"},
         {},
         runDownload},
        {"pid",
         "--port N [-o FILE] [--size N]",
         "Reads the reader's product identifier (ReaderPID_).\n",
         {"--port", "--output", "--size"},
         {},
         runPid},
        {"type",
         "--port N [-o FILE] [--size N]",
         "Reads the reader's type (ReaderType_).\n",
         {"--port", "--output", "--size"},
         {},
         runType},
        {"test",
         "N --port N [--size N]",
         "Runs reader test N (testMode_; 255 is the full test, which may take 90 s) and\n"
         "prints its status byte and report.\n",
         {"--port", "--size"},
         {},
         runTest},
        {"lines",
         "--port N --dtr 0|1 --rts 0|1 [--hold]",
         "Sets the DTR and RTS lines of the port (SetLevel_DTR_RTS_). The port stays\n"
         "open until this program ends; --hold keeps it until Enter is pressed.\n",
         {"--port", "--dtr", "--rts"},
         {"--hold"},
         runLines},
        {"serial",
         "[--port N]",
         "Prints the serial number the library reports (GetSerialNumber_).\n",
         {"--port"},
         {},
         runSerial},
        {"time",
         "",
         "Prints the host's local time as the library reads it (GetClientTime_).\n",
         {},
         {},
         runTime},
        {"load",
         "FILE",
         "Reads FILE through the library's buffers (OpenSession_, LoadBuffer_,\n"
         "FreeBuffer_, CloseSession_) and prints its size and FNV-1a checksum.\n",
         {},
         {},
         runLoad},
    };
    return all;
}

const Subcommand *findSubcommand(const std::string &name)
{
    for (const Subcommand &command : subcommands()) {
        if (name == command.name)
            return &command;
    }
    return nullptr;
}

void printSubcommandHelp(const Subcommand &command, std::FILE *out)
{
    std::fprintf(out, "usage: rdrload [--library PATH] %s %s\n\n%s", command.name, command.synopsis,
                 command.help);
}
