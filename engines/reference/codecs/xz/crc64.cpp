#include "codecs/xz/crc64.h"

namespace refengine {

namespace {

constexpr uint64_t kPolynomial = 0xC96C5795D7870F42ull;

// Four tables, so that the loop takes four bytes a step.
struct Tables {
    uint64_t t[4][256];
};

constexpr Tables MakeTables() {
    Tables tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint64_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        tables.t[0][i] = c;
    }
    for (int k = 1; k < 4; ++k) {
        for (uint32_t i = 0; i < 256; ++i) {
            tables.t[k][i] = (tables.t[k - 1][i] >> 8) ^ tables.t[0][tables.t[k - 1][i] & 0xFF];
        }
    }
    return tables;
}

constexpr Tables kTables = MakeTables();

}  // namespace

void Crc64::Update(const unsigned char* bytes, size_t count) {
    const auto& t = kTables.t;
    uint64_t c = crc_;
    while (count >= 4) {
        uint32_t word =
            static_cast<uint32_t>(c) ^ (static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                        static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
        c = (c >> 32) ^ t[3][word & 0xFF] ^ t[2][(word >> 8) & 0xFF] ^ t[1][(word >> 16) & 0xFF] ^ t[0][word >> 24];
        bytes += 4;
        count -= 4;
    }
    while (count-- > 0) c = t[0][(c ^ *bytes++) & 0xFF] ^ (c >> 8);
    crc_ = c;
}

}  // namespace refengine
