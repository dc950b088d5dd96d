#pragma once
// The byte pipe between the loader and one terminal. The loading protocol
// drives every exchange through ExecuteCommand (write one command, read one
// answer) and never knows which transport is behind it.

#include <cstdint>

class KLAVDevicePort {
public:
    virtual ~KLAVDevicePort() {}

    // Sends command (commandLength bytes; 0 or less sends one 0x0D instead),
    // then reads one answer into response. *responseLength holds the
    // capacity on entry and the number of bytes received on return.
    // readIntervalTimeout bounds the gap between answer bytes once the first
    // has come, readTotalTimeout the whole read (milliseconds, 0 = no bound).
    // True: the command went out and the read completed, possibly with 0
    // bytes. False: nothing usable came back.
    virtual bool ExecuteCommand(const uint8_t *command, int32_t commandLength, uint8_t *response,
                                int32_t *responseLength, uint32_t readIntervalTimeout,
                                uint32_t readTotalTimeout) = 0;

    // Ends the connection; true when it closed cleanly or was not open.
    virtual bool closePort() = 0;

    // Why the port could not be opened ("is in use by another program",
    // ...); null when it is open or the port cannot tell.
    virtual const char *openFailure() const { return nullptr; }

    // The time-outs the protocol passes back into ExecuteCommand.
    virtual uint32_t getReadTotalTimeout() { return 0; }
    virtual uint32_t getReadIntervalTimeout() { return 0; }
};
