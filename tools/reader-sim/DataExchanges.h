#pragma once

#include "DataBehaviour.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace readersim {

// The reader's side of the data exchanges, fed byte by byte once the
// reader is awake:
//   '6' -> ACK; letter -> ACK, length (2 bytes LE); ACK -> the block;
//          ACK -> end (upload of the block held for the letter)
//   '5' -> ACK; letter -> ACK (NAK when not accepted); length (2 bytes LE)
//          -> ACK; the data -> written to the received file, then ACK
//   'T' -> ACK; test number -> ACK, status byte; ACK -> report length
//          (2 bytes LE); ACK -> the report (none when empty); ACK -> end
// Each answer is numbered from 1 within its exchange, for DataFault.
class DataExchanges {
public:
    using Bytes = std::vector<uint8_t>;
    using Journal = std::function<void(const std::string &line)>;

    DataExchanges(DataBehaviour behaviour, Journal journal);

    // Whether `byte` starts one of these exchanges.
    static bool isRequest(uint8_t byte);
    // Starts the exchange of request `byte`; the reader's answer.
    Bytes start(uint8_t request);
    // The next byte from the host in the running exchange; the answer.
    Bytes receive(uint8_t byte);
    bool active() const { return state_ != State::Idle; }
    // The host went away: whatever ran is dropped.
    void reset();

    static constexpr uint8_t kUploadRequest = '6';
    static constexpr uint8_t kDownloadRequest = '5';
    static constexpr uint8_t kTestRequest = 'T';

private:
    enum class State {
        Idle,
        UploadLetter,
        UploadLengthAck,
        UploadDataAck,
        DownloadLetter,
        DownloadLength,
        DownloadData,
        TestNumber,
        TestStatusAck,
        TestLengthAck,
        TestReportAck
    };

    // Answer number `step` of the exchange, as the fault plan has it.
    Bytes answer(Bytes normal);
    Bytes lengthAnswer(Bytes prefix, std::size_t length);
    Bytes dataAnswer(const Bytes &data);
    Bytes finishDownload();
    void end() { state_ = State::Idle; }
    void note(const std::string &line);

    DataBehaviour behaviour_;
    Journal journal_;
    State state_ = State::Idle;
    int step_ = 0;
    uint8_t letter_ = 0;
    Bytes lengthBytes_;
    std::size_t expected_ = 0;
    Bytes received_;
    const Bytes *upload_ = nullptr;
};

} // namespace readersim
