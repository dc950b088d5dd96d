#pragma once
// One USB interface written with FunctionFS: the CCID reader's interface
// descriptor with its class descriptor, a bulk OUT, a bulk IN and an
// interrupt IN endpoint, at full and high speed. The function must be
// mounted (mount -t functionfs NAME DIR) and listed in a configfs gadget;
// the gadget is bound to a controller once the descriptors are written.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FunctionFsDevice {
public:
    FunctionFsDevice() = default;
    ~FunctionFsDevice();
    FunctionFsDevice(const FunctionFsDevice &) = delete;
    FunctionFsDevice &operator=(const FunctionFsDevice &) = delete;

    // Writes the descriptors and strings to DIR/ep0 and opens the endpoint
    // files. False with a reason.
    bool open(const std::string &folder, const std::vector<uint8_t> &classDescriptor,
              std::string &error);

    // Handles control events until stopFd is readable: answers the CCID
    // class requests (abort, clock frequencies, data rates) and refuses the
    // others. Returns false when ep0 failed.
    bool serveControl(int stopFd, void (*note)(const std::string &));

    // One whole message from the bulk OUT endpoint: kHeaderSize bytes, then
    // the dwLength they announce. False when the endpoint failed.
    bool readMessage(std::vector<uint8_t> &message, size_t headerSize, uint32_t maxLength);
    bool writeMessage(const std::vector<uint8_t> &message);

private:
    int ep0_ = -1;
    int bulkOut_ = -1;
    int bulkIn_ = -1;
    int interruptIn_ = -1;
};
