#pragma once

#include "DownloadReader.h"
#include "FakeLinkEnvironment.h"
#include "ProgressLog.h"

#include <cstddef>
#include <vector>

namespace rdrload::testing {

// A download test's own link environment, as a fixture's base or one table
// row's local: COM3 of the fake serial service played by a DownloadReader
// (or a reader built on it), and the progress log started afresh. The
// reader's points and answers are set before the run.
template <class Reader = DownloadReader> struct ReaderOnCom3 {
    ReaderOnCom3()
    {
        port.setReader(&reader);
        ProgressLog::start();
    }
    ReaderOnCom3(const ReaderOnCom3 &) = delete;
    ReaderOnCom3 &operator=(const ReaderOnCom3 &) = delete;

    // For every one-byte read of the port: how many image bytes had been
    // written before it (the request byte and nothing else excluded).
    std::vector<std::size_t> imageBytesBeforeEachRead() const
    {
        std::vector<std::size_t> points;
        std::size_t written = 0;
        bool requestSeen = false;
        for (const PortEvent &event : port.events()) {
            if (event.kind == PortEvent::Kind::Write) {
                if (requestSeen)
                    written += event.data.size();
                requestSeen = true;
            } else if (event.kind == PortEvent::Kind::Read) {
                points.push_back(written);
            }
        }
        return points;
    }

    FakeLinkEnvironment env;
    FakePort &port = env.serial.port(3);
    Reader reader;
};

} // namespace rdrload::testing
