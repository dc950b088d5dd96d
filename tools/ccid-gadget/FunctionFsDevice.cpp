#include "FunctionFsDevice.h"

#include <cerrno>
#include <cstring>
#include <endian.h>
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <poll.h>
#include <unistd.h>

namespace {

// CCID class requests (interface recipient).
constexpr uint8_t kRequestAbort = 0x01;
constexpr uint8_t kRequestClockFrequencies = 0x02;
constexpr uint8_t kRequestDataRates = 0x03;

void put16(std::vector<uint8_t> &out, uint16_t value)
{
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void put32(std::vector<uint8_t> &out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

// Interface, class descriptor and three endpoints at one speed.
void addSpeed(std::vector<uint8_t> &out, const std::vector<uint8_t> &classDescriptor,
              uint16_t bulkPacket, uint8_t interruptInterval)
{
    const uint8_t interface[] = {
        USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, 0, 0, 3, USB_CLASS_CSCID, 0, 0, 1};
    out.insert(out.end(), std::begin(interface), std::end(interface));
    out.insert(out.end(), classDescriptor.begin(), classDescriptor.end());
    auto endpoint = [&](uint8_t address, uint8_t attributes, uint16_t packet, uint8_t interval) {
        out.push_back(USB_DT_ENDPOINT_SIZE);
        out.push_back(USB_DT_ENDPOINT);
        out.push_back(address);
        out.push_back(attributes);
        put16(out, packet);
        out.push_back(interval);
    };
    endpoint(1 | USB_DIR_OUT, USB_ENDPOINT_XFER_BULK, bulkPacket, 0);
    endpoint(2 | USB_DIR_IN, USB_ENDPOINT_XFER_BULK, bulkPacket, 0);
    endpoint(3 | USB_DIR_IN, USB_ENDPOINT_XFER_INT, 8, interruptInterval);
}

bool readAll(int fd, uint8_t *data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, data + done, size - done);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        } else if (n < 0 && errno == ESHUTDOWN) {
            // The host took the function down: the caller starts over with
            // the next message.
            return false;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

FunctionFsDevice::~FunctionFsDevice()
{
    for (int fd : {interruptIn_, bulkIn_, bulkOut_, ep0_}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool FunctionFsDevice::open(const std::string &folder, const std::vector<uint8_t> &classDescriptor,
                            std::string &error)
{
    ep0_ = ::open((folder + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
    if (ep0_ < 0) {
        error = "cannot open " + folder + "/ep0: " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> descriptors;
    put32(descriptors, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    put32(descriptors, 0); // length, below
    put32(descriptors, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    put32(descriptors, 5); // descriptors at full speed
    put32(descriptors, 5); // and at high speed
    addSpeed(descriptors, classDescriptor, 64, 255);
    addSpeed(descriptors, classDescriptor, 512, 16);
    const uint32_t length = uint32_t(descriptors.size());
    std::memcpy(descriptors.data() + 4, &length, 4); // little-endian host

    std::vector<uint8_t> strings;
    const char interfaceName[] = "CCID";
    put32(strings, FUNCTIONFS_STRINGS_MAGIC);
    put32(strings, 0);
    put32(strings, 1); // one string
    put32(strings, 1); // in one language
    put16(strings, 0x0409);
    strings.insert(strings.end(), interfaceName, interfaceName + sizeof interfaceName);
    const uint32_t stringsLength = uint32_t(strings.size());
    std::memcpy(strings.data() + 4, &stringsLength, 4);

    if (::write(ep0_, descriptors.data(), descriptors.size()) != ssize_t(descriptors.size()) ||
        ::write(ep0_, strings.data(), strings.size()) != ssize_t(strings.size())) {
        error = std::string("FunctionFS refused the descriptors: ") + std::strerror(errno);
        return false;
    }
    bulkOut_ = ::open((folder + "/ep1").c_str(), O_RDWR | O_CLOEXEC);
    bulkIn_ = ::open((folder + "/ep2").c_str(), O_RDWR | O_CLOEXEC);
    interruptIn_ = ::open((folder + "/ep3").c_str(), O_RDWR | O_CLOEXEC);
    if (bulkOut_ < 0 || bulkIn_ < 0 || interruptIn_ < 0) {
        error = "cannot open the endpoint files in " + folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool FunctionFsDevice::serveControl(int stopFd, void (*note)(const std::string &))
{
    for (;;) {
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {ep0_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (fds[0].revents)
            return true;
        usb_functionfs_event events[8];
        ssize_t n = ::read(ep0_, events, sizeof events);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        for (ssize_t i = 0; i < n / ssize_t(sizeof events[0]); ++i) {
            const usb_functionfs_event &event = events[i];
            switch (event.type) {
            case FUNCTIONFS_BIND:
                note("bound to the controller");
                break;
            case FUNCTIONFS_UNBIND:
                note("unbound");
                break;
            case FUNCTIONFS_ENABLE:
                note("configured by the host");
                break;
            case FUNCTIONFS_DISABLE:
                note("deconfigured");
                break;
            case FUNCTIONFS_SETUP: {
                const usb_ctrlrequest &setup = event.u.setup;
                const uint16_t length = le16toh(setup.wLength);
                const bool in = (setup.bRequestType & USB_DIR_IN) != 0;
                const bool ours = (setup.bRequestType & USB_TYPE_MASK) == USB_TYPE_CLASS;
                std::vector<uint8_t> data;
                if (ours && setup.bRequest == kRequestClockFrequencies && in)
                    put32(data, 3580);
                else if (ours && setup.bRequest == kRequestDataRates && in)
                    put32(data, 9600);
                if (ours && setup.bRequest == kRequestAbort && !in) {
                    note("class request: abort");
                    uint8_t buffer[64];
                    ssize_t ignored = ::read(ep0_, buffer, length < sizeof buffer ? length : 0);
                    (void)ignored;
                } else if (!data.empty()) {
                    if (data.size() > length)
                        data.resize(length);
                    ssize_t ignored = ::write(ep0_, data.data(), data.size());
                    (void)ignored;
                } else {
                    note("control request refused: " + std::to_string(setup.bRequestType) + "/" +
                         std::to_string(setup.bRequest));
                    // A transfer the wrong way stalls the request.
                    ssize_t ignored = in ? ::read(ep0_, nullptr, 0) : ::write(ep0_, nullptr, 0);
                    (void)ignored;
                }
                break;
            }
            default:
                break;
            }
        }
    }
}

bool FunctionFsDevice::readMessage(std::vector<uint8_t> &message, size_t headerSize,
                                   uint32_t maxLength)
{
    // A read shorter than the packet that arrives fails the transfer
    // (overflow) and loses the packet. So the first read asks for one whole
    // high-speed packet, which ends with the packet (or fills it); the rest
    // is then asked for exactly, which ends whether or not its last packet
    // is short: the host sends no zero-length packet after a message that
    // fills its last one.
    constexpr size_t kFirstRead = 512;
    message.assign(kFirstRead, 0);
    ssize_t got;
    do {
        got = ::read(bulkOut_, message.data(), kFirstRead);
    } while (got < 0 && errno == EINTR);
    if (got < ssize_t(headerSize))
        return false;
    uint32_t length = 0;
    std::memcpy(&length, message.data() + 1, 4);
    length = le32toh(length);
    if (length > maxLength - headerSize)
        length = 0; // answered from the header alone
    const size_t whole = headerSize + length;
    if (size_t(got) >= whole) {
        message.resize(whole);
        return true;
    }
    message.resize(whole);
    return readAll(bulkOut_, message.data() + got, whole - size_t(got));
}

bool FunctionFsDevice::writeMessage(const std::vector<uint8_t> &message)
{
    size_t done = 0;
    while (done < message.size()) {
        ssize_t n = ::write(bulkIn_, message.data() + done, message.size() - done);
        if (n > 0)
            done += size_t(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return false;
    }
    return true;
}
