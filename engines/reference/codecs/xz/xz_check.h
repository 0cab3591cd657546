// The integrity check a .xz stream names in its flags, computed over a
// block's decoded bytes and compared with the one stored after it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/xz/crc64.h"
#include "codecs/xz/sha256.h"

namespace refengine {

class XzCheck {
public:
    static constexpr uint32_t kMaxSize = 64;

    // Bytes the check of this type takes in the stream (types 0 to 15).
    static uint32_t SizeOf(unsigned char type);
    // Types whose value we compute; the others are skipped unverified.
    static bool Known(unsigned char type);

    explicit XzCheck(unsigned char type) : type_(type) {}
    void Update(const unsigned char* bytes, size_t count);
    // stored: SizeOf(type) bytes. True for the types we cannot verify.
    bool Matches(const unsigned char* stored);

private:
    unsigned char type_;
    uint32_t crc32_ = 0;
    Crc64 crc64_;
    xz::Sha256 sha256_;
};

}  // namespace refengine
