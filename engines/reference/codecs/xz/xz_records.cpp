#include "codecs/xz/xz_records.h"

#include <zlib.h>

#include <cstring>

namespace refengine {
namespace xz {

const unsigned char kHeaderMagic[kHeaderMagicSize] = {0xFD, '7', 'z', 'X', 'Z', 0x00};

namespace {
const unsigned char kFooterMagic[2] = {'Y', 'Z'};

// Filter IDs from here on are for an encoder's own use, never in a file.
constexpr uint64_t kFirstReservedFilter = uint64_t{1} << 62;

// The two flag bytes: a zero, then the check type in the low four bits.
ParseResult ParseFlags(const unsigned char* flags, unsigned char* checkType) {
    if (flags[0] != 0 || (flags[1] & 0xF0) != 0) return ParseResult::Unsupported;
    *checkType = flags[1] & 0x0F;
    return ParseResult::Ok;
}

}  // namespace

uint32_t Crc32(const unsigned char* bytes, size_t count) {
    return static_cast<uint32_t>(crc32(0, bytes, static_cast<uInt>(count)));
}

size_t ReadVarint(const unsigned char* bytes, size_t avail, uint64_t* value) {
    uint64_t v = 0;
    for (size_t i = 0; i < avail && i < 9; ++i) {
        v |= static_cast<uint64_t>(bytes[i] & 0x7F) << (7 * i);
        if ((bytes[i] & 0x80) == 0) {
            // A trailing zero byte would make the encoding longer than needed.
            if (i > 0 && bytes[i] == 0) return 0;
            *value = v;
            return i + 1;
        }
    }
    return 0;
}

ParseResult ParseStreamHeader(const unsigned char* bytes, StreamHeader* out) {
    if (std::memcmp(bytes, kHeaderMagic, sizeof kHeaderMagic) != 0) return ParseResult::Damaged;
    if (Crc32(bytes + 6, 2) != ReadLe32(bytes + 8)) return ParseResult::Damaged;
    return ParseFlags(bytes + 6, &out->checkType);
}

ParseResult ParseStreamFooter(const unsigned char* bytes, StreamFooter* out) {
    if (std::memcmp(bytes + 10, kFooterMagic, sizeof kFooterMagic) != 0) return ParseResult::Damaged;
    if (Crc32(bytes + 4, 6) != ReadLe32(bytes)) return ParseResult::Damaged;
    out->indexSize = (uint64_t{ReadLe32(bytes + 4)} + 1) * 4;
    return ParseFlags(bytes + 8, &out->checkType);
}

ParseResult ParseBlockHeader(const unsigned char* bytes, uint32_t size, BlockHeader* out) {
    if (size < 8 || BlockHeaderSize(bytes[0]) != size) return ParseResult::Damaged;
    if (Crc32(bytes, size - 4) != ReadLe32(bytes + size - 4)) return ParseResult::Damaged;
    *out = BlockHeader();
    out->size = size;
    unsigned char flags = bytes[1];
    if (flags & 0x3C) return ParseResult::Unsupported;
    out->filterCount = (flags & 0x03) + 1u;
    const unsigned char* p = bytes + 2;
    const unsigned char* end = bytes + size - 4;
    auto read = [&](uint64_t* value) {
        size_t n = ReadVarint(p, static_cast<size_t>(end - p), value);
        p += n;
        return n != 0;
    };
    if (flags & 0x40) {
        if (!read(&out->compressedSize) || out->compressedSize == 0 || out->compressedSize > kMaxValue) {
            return ParseResult::Damaged;
        }
    }
    if (flags & 0x80) {
        if (!read(&out->uncompressedSize) || out->uncompressedSize > kMaxValue) return ParseResult::Damaged;
    }
    for (uint32_t i = 0; i < out->filterCount; ++i) {
        FilterFlags& filter = out->filters[i];
        uint64_t propertiesSize = 0;
        if (!read(&filter.id) || !read(&propertiesSize)) return ParseResult::Damaged;
        if (filter.id >= kFirstReservedFilter) return ParseResult::Unsupported;
        if (propertiesSize > static_cast<uint64_t>(end - p)) return ParseResult::Damaged;
        filter.propertiesSize = static_cast<uint32_t>(propertiesSize);
        std::memcpy(filter.properties, p, filter.propertiesSize < 4 ? filter.propertiesSize : 4);
        p += filter.propertiesSize;
    }
    // Header padding is zero; anything else would be a field we do not know.
    for (; p < end; ++p) {
        if (*p != 0) return ParseResult::Unsupported;
    }
    return ParseResult::Ok;
}

}  // namespace xz
}  // namespace refengine
