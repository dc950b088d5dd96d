#include "BootLoaderSim.h"

#include <cstdio>
#include <utility>

namespace readersim {

namespace {

std::string formatted(const char *format, unsigned long first, unsigned long second = 0)
{
    char text[96];
    std::snprintf(text, sizeof text, format, first, second);
    return text;
}

} // namespace

BootLoaderSim::BootLoaderSim(BootLoaderOptions options, Journal journal)
    : options_(std::move(options)), journal_(std::move(journal)), memory_(options_.imageAddress)
{
}

void BootLoaderSim::note(const std::string &line)
{
    if (journal_)
        journal_(line);
}

void BootLoaderSim::hostOpened()
{
    phase_ = Phase::AwaitingSync;
    parser_.reset();
    memory_.clear();
    recordNumber_ = 0;
    recordLost_ = false;
    output_.clear();
}

void BootLoaderSim::hostClosed()
{
    phase_ = Phase::Closed;
    parser_.reset();
    output_.clear();
}

void BootLoaderSim::received(const Bytes &bytes)
{
    for (uint8_t byte : bytes)
        receivedByte(byte);
}

Bytes BootLoaderSim::takeOutput()
{
    Bytes out;
    out.swap(output_);
    return out;
}

void BootLoaderSim::receivedByte(uint8_t byte)
{
    switch (phase_) {
    case Phase::Closed:
        return;
    case Phase::AwaitingSync:
        if (byte != kSyncRequest)
            return;
        if (options_.syncAnswer < 0) {
            note("sync silent");
            return;
        }
        send(static_cast<uint8_t>(options_.syncAnswer));
        if (options_.syncAnswer == ':') {
            note("sync");
            phase_ = Phase::BootLoader;
        } else {
            note(formatted("sync answered %02lx", static_cast<unsigned long>(options_.syncAnswer)));
        }
        return;
    case Phase::BootLoader:
    case Phase::Program:
        recordCharacter(byte);
        return;
    }
}

void BootLoaderSim::recordCharacter(uint8_t byte)
{
    if (parser_.atRecordStart()) {
        ++recordNumber_;
        recordLost_ = recordNumber_ == options_.loseEchoAt;
    }
    if (!recordLost_)
        send(byte);
    switch (parser_.take(byte)) {
    case BootRecordParser::Step::Partial:
        return;
    case BootRecordParser::Step::Invalid:
        // The record it interrupted is dropped; the next character starts anew.
        note(formatted("bad character %02lx in record %lu", byte, recordNumber_));
        return;
    case BootRecordParser::Step::Complete:
        handleRecord(parser_.record());
        return;
    }
}

bool BootLoaderSim::isFill(const BootRecord &record) const
{
    return phase_ == Phase::Program && record.flags() == 0 && record.data == Bytes{0xFF} &&
           memory_.inImageArea(record.address);
}

void BootLoaderSim::handleRecord(const BootRecord &record)
{
    if (recordLost_) {
        note(formatted("record %lu lost at %08lX", recordNumber_, record.address));
        return;
    }
    if (record.isCommand()) {
        if (phase_ == Phase::BootLoader)
            launch(record.address);
        else
            flash(record.address);
        return;
    }
    if (options_.failFill && isFill(record)) {
        note(formatted("fill refused at %08lX", record.address));
        return;
    }
    keepData(record);
    if (recordNumber_ == options_.loseAckAt) {
        note(formatted("acknowledgement of record %lu lost", recordNumber_));
        return;
    }
    send(kAck);
}

void BootLoaderSim::keepData(const BootRecord &record)
{
    if (record.isRegisterWrite()) {
        uint32_t value = 0;
        for (std::size_t i = 0; i < record.data.size() && i < 4; ++i)
            value |= static_cast<uint32_t>(record.data[i]) << (8 * i);
        memory_.writeRegister(record.address, value);
        note(formatted("register %08lX %08lX", record.address, value));
    } else if (phase_ == Phase::BootLoader) {
        memory_.writeConfig(record.address, record.data);
    } else {
        memory_.writeProgram(record.address, record.data, isFill(record));
    }
}

void BootLoaderSim::launch(uint32_t address)
{
    note(formatted("launch %08lX", address));
    phase_ = Phase::Program;
}

void BootLoaderSim::flash(uint32_t address)
{
    const std::string problem = memory_.imageAreaProblem();
    if (!options_.outputFolder.empty() && !memory_.writeFiles(options_.outputFolder))
        note("cannot write the files into " + options_.outputFolder);
    std::string answer;
    switch (options_.flashAnswer) {
    case BootLoaderOptions::FlashAnswer::Checked:
        send(problem.empty() ? kAck : kNak);
        answer = problem.empty() ? "ack" : "nak";
        break;
    case BootLoaderOptions::FlashAnswer::Ack:
        send(kAck);
        answer = "ack";
        break;
    case BootLoaderOptions::FlashAnswer::Nak:
        send(kNak);
        answer = "nak";
        break;
    case BootLoaderOptions::FlashAnswer::Silent:
        answer = "silent";
        break;
    }
    note(formatted("flash %08lX ", address) + answer + (problem.empty() ? "" : ": " + problem));
}

} // namespace readersim
