#include "mapi_names.h"

#include "formats/archive_reader.h"

namespace refengine {
namespace {

char SafeChar(uint32_t c) {
    if (c < 0x20 || c > 0x7E) return '_';
    switch (c) {
        case '/':
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return '_';
        default:
            return static_cast<char>(c);
    }
}

}  // namespace

std::string SafeNameFromUtf16(const unsigned char* bytes, size_t count) {
    std::string name;
    for (size_t i = 0; i + 1 < count && name.size() < kMaxMemberNameKept; i += 2) {
        uint32_t c = bytes[i] | bytes[i + 1] << 8;
        if (c == 0) break;
        // A surrogate pair is one character.
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < count) {
            uint32_t low = bytes[i + 2] | bytes[i + 3] << 8;
            if (low >= 0xDC00 && low < 0xE000) i += 2;
        }
        name += SafeChar(c);
    }
    return name;
}

std::string SafeNameFromAnsi(const unsigned char* bytes, size_t count) {
    std::string name;
    for (size_t i = 0; i < count && bytes[i] != 0 && name.size() < kMaxMemberNameKept; ++i) name += SafeChar(bytes[i]);
    return name;
}

}  // namespace refengine
