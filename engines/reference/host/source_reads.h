// Little-endian fields and exact reads from a ByteSource: what every
// archive format's record parser uses.
#pragma once

#include <cstdint>

#include "host_io.h"

namespace refengine {

inline uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Get32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t Get64(const unsigned char* p) { return Get32(p) | uint64_t(Get32(p + 4)) << 32; }

// 1: all count bytes read; 0: the source ends first; -1: a read failure.
inline int32_t ReadFully(ByteSource& source, uint64_t offset, unsigned char* buffer, uint32_t count) {
    int32_t got = source.ReadAt(offset, buffer, count);
    if (got == -1) return -1;
    return got == static_cast<int32_t>(count) ? 1 : 0;
}

inline bool HasSignature(ByteSource& source, uint64_t offset, uint32_t signature) {
    unsigned char bytes[4];
    return ReadFully(source, offset, bytes, 4) == 1 && Get32(bytes) == signature;
}

}  // namespace refengine
