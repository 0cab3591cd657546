#include "codecs/xz/xz_check.h"

#include <zlib.h>

#include <cstring>

namespace refengine {

namespace {

enum : unsigned char { kNone = 0x00, kCrc32 = 0x01, kCrc64 = 0x04, kSha256 = 0x0A };

}  // namespace

uint32_t XzCheck::SizeOf(unsigned char type) {
    // Sizes grow in steps of three types: 0, then 4, 8, 16, 32, 64 bytes.
    if (type == 0) return 0;
    return 4u << ((type - 1) / 3);
}

bool XzCheck::Known(unsigned char type) { return type == kNone || type == kCrc32 || type == kCrc64 || type == kSha256; }

void XzCheck::Update(const unsigned char* bytes, size_t count) {
    switch (type_) {
        case kCrc32:
            // zlib takes the length as uInt; feed it in pieces that fit.
            while (count > 0) {
                uInt n = count > (1u << 30) ? (1u << 30) : static_cast<uInt>(count);
                crc32_ = static_cast<uint32_t>(crc32(crc32_, bytes, n));
                bytes += n;
                count -= n;
            }
            break;
        case kCrc64:
            crc64_.Update(bytes, count);
            break;
        case kSha256:
            sha256_.Update(bytes, count);
            break;
        default:
            break;
    }
}

bool XzCheck::Matches(const unsigned char* stored) {
    unsigned char value[xz::Sha256::kDigestSize];
    switch (type_) {
        case kCrc32:
            for (int i = 0; i < 4; ++i) value[i] = static_cast<unsigned char>(crc32_ >> (8 * i));
            return std::memcmp(value, stored, 4) == 0;
        case kCrc64: {
            uint64_t crc = crc64_.value();
            for (int i = 0; i < 8; ++i) value[i] = static_cast<unsigned char>(crc >> (8 * i));
            return std::memcmp(value, stored, 8) == 0;
        }
        case kSha256:
            sha256_.Final(value);
            return std::memcmp(value, stored, xz::Sha256::kDigestSize) == 0;
        default:
            return true;
    }
}

}  // namespace refengine
