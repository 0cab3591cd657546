// The CRC-32 bzip2 keeps per block and for the whole stream: polynomial
// 0x04C11DB7 taken from the top bit down, unlike the reflected one of ZIP.
#pragma once

#include <cstdint>

namespace refengine {

struct Bzip2CrcTable {
    uint32_t entry[256];
};

constexpr Bzip2CrcTable MakeBzip2CrcTable() {
    Bzip2CrcTable t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i << 24;
        for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
        t.entry[i] = c;
    }
    return t;
}

inline constexpr Bzip2CrcTable kBzip2Crc = MakeBzip2CrcTable();

inline uint32_t Bzip2CrcByte(uint32_t crc, unsigned char byte) {
    return (crc << 8) ^ kBzip2Crc.entry[(crc >> 24) ^ byte];
}

// The stream's CRC folds in each block's in turn.
inline uint32_t Bzip2CombineCrc(uint32_t combined, uint32_t block) {
    return ((combined << 1) | (combined >> 31)) ^ block;
}

}  // namespace refengine
