#include "compressed_records.h"

#include <cstring>

namespace refengine {
namespace {

const unsigned char kBzip2BlockMagic[6] = {0x31, 0x41, 0x59, 0x26, 0x53, 0x59};
const unsigned char kBzip2EndMagic[6] = {0x17, 0x72, 0x45, 0x38, 0x50, 0x90};

}  // namespace

bool ParseBzip2Head(const unsigned char* bytes, size_t count, Bzip2Head* head) {
    if (count < kBzip2HeadSize || std::memcmp(bytes, "BZh", 3) != 0) return false;
    head->level = bytes[3];
    head->empty = std::memcmp(bytes + 4, kBzip2EndMagic, 6) == 0;
    return head->empty || std::memcmp(bytes + 4, kBzip2BlockMagic, 6) == 0;
}

bool ParseLzmaFileHeader(const unsigned char* bytes, size_t count, LzmaFileHeader* header) {
    if (count < kLzmaHeaderSize) return false;
    header->properties = bytes[0];
    header->dictionarySize = 0;
    for (int i = 4; i >= 1; --i) header->dictionarySize = header->dictionarySize << 8 | bytes[i];
    header->size = 0;
    for (int i = 12; i >= 5; --i) header->size = header->size << 8 | bytes[i];
    return true;
}

bool PlausibleLzmaHeader(const LzmaFileHeader& header) {
    if (header.properties >= 9 * 5 * 5) return false;
    unsigned lc = header.properties % 9u, lp = header.properties / 9u % 5u;
    if (lc + lp > 4) return false;
    uint32_t d = header.dictionarySize;
    if (d < 4096) return false;
    // Clearing the top bit leaves nothing (2^n) or only the bit below it.
    uint32_t top = 1u << 31;
    while (!(d & top)) top >>= 1;
    uint32_t rest = d & ~top;
    if (rest != 0 && rest != top >> 1) return false;
    return header.size == kLzmaUnknownSize || header.size < (uint64_t{1} << 38);
}

}  // namespace refengine
