// CRC-64 with the ECMA-182 polynomial, reflected, as .xz checks use it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace refengine {

class Crc64 {
public:
    void Update(const unsigned char* bytes, size_t count);
    uint64_t value() const { return ~crc_; }

private:
    uint64_t crc_ = ~uint64_t{0};
};

}  // namespace refengine
