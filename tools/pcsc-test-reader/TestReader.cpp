#include "TestReader.h"

#include "ReceivedDatabase.h"

#include <reader.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace {

long long nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The first bytes of a command in hexadecimal, for the log.
std::string hexHead(const uint8_t *data, size_t size)
{
    constexpr size_t kShown = 16;
    std::string text;
    char byte[4];
    for (size_t i = 0; i < std::min(size, kShown); ++i) {
        std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", data[i]);
        text += byte;
    }
    if (size > kShown)
        text += " ...";
    return text;
}

RESPONSECODE putText(const std::string &text, PUCHAR value, DWORD &length)
{
    if (length < text.size()) {
        length = 0;
        return IFD_ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(value, text.data(), text.size());
    length = DWORD(text.size());
    return IFD_SUCCESS;
}

RESPONSECODE putByte(uint8_t byte, PUCHAR value, DWORD &length)
{
    if (length < 1) {
        length = 0;
        return IFD_ERROR_INSUFFICIENT_BUFFER;
    }
    value[0] = byte;
    length = 1;
    return IFD_SUCCESS;
}

} // namespace

constexpr uint8_t TestReader::kAnswerLead[2];

TestReader::TestReader(TestReaderConfig config)
    : config_(std::move(config)), engine_(config_.plan, config_.pad),
      presenceQuestions_(size_t(TestReaderConfig::kMaxSlots), 0), startMs_(nowMs())
{
    if (!config_.logPath.empty()) {
        log_ = std::fopen(config_.logPath.c_str(), "w");
        if (log_)
            engine_.log().setSink([this](const std::string &line) { writeLogLine(line); });
        else
            std::fprintf(stderr, "klav test reader: cannot write the log %s: %s\n",
                         config_.logPath.c_str(), std::strerror(errno));
    }
    engine_.log().note("reader \"" + config_.name + "\" serial \"" + config_.serial + "\" ready");
}

TestReader::~TestReader()
{
    if (log_)
        std::fclose(log_);
}

void TestReader::writeLogLine(const std::string &line)
{
    long long ms = nowMs() - startMs_;
    std::fprintf(log_, "%6lld.%03lld %s\n", ms / 1000, ms % 1000, line.c_str());
    std::fflush(log_);
}

RESPONSECODE TestReader::capability(DWORD tag, PUCHAR value, DWORD &length)
{
    std::lock_guard<std::mutex> lock(mutex_);
    switch (tag) {
    case TAG_IFD_SLOTS_NUMBER:
        return putByte(uint8_t(config_.slots), value, length);
    case TAG_IFD_SIMULTANEOUS_ACCESS:
        // More than one lets pcscd give each reader of this driver its own
        // number, and so its own unit numbers.
        return putByte(PCSCLITE_MAX_READERS_CONTEXTS, value, length);
    case TAG_IFD_ATR:
        length = 0; // no card, no answer to reset
        return IFD_SUCCESS;
    case SCARD_ATTR_VENDOR_NAME:
        if (config_.denyVendor)
            break;
        return putText(config_.vendor, value, length);
    case SCARD_ATTR_VENDOR_IFD_SERIAL_NO:
        if (config_.denySerial)
            break;
        return putText(config_.serial, value, length);
    default:
        break;
    }
    length = 0;
    return IFD_ERROR_TAG;
}

RESPONSECODE TestReader::presence(DWORD slot)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (config_.denyConnect) {
        int &asked = presenceQuestions_[std::min<size_t>(slot, presenceQuestions_.size() - 1)];
        if (asked++ > 0)
            return IFD_COMMUNICATION_ERROR;
    }
    return IFD_ICC_NOT_PRESENT;
}

RESPONSECODE TestReader::control(DWORD code, const uint8_t *in, DWORD inLength, uint8_t *out,
                                 DWORD outCapacity, DWORD &returned)
{
    std::lock_guard<std::mutex> lock(mutex_);
    returned = 0;
    if (code == DWORD(CM_IOCTL_GET_FEATURE_REQUEST))
        return answerFeatureRequest(out, outCapacity, returned);
    if (code == config_.escapeCode)
        return answerEscape(in, inLength, out, outCapacity, returned);
    char text[64];
    std::snprintf(text, sizeof text, "control code 0x%08lX refused", (unsigned long)code);
    engine_.log().note(text);
    return IFD_ERROR_NOT_SUPPORTED;
}

RESPONSECODE TestReader::answerFeatureRequest(uint8_t *out, DWORD outCapacity, DWORD &returned)
{
    if (config_.features == TestReaderConfig::Features::Refuse) {
        engine_.log().note("feature request refused");
        return IFD_ERROR_NOT_SUPPORTED;
    }
    std::vector<uint8_t> list = config_.featureList();
    if (list.size() > outCapacity || (!out && !list.empty())) {
        engine_.log().note("feature list of " + std::to_string(list.size()) +
                           " bytes does not fit the room of " + std::to_string(outCapacity));
        return IFD_ERROR_INSUFFICIENT_BUFFER;
    }
    if (!list.empty())
        std::memcpy(out, list.data(), list.size());
    returned = DWORD(list.size());
    engine_.log().note("feature request: " + (list.empty() ? std::string("empty list")
                                                           : hexHead(list.data(), list.size())));
    return IFD_SUCCESS;
}

RESPONSECODE TestReader::answerEscape(const uint8_t *in, DWORD inLength, uint8_t *out,
                                      DWORD outCapacity, DWORD &returned)
{
    engine_.log().note("escape command " + std::to_string(inLength) +
                       " bytes: " + (in ? hexHead(in, inLength) : std::string()) +
                       "; answer room " + std::to_string(outCapacity) + " bytes");
    std::vector<uint8_t> answer(std::begin(kAnswerLead), std::end(kAnswerLead));
    if (!in || inLength == 0 || in[0] != kEscapeLead) {
        engine_.log().note("escape command without the leading 0x11: the terminal says nothing");
    } else {
        EngineReply reply = engine_.handleCommand(in + 1, size_t(inLength) - 1);
        if (reply.hangUp) {
            writeCompletedLoads();
            engine_.log().note("terminal gone: the escape command fails");
            return IFD_COMMUNICATION_ERROR;
        }
        if (reply.delayMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));
        // The escape answer carries a split reply whole, once its rest has come.
        if (reply.splitAt)
            std::this_thread::sleep_for(std::chrono::milliseconds(reply.splitDelayMs));
        answer.insert(answer.end(), reply.bytes.begin(), reply.bytes.end());
        writeCompletedLoads();
    }
    if (config_.escapeAnswerMax >= 0 && answer.size() > size_t(config_.escapeAnswerMax)) {
        answer.resize(size_t(config_.escapeAnswerMax));
        engine_.log().note("escape answer cut to " + std::to_string(answer.size()) + " bytes");
    }
    if (answer.size() > outCapacity || !out) {
        engine_.log().note("escape answer of " + std::to_string(answer.size()) +
                           " bytes does not fit the room of " + std::to_string(outCapacity));
        return IFD_ERROR_INSUFFICIENT_BUFFER;
    }
    if (!answer.empty())
        std::memcpy(out, answer.data(), answer.size());
    returned = DWORD(answer.size());
    return IFD_SUCCESS;
}

void TestReader::writeCompletedLoads()
{
    CompletedLoad load;
    while (engine_.takeCompletedLoad(load)) {
        if (!config_.outPath.empty())
            writeOutput(load);
    }
}

bool TestReader::writeOutput(const CompletedLoad &load)
{
    std::string error;
    if (writeReceivedDatabase(load, config_.outPath, engine_.log(), error))
        return true;
    std::fprintf(stderr, "klav test reader: cannot write %s\n", error.c_str());
    return false;
}
