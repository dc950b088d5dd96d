#pragma once
// The byte pipe between the loader and one terminal. The loading protocol
// drives every exchange through ExecuteCommand (write one command, read one
// answer) and never knows which transport is behind it.

#include <cstdint>

// How the read of an answer may end sooner than its inter-byte time-out: an
// answer whose first byte is leadByte is complete once the line has been
// quiet for quietGap milliseconds; any other answer ends by the exchange's
// time-outs. quietGap 0 (the default) asks for no sooner end. A port that
// receives each answer whole ignores it.
struct KLAVAnswerEnd {
    uint8_t leadByte = 0;
    uint32_t quietGap = 0;
};

class KLAVDevicePort {
public:
    virtual ~KLAVDevicePort() {}

    // Sends command (commandLength bytes; 0 or less sends one 0x0D instead),
    // then reads one answer into response. *responseLength holds the
    // capacity on entry and the number of bytes received on return.
    // readIntervalTimeout bounds the gap between answer bytes once the first
    // has come, readTotalTimeout the whole read (milliseconds, 0 = no bound);
    // answerEnd may end a complete answer sooner. True: the command went out
    // and the read completed, possibly with 0 bytes. False: nothing usable
    // came back.
    virtual bool ExecuteCommand(const uint8_t *command, int32_t commandLength, uint8_t *response,
                                int32_t *responseLength, uint32_t readIntervalTimeout,
                                uint32_t readTotalTimeout,
                                const KLAVAnswerEnd &answerEnd = KLAVAnswerEnd()) = 0;

    // Ends the connection; true when it closed cleanly or was not open.
    virtual bool closePort() = 0;

    // Why the port could not be opened ("is in use by another program",
    // ...); null when it is open or the port cannot tell.
    virtual const char *openFailure() const { return nullptr; }

    // The time-outs the protocol passes back into ExecuteCommand.
    virtual uint32_t getReadTotalTimeout() { return 0; }
    virtual uint32_t getReadIntervalTimeout() { return 0; }
};
