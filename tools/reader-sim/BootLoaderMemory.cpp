#include "BootLoaderMemory.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace readersim {

namespace {

// Written beside its final name and renamed, so a reader of the file never
// sees half of it.
bool writeWhole(const std::string &path, const std::string &content)
{
    const std::string partial = path + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out)
            return false;
    }
    return std::rename(partial.c_str(), path.c_str()) == 0;
}

std::string asText(const Bytes &bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

BootLoaderMemory::BootLoaderMemory(uint32_t imageAddress) : imageAddress_(imageAddress)
{
    clear();
}

void BootLoaderMemory::clear()
{
    registers_.clear();
    config_.clear();
    boot_.clear();
    image_.assign(kImageAreaSize, 0x00);
    imageSource_.assign(kImageAreaSize, Source::None);
}

void BootLoaderMemory::writeRegister(uint32_t address, uint32_t value)
{
    registers_.emplace_back(address, value);
}

void BootLoaderMemory::writeConfig(uint32_t address, const Bytes &data)
{
    for (uint8_t byte : data)
        config_[address++] = byte;
}

bool BootLoaderMemory::inImageArea(uint32_t address) const
{
    return address - imageAddress_ < kImageAreaSize;
}

void BootLoaderMemory::writeProgram(uint32_t address, const Bytes &data, bool fill)
{
    for (uint8_t byte : data) {
        if (inImageArea(address)) {
            image_[address - imageAddress_] = byte;
            imageSource_[address - imageAddress_] = fill ? Source::Fill : Source::Data;
        } else {
            boot_[address] = byte;
        }
        ++address;
    }
}

Bytes BootLoaderMemory::imageArea() const
{
    return image_;
}

Bytes BootLoaderMemory::region(const std::map<uint32_t, uint8_t> &memory)
{
    if (memory.empty())
        return Bytes();
    const uint32_t first = memory.begin()->first;
    const std::size_t span = static_cast<std::size_t>(memory.rbegin()->first - first) + 1;
    Bytes bytes(std::min(span, kMaxRegionSize), 0x00);
    for (const auto &[address, byte] : memory) {
        if (address - first < bytes.size())
            bytes[address - first] = byte;
    }
    return bytes;
}

std::string BootLoaderMemory::imageAreaProblem() const
{
    char text[80];
    bool fillSeen = false;
    for (uint32_t offset = 0; offset < kImageAreaSize; ++offset) {
        const Source source = imageSource_[offset];
        const char *problem = nullptr;
        if (source == Source::None)
            problem = "not written";
        else if (offset >= kIdentifierOffset && source == Source::Fill)
            problem = "fill in the identifier block";
        else if (offset < kIdentifierOffset && fillSeen && source == Source::Data)
            problem = "image data after the fill";
        if (problem != nullptr) {
            std::snprintf(text, sizeof text, "%s at offset 0x%04X", problem,
                          static_cast<unsigned>(offset));
            return text;
        }
        fillSeen = fillSeen || source == Source::Fill;
    }
    return std::string();
}

bool BootLoaderMemory::writeFiles(const std::string &folder) const
{
    std::string registers;
    char line[20];
    for (const auto &[address, value] : registers_) {
        std::snprintf(line, sizeof line, "%08X %08X\n", static_cast<unsigned>(address),
                      static_cast<unsigned>(value));
        registers += line;
    }
    bool ok = writeWhole(folder + "/image.bin", asText(imageArea()));
    ok = writeWhole(folder + "/config.bin", asText(configRegion())) && ok;
    ok = writeWhole(folder + "/boot.bin", asText(bootRegion())) && ok;
    return writeWhole(folder + "/registers.txt", registers) && ok;
}

} // namespace readersim
