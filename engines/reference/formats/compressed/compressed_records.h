// The heads of the single-stream compressed formats, each parsed once into
// its struct: what tells the format from other bytes, and what its reader
// checks before it decodes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace refengine {

// "BZh", the block size digit, then the first block's magic or, for an
// empty stream, the end-of-stream magic.
constexpr size_t kBzip2HeadSize = 10;
struct Bzip2Head {
    unsigned char level = 0;  // the digit as stored: '1' to '9' when sound
    bool empty = false;       // the end-of-stream magic follows the header
};
// False when the bytes are no bzip2 stream's (the digit is not checked).
bool ParseBzip2Head(const unsigned char* bytes, size_t count, Bzip2Head* head);

// The 13 bytes of a .lzma file: properties, dictionary size, decoded size
// (all ones: up to the end marker).
constexpr size_t kLzmaHeaderSize = 13;
constexpr uint64_t kLzmaUnknownSize = UINT64_MAX;
struct LzmaFileHeader {
    unsigned char properties = 0;
    uint32_t dictionarySize = 0;
    uint64_t size = kLzmaUnknownSize;
};
bool ParseLzmaFileHeader(const unsigned char* bytes, size_t count, LzmaFileHeader* header);
// A header as encoders write it and xz accepts it without being told the
// format: lc + lp at most 4, a dictionary of 4 KiB or more that is 2^n or
// 2^n + 2^(n-1), a size below 2^38 or unknown. The format has no magic:
// anything looser takes ordinary files for .lzma.
bool PlausibleLzmaHeader(const LzmaFileHeader& header);

}  // namespace refengine
