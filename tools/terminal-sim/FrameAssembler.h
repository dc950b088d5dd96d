#pragma once
// Cuts the byte stream of a serial line back into the host's commands. The
// frames of the loading protocol tell their own length (initialisation 9
// bytes, request from its size and entry fields, data from its length
// field, ending 3 bytes, a lone carriage return 1); anything else is a
// command once the line has gone quiet (the transport calls takeQuiet()).

#include <cstddef>
#include <cstdint>
#include <vector>

class FrameAssembler {
public:
    void append(const uint8_t *data, size_t size);

    // The next complete command, if the bytes so far hold one.
    bool takeComplete(std::vector<uint8_t> &command);
    // Everything still waiting, as one command: for a quiet line.
    bool takeQuiet(std::vector<uint8_t> &command);

    size_t pending() const { return buffer_.size(); }
    void clear() { buffer_.clear(); }

    // Length of the command that starts the buffer: 0 while more bytes are
    // needed to tell, kUnknownLength when only a quiet line ends it.
    static size_t commandLength(const uint8_t *data, size_t size);
    static constexpr size_t kUnknownLength = static_cast<size_t>(-1);

private:
    std::vector<uint8_t> buffer_;
};
