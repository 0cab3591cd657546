#include "tar_records.h"

#include <cstring>

namespace refengine {
namespace {

constexpr size_t kChecksumAt = 148, kChecksumLength = 8;
constexpr size_t kSizeAt = 124, kSizeLength = 12;
constexpr size_t kTypeAt = 156, kMagicAt = 257, kPrefixAt = 345;
constexpr size_t kSparseExtendedAt = 482, kExtensionContinuesAt = 504;

// An octal field as tar writers store it: optional spaces, digits, then a
// space or NUL; an empty field is 0. Large sizes use base-256 instead.
bool ParseNumber(const unsigned char* field, size_t length, uint64_t& value) {
    value = 0;
    if (field[0] & 0x80) {
        if (field[0] != 0x80) return false;  // negative, or too large for any object
        for (size_t i = 1; i < length; ++i) {
            if (value >> 56) return false;
            value = value << 8 | field[i];
        }
        return true;
    }
    size_t i = 0;
    while (i < length && field[i] == ' ') ++i;
    for (; i < length && field[i] >= '0' && field[i] <= '7'; ++i) value = value << 3 | (field[i] - '0');
    for (; i < length; ++i) {
        if (field[i] != ' ' && field[i] != 0) return false;
    }
    return true;
}

std::string Text(const unsigned char* field, size_t length) {
    const void* end = std::memchr(field, 0, length);
    size_t used = end ? static_cast<size_t>(static_cast<const unsigned char*>(end) - field) : length;
    return std::string(reinterpret_cast<const char*>(field), used);
}

bool ChecksumMatches(const unsigned char (&block)[kTarBlock]) {
    uint64_t stored;
    if (!ParseNumber(block + kChecksumAt, kChecksumLength, stored)) return false;
    // The field counts as spaces; old writers summed signed bytes.
    uint32_t unsignedSum = 8 * ' ';
    int32_t signedSum = 8 * ' ';
    for (size_t i = 0; i < kTarBlock; ++i) {
        if (i >= kChecksumAt && i < kChecksumAt + kChecksumLength) continue;
        unsignedSum += block[i];
        signedSum += static_cast<signed char>(block[i]);
    }
    return stored == unsignedSum || static_cast<int64_t>(stored) == signedSum;
}

}  // namespace

bool IsZeroBlock(const unsigned char (&block)[kTarBlock]) {
    for (unsigned char c : block) {
        if (c) return false;
    }
    return true;
}

bool LooksLikeTar(const unsigned char* head, size_t count) {
    if (count < kTarBlock) return false;
    unsigned char block[kTarBlock];
    std::memcpy(block, head, kTarBlock);
    TarHeader header;
    return !IsZeroBlock(block) && ParseTarHeader(block, header);
}

bool ParseTarHeader(const unsigned char (&block)[kTarBlock], TarHeader& header) {
    header = TarHeader();
    if (!ChecksumMatches(block) || !ParseNumber(block + kSizeAt, kSizeLength, header.size)) return false;
    header.type = static_cast<char>(block[kTypeAt]);
    header.name = Text(block, 100);
    // Only POSIX ustar puts a prefix there; GNU keeps other fields in it.
    if (std::memcmp(block + kMagicAt, "ustar\0", 6) == 0) {
        std::string prefix = Text(block + kPrefixAt, 155);
        if (!prefix.empty()) header.name = prefix + "/" + header.name;
    }
    header.sparseExtended = header.type == 'S' && block[kSparseExtendedAt] != 0;
    return true;
}

bool ParsePaxRecords(const std::string& data, PaxRecords& records) {
    for (size_t at = 0; at < data.size();) {
        // "LENGTH key=value\n", LENGTH counting the whole record.
        size_t space = data.find(' ', at);
        if (space == std::string::npos || space == at || space - at > 19) return false;
        uint64_t length = 0;
        for (size_t i = at; i < space; ++i) {
            if (data[i] < '0' || data[i] > '9') return false;
            length = length * 10 + static_cast<uint64_t>(data[i] - '0');
        }
        if (length <= space - at + 1 || length > data.size() - at || data[at + length - 1] != '\n') return false;
        std::string record = data.substr(space + 1, at + length - 1 - (space + 1));
        size_t equals = record.find('=');
        if (equals == std::string::npos) return false;
        std::string key = record.substr(0, equals), value = record.substr(equals + 1);
        if (key == "path" || key == "GNU.sparse.name") {
            records.path = value;
        } else if (key == "size") {
            uint64_t size = 0;
            if (value.empty() || value.size() > 19) return false;
            for (char c : value) {
                if (c < '0' || c > '9') return false;
                size = size * 10 + static_cast<uint64_t>(c - '0');
            }
            records.size = size;
            records.hasSize = true;
        }
        at += length;
    }
    return true;
}

bool SparseExtensionContinues(const unsigned char (&block)[kTarBlock]) { return block[kExtensionContinuesAt] != 0; }

}  // namespace refengine
