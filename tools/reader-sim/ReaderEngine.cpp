#include "ReaderEngine.h"

#include <cstdio>
#include <utility>

namespace readersim {

std::string hexBytes(const Bytes &bytes)
{
    std::string text;
    char hex[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(hex, sizeof hex, i == 0 ? "%02x" : " %02x", bytes[i]);
        text += hex;
    }
    return text;
}

ReaderEngine::ReaderEngine(ReaderBehaviour behaviour, Journal journal)
    : behaviour_(behaviour), journal_(std::move(journal)), data_(behaviour.data, journal_),
      update_(behaviour_.update, journal_)
{
    if (behaviour_.bootLoader)
        bootLoader_ = std::make_unique<BootLoaderSim>(*behaviour_.bootLoader, journal_);
}

void ReaderEngine::note(const std::string &line)
{
    if (journal_)
        journal_(line);
}

void ReaderEngine::send(const Bytes &bytes)
{
    output_.insert(output_.end(), bytes.begin(), bytes.end());
}

void ReaderEngine::hostOpened()
{
    note("open");
    state_ = State::AwaitingBreak;
    output_.clear();
    if (bootLoader_) {
        // Boot mode has no wake-up exchange.
        state_ = State::Idle;
        bootLoader_->hostOpened();
    }
}

void ReaderEngine::hostClosed()
{
    note("close");
    data_.reset();
    if (download_ != nullptr)
        download_->hostClosed();
    state_ = State::Closed;
    output_.clear();
    if (bootLoader_)
        bootLoader_->hostClosed();
}

void ReaderEngine::quietTimeElapsed()
{
    if (state_ != State::AwaitingBreak)
        return;
    if (behaviour_.wakeAnswer < 0) {
        note("wake silent");
        state_ = State::Asleep;
        return;
    }
    send(Bytes{static_cast<uint8_t>(behaviour_.wakeAnswer)});
    state_ = State::Idle;
}

void ReaderEngine::received(const Bytes &bytes)
{
    if (bytes.empty())
        return;
    if (bootLoader_) {
        // Its own journal lines: one per record byte would drown the rest.
        bootLoader_->received(bytes);
        Bytes answer = bootLoader_->takeOutput();
        output_.insert(output_.end(), answer.begin(), answer.end());
        return;
    }
    // A package would flood the journal; the receiver notes its frames.
    if (state_ != State::Update)
        note("recv " + hexBytes(bytes));
    for (uint8_t byte : bytes)
        receivedByte(byte);
}

void ReaderEngine::receivedByte(uint8_t byte)
{
    switch (state_) {
    case State::Closed:
    case State::AwaitingBreak:
    case State::Asleep:
        return; // not listening yet
    case State::Idle:
        if (byte == kAck)
            return;
        if (DataExchanges::isRequest(byte)) {
            send(data_.start(byte));
            state_ = data_.active() ? State::Data : State::Idle;
            return;
        }
        if (download_ != nullptr && DownloadListener::isRequest(byte)) {
            send(download_->start(byte));
            state_ = download_->active() ? State::Downloading : State::Idle;
            return;
        }
        if (byte == kLoopbackRequest) {
            lengthBytes_.clear();
            state_ = State::LoopbackLength;
            send(Bytes{kAck});
            return;
        }
        if (byte == UpdateReceiver::kRequest) {
            update_.start();
            send(update_.takeOutput());
            state_ = State::Update;
            return;
        }
        send(Bytes{kNak});
        return;
    case State::LoopbackLength:
        lengthBytes_.push_back(byte);
        if (lengthBytes_.size() < 2)
            return;
        loopbackLeft_ = static_cast<std::size_t>(lengthBytes_[0] | (lengthBytes_[1] << 8));
        loopback_.clear();
        send(Bytes{kAck});
        state_ = loopbackLeft_ == 0 ? State::Idle : State::LoopbackData;
        return;
    case State::Data:
        send(data_.receive(byte));
        if (!data_.active())
            state_ = State::Idle;
        return;
    case State::LoopbackData:
        loopback_.push_back(byte);
        if (--loopbackLeft_ == 0) {
            send(loopback_);
            state_ = State::Idle;
        }
        return;
    case State::Update:
        update_.received(byte);
        send(update_.takeOutput());
        if (update_.finished())
            state_ = State::Idle;
        return;
    case State::Downloading:
        send(download_->received(byte));
        if (!download_->active())
            state_ = State::Idle;
        return;
    }
}

bool ReaderEngine::awaitingEndOfData() const
{
    return state_ == State::Downloading && download_->awaitingEndOfData();
}

void ReaderEngine::dataEnded()
{
    if (!awaitingEndOfData())
        return;
    send(download_->dataEnded());
    if (!download_->active())
        state_ = State::Idle;
}

Bytes ReaderEngine::takeOutput()
{
    Bytes out;
    out.swap(output_);
    if (!out.empty() && !bootLoader_)
        note("send " + hexBytes(out));
    return out;
}

} // namespace readersim
