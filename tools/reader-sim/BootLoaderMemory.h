#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace readersim {

using Bytes = std::vector<uint8_t>;

// What the simulated boot loader and the program it launches were given:
// the register writes, the configuration region (data received by the boot
// loader), and, from the launched program, the 32 KB image area and the boot
// region (its data outside the image area).
//
// Regions are returned from their lowest written address to their highest;
// bytes never written read 0x00, so that a missing record or fill shows in a
// byte-for-byte comparison instead of passing for erased flash. A region is
// cut at 16 MB, so that stray addresses far apart cannot exhaust memory.
class BootLoaderMemory {
public:
    static constexpr uint32_t kImageAreaSize = 0x8000;
    static constexpr uint32_t kIdentifierOffset = 0x7FE0;
    static constexpr std::size_t kMaxRegionSize = 16u << 20;

    explicit BootLoaderMemory(uint32_t imageAddress);

    void clear();
    void writeRegister(uint32_t address, uint32_t value);
    void writeConfig(uint32_t address, const Bytes &data);
    // `fill`: a one-byte 0xFF record that completes the image area.
    void writeProgram(uint32_t address, const Bytes &data, bool fill);
    bool inImageArea(uint32_t address) const;

    const std::vector<std::pair<uint32_t, uint32_t>> &registerWrites() const { return registers_; }
    Bytes configRegion() const { return region(config_); }
    Bytes bootRegion() const { return region(boot_); }
    Bytes imageArea() const;

    // Why the image area cannot be flashed, empty when it can: every byte
    // written, image data first then only fill up to 0x7FE0, and the
    // identifier block at 0x7FE0 written by data records.
    std::string imageAreaProblem() const;

    // Writes image.bin, config.bin, boot.bin and registers.txt ("AAAAAAAA
    // VVVVVVVV" lines) into `folder`, each file complete or not at all.
    bool writeFiles(const std::string &folder) const;

private:
    enum class Source : uint8_t { None, Data, Fill };

    static Bytes region(const std::map<uint32_t, uint8_t> &memory);

    uint32_t imageAddress_;
    std::vector<std::pair<uint32_t, uint32_t>> registers_;
    std::map<uint32_t, uint8_t> config_;
    std::map<uint32_t, uint8_t> boot_;
    Bytes image_;
    std::vector<Source> imageSource_;
};

} // namespace readersim
