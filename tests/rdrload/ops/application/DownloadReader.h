#pragma once

#include "FakePort.h"
#include "ReaderScript.h"

#include <cstddef>
#include <map>
#include <vector>

namespace rdrload::testing {

// A scripted reader for application and firmware downloads on a fake port.
// It answers in turns: the double break (turn 0), the request byte (turn 1),
// then one turn for each entry of `ackPoints` (the count of image bytes
// after which it acknowledges; a point listed twice is answered twice), and
// last the signature. Every answer is ACK unless `answers` replaces it with
// another byte or with silence (kSilent). It knows no rule of its own about
// where acknowledgements fall: the tests give the points.
class DownloadReader : public ReaderScript {
public:
    static constexpr int kSilent = -1;

    std::vector<std::size_t> ackPoints;
    std::map<int, int> answers; // turn -> byte or kSilent
    // Bytes sent after the request's acknowledgement, one opening after
    // another (e.g. 'f' for a restart, then nothing).
    std::vector<int> afterRequest;
    // The first write after this many image bytes fails (or takes only 3
    // bytes); 0 is the first image write, -1 never.
    long failWriteAt = -1;
    long shortWriteAt = -1;

    // The image bytes received since the request, over all openings.
    const Bytes &image() const { return image_; }
    int requests() const { return requests_; }

    void onOpen(FakePort &) override;
    void onBreak(FakePort &port, bool on) override;
    void onWrite(FakePort &port, const Bytes &bytes) override;

private:
    void answer(FakePort &port, int turn);
    void armFaults(FakePort &port);

    int clearedBreaks_ = 0;
    bool requested_ = false;
    int requests_ = 0;
    std::size_t nextPoint_ = 0;
    Bytes image_;
};

} // namespace rdrload::testing
