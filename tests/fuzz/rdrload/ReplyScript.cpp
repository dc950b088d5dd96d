#include "ReplyScript.h"

#include "FakePort.h"

#include "api/rdrload.h"

#include <algorithm>

namespace rdrload::testing {

void ReplyScript::onWrite(FakePort &port, const Bytes &)
{
    if (at_ >= size_)
        return;
    const std::size_t length = std::min<std::size_t>(data_[at_++], size_ - at_);
    if (length > 0)
        port.send(Bytes(data_ + at_, data_ + at_ + length));
    at_ += length;
}

int runOperation(int op, std::vector<unsigned char> &image, void (*progress)(void *))
{
    unsigned char *bytes = image.data();
    const auto length = static_cast<unsigned long>(image.size());
    const int size = static_cast<int>(image.size());
    std::vector<unsigned char> answer(4096);
    unsigned char productId[32] = {};
    switch (op) {
    case kOpApplication:
        return ApplicationDL_(bytes, length, kFuzzPort, 0, progress);
    case kOpApplicationSlow:
        return ApplicationDL_Lent_(bytes, length, kFuzzPort, 0, progress);
    case kOpFirmware:
        return FirmwareDL_(bytes, length, kFuzzPort, 0, progress);
    case kOpFirmLoader:
        return FirmLoaderDL_(bytes, size, bytes, size, bytes, size, kFuzzPort, productId, progress,
                             0x10000, 0x10000);
    case kOpUpdate:
        return ThirdPartyUpdate_(bytes, length, 0, kFuzzPort, 0, progress);
    case kOpPacket: {
        // The packet is the host's own file: well formed, both parts the image.
        std::vector<unsigned char> packet(26, 0);
        auto put = [&packet](std::size_t at, uint32_t value) {
            for (int i = 0; i < 4; ++i)
                packet[at + i] = static_cast<unsigned char>(value >> (8 * i));
        };
        put(2, 2), put(6, 24), put(10, length);
        put(14, 2), put(18, 24), put(22, length);
        packet.insert(packet.end(), image.begin(), image.end());
        return PacketDL_(packet.data(), kFuzzPort, progress);
    }
    case kOpUpload:
        return UploadData_(answer.data(), 'D', int(answer.size()), kFuzzPort, progress);
    case kOpDownload:
        return DownloadData_(bytes, size, 'D', kFuzzPort);
    case kOpReaderPid:
        return ReaderPID_(answer.data(), int(answer.size()), kFuzzPort, progress);
    case kOpReaderType:
        return ReaderType_(reinterpret_cast<char *>(answer.data()), int(answer.size()), kFuzzPort,
                           progress);
    default:
        return testMode_('1', answer.data(), int(answer.size()), kFuzzPort);
    }
}

} // namespace rdrload::testing
