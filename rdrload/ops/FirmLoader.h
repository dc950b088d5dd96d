#pragma once

#include "BootRecordLink.h"
#include "ProgressReporter.h"
#include "link/SerialLink.h"

#include <cstddef>
#include <cstdint>

namespace rdrload {

// What FirmLoaderDL_ is given.
struct FirmLoaderRequest {
    const uint8_t *config = nullptr;
    int configLength = 0;
    const uint8_t *boot = nullptr;
    int bootLength = 0;
    const uint8_t *image = nullptr;
    int imageLength = 0;
    int port = 0;
    const uint8_t *productId = nullptr; // 32 bytes
    ProgressCallback callback = nullptr;
    uint32_t imageAddress = 0;
    uint32_t loadAddress = 0;
};

// Reflashes a reader through its boot loader, one run per object.
//
// Holds the reader in reset with RTS, selects boot mode with DTR, meets the
// boot loader at 9600 baud ('A' answered by ':'), initialises its registers
// and SDRAM with ten register records, sends the configuration file to the
// load address and launches it, then at 115200 baud sends the boot file to
// the load address, the image to the image address filled with 0xFF to
// 0x7FE0 and the 32-byte product identifier at 0x7FE0, commands the
// flashing, waits up to 30 s for its ACK, and releases boot mode and resets.
//
// Returns 0, 10 for a request that cannot be sent (before the port is
// opened: a file missing or of negative length, an image reaching into the
// identifier block, an image area or a file that would run past the top of
// the 32-bit address space), the link layer's result of the opening (1),
// read timeout (2), baud-rate change (1) or final acknowledgement (2, 6, 8,
// 18), or 6 when the boot loader does not answer 'A'.
//
// Failed records do not end the run and change nothing on the wire: a failed
// file record ends that file's transfer with the report "Send b-record
// failure...", and the flashing is still commanded. But when a file record
// or an identifier record failed, or the fill gave up (a failed fill record
// is sent again at the same address), the image the reader flashed is not
// the one asked for: after the flash ACK and the reset the run traces which ones
// failed ("FirmLoaderDL Failed records: boot file, fill\n"), reports
// "Send b-record failure..." instead of "Success" and returns 18. Register
// records and commands are not counted. Without a callback no reports are
// made.
class FirmLoader {
public:
    explicit FirmLoader(const FirmLoaderRequest &request);
    FirmLoader(const FirmLoader &) = delete;
    FirmLoader &operator=(const FirmLoader &) = delete;

    int run();

    // The image file and the fill end here, below the identifier block.
    static constexpr uint32_t kIdentifierOffset = 0x7FE0;
    static constexpr std::size_t kIdentifierLength = 32;
    // Fill records that fail one after the other before the fill gives up:
    // each failure leaves the address where it was.
    static constexpr int kFillFailureLimit = 32;
    // The image area: the image, the fill and the identifier block.
    static constexpr uint32_t kImageAreaLength = 0x8000;

private:
    // The parts whose records are counted for the result; one bit each.
    enum Part : unsigned {
        kConfigFile = 1u << 0,
        kBootFile = 1u << 1,
        kImageFile = 1u << 2,
        kFill = 1u << 3,
        kIdentifier = 1u << 4,
    };

    bool requestIsSendable() const;
    int openAndSynchronise();
    void resetIntoBootMode();
    void sendRegisters();
    void sendFile(const uint8_t *data, int length, std::size_t recordSize, const char *text,
                  Part part);
    void fillImageArea();
    void sendIdentifier();
    int finish();

    bool sendBulk(const uint8_t *data, std::size_t length, uint8_t flags = 0);
    bool sendCommand(bool echoMode);
    void countSent(uint32_t bytes);

    FirmLoaderRequest request_;
    ProgressReporter progress_;
    PortHandle handle_ = nullptr;
    BootRecordLink link_{handle_};
    // Where the next record goes; only a record that succeeds moves it on.
    uint32_t address_ = 0;
    // Parts with a failed record.
    unsigned failedParts_ = 0;
};

} // namespace rdrload
