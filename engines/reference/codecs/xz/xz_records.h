// The fixed records of a .xz file: stream header and footer, and the block
// header with its filter list, each parsed once into its struct.
#pragma once

#include <cstddef>
#include <cstdint>

namespace refengine {
namespace xz {

constexpr uint32_t kStreamHeaderSize = 12;
constexpr uint32_t kHeaderMagicSize = 6;
extern const unsigned char kHeaderMagic[kHeaderMagicSize];
constexpr uint32_t kStreamFooterSize = 12;
constexpr uint32_t kMaxFilters = 4;
constexpr uint64_t kUnknownSize = UINT64_MAX;
// Sizes and counts in .xz are below 2^63.
constexpr uint64_t kMaxValue = (uint64_t{1} << 63) - 1;

enum class ParseResult { Ok, Damaged, Unsupported };

enum FilterId : uint64_t {
    kFilterDelta = 0x03,
    kFilterX86 = 0x04,
    kFilterLzma2 = 0x21,
};

struct StreamHeader {
    unsigned char checkType = 0;
};

struct StreamFooter {
    uint64_t indexSize = 0;  // bytes, from the backward size
    unsigned char checkType = 0;
};

struct FilterFlags {
    uint64_t id = 0;
    uint32_t propertiesSize = 0;
    unsigned char properties[4] = {};  // what the filters we know carry; longer ones are not kept
};

struct BlockHeader {
    uint32_t size = 0;  // bytes of the header itself
    uint64_t compressedSize = kUnknownSize;
    uint64_t uncompressedSize = kUnknownSize;
    uint32_t filterCount = 0;
    FilterFlags filters[kMaxFilters];
};

// A variable-length integer from at most avail bytes: its length, or 0
// when it does not end there, is longer than nine bytes, or not minimal.
size_t ReadVarint(const unsigned char* bytes, size_t avail, uint64_t* value);

ParseResult ParseStreamHeader(const unsigned char* bytes, StreamHeader* out);
ParseResult ParseStreamFooter(const unsigned char* bytes, StreamFooter* out);
// bytes: the whole header, its first byte giving its size.
ParseResult ParseBlockHeader(const unsigned char* bytes, uint32_t size, BlockHeader* out);

// The bytes a block header of this first byte takes.
inline uint32_t BlockHeaderSize(unsigned char first) { return (static_cast<uint32_t>(first) + 1) * 4; }

uint32_t Crc32(const unsigned char* bytes, size_t count);
inline uint32_t ReadLe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace xz
}  // namespace refengine
