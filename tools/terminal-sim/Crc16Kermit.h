#pragma once
// CRC-16/KERMIT (reflected 0x1021, initial 0, no final xor) that protects the
// initialisation and request frames; sent low byte first.

#include <cstddef>
#include <cstdint>
#include <vector>

uint16_t crc16Kermit(const uint8_t *data, size_t size);

// Appends the CRC of the bytes already in frame, low byte first.
void appendCrc16Kermit(std::vector<uint8_t> &frame);
