#include "DataExchanges.h"

#include <cstdio>
#include <fstream>
#include <utility>

namespace readersim {

namespace {

constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr uint8_t kWrongByte = 0x41;

DataExchanges::Bytes lengthField(std::size_t length)
{
    return {static_cast<uint8_t>(length & 0xFF), static_cast<uint8_t>((length >> 8) & 0xFF)};
}

std::string hexByte(uint8_t byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02x", byte);
    return text;
}

// Written beside the target and renamed, so that a reader of the file
// never sees half of it.
bool writeWhole(const std::string &path, const DataExchanges::Bytes &data)
{
    const std::string part = path + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data.data()),
                  static_cast<std::streamsize>(data.size()));
        if (!out)
            return false;
    }
    return std::rename(part.c_str(), path.c_str()) == 0;
}

} // namespace

DataExchanges::DataExchanges(DataBehaviour behaviour, Journal journal)
    : behaviour_(std::move(behaviour)), journal_(std::move(journal))
{
}

bool DataExchanges::isRequest(uint8_t byte)
{
    return byte == kUploadRequest || byte == kDownloadRequest || byte == kTestRequest;
}

void DataExchanges::note(const std::string &line)
{
    if (journal_)
        journal_(line);
}

void DataExchanges::reset()
{
    if (active())
        note("data exchange dropped");
    end();
}

DataExchanges::Bytes DataExchanges::answer(Bytes normal)
{
    ++step_;
    const DataFault &fault = behaviour_.fault;
    if (fault.step != step_)
        return normal;
    switch (fault.kind) {
    case DataFault::Kind::Silence:
        note("fault silence");
        end();
        return {};
    case DataFault::Kind::Nak:
        note("fault nak");
        end();
        return {kNak};
    case DataFault::Kind::WrongByte:
        note("fault wrong byte");
        end();
        return {kWrongByte};
    default:
        return normal;
    }
}

DataExchanges::Bytes DataExchanges::lengthAnswer(Bytes prefix, std::size_t length)
{
    Bytes field = lengthField(length);
    if (behaviour_.fault.kind == DataFault::Kind::ShortLength) {
        note("fault short length");
        field.pop_back();
        end();
    }
    prefix.insert(prefix.end(), field.begin(), field.end());
    return prefix;
}

DataExchanges::Bytes DataExchanges::dataAnswer(const Bytes &data)
{
    if (behaviour_.fault.kind == DataFault::Kind::ShortData && !data.empty()) {
        note("fault short data");
        end();
        return Bytes(data.begin(), data.end() - 1);
    }
    return data;
}

DataExchanges::Bytes DataExchanges::start(uint8_t request)
{
    step_ = 0;
    if (request == kUploadRequest)
        state_ = State::UploadLetter;
    else if (request == kDownloadRequest)
        state_ = State::DownloadLetter;
    else
        state_ = State::TestNumber;
    return answer({kAck});
}

DataExchanges::Bytes DataExchanges::finishDownload()
{
    end();
    if (!behaviour_.receivedPath.empty() && !writeWhole(behaviour_.receivedPath, received_))
        note("download not saved");
    note("download letter " + hexByte(letter_) + " length " + std::to_string(received_.size()));
    return answer({kAck});
}

DataExchanges::Bytes DataExchanges::receive(uint8_t byte)
{
    switch (state_) {
    case State::Idle:
        return {};
    case State::UploadLetter: {
        letter_ = byte;
        auto found = behaviour_.uploads.find(byte);
        static const Bytes kEmpty;
        upload_ = found != behaviour_.uploads.end() ? &found->second : &kEmpty;
        note("upload letter " + hexByte(byte) + " length " + std::to_string(upload_->size()));
        state_ = State::UploadLengthAck;
        Bytes ack = answer({kAck});
        return active() ? lengthAnswer(ack, upload_->size()) : ack;
    }
    case State::UploadLengthAck:
        state_ = State::UploadDataAck;
        return answer(dataAnswer(*upload_));
    case State::UploadDataAck:
        note("upload done");
        end();
        return {};
    case State::DownloadLetter: {
        letter_ = byte;
        const std::string &accepted = behaviour_.acceptedLetters;
        if (!accepted.empty() && accepted.find(static_cast<char>(byte)) == std::string::npos) {
            note("download letter " + hexByte(byte) + " refused");
            end();
            return {kNak};
        }
        lengthBytes_.clear();
        state_ = State::DownloadLength;
        return answer({kAck});
    }
    case State::DownloadLength: {
        lengthBytes_.push_back(byte);
        if (lengthBytes_.size() < 2)
            return {};
        expected_ = static_cast<std::size_t>(lengthBytes_[0] | (lengthBytes_[1] << 8));
        received_.clear();
        state_ = State::DownloadData;
        Bytes ack = answer({kAck});
        if (active() && expected_ == 0) {
            Bytes last = finishDownload();
            ack.insert(ack.end(), last.begin(), last.end());
        }
        return ack;
    }
    case State::DownloadData:
        received_.push_back(byte);
        return received_.size() == expected_ ? finishDownload() : Bytes{};
    case State::TestNumber: {
        note("test " + hexByte(byte) + " status " + hexByte(behaviour_.testStatus) + " report " +
             std::to_string(behaviour_.testReport.size()));
        state_ = State::TestStatusAck;
        Bytes ack = answer({kAck});
        if (!active())
            return ack;
        Bytes status = answer({behaviour_.testStatus});
        ack.insert(ack.end(), status.begin(), status.end());
        return ack;
    }
    case State::TestStatusAck:
        state_ = State::TestLengthAck;
        return answer(lengthAnswer({}, behaviour_.testReport.size()));
    case State::TestLengthAck:
        if (behaviour_.testReport.empty()) {
            note("test done");
            end();
            return {};
        }
        state_ = State::TestReportAck;
        return answer(dataAnswer(behaviour_.testReport));
    case State::TestReportAck:
        note("test done");
        end();
        return {};
    }
    return {};
}

} // namespace readersim
