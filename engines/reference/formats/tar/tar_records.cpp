#include "tar_records.h"

#include <algorithm>
#include <cstring>

namespace refengine {
namespace {

constexpr size_t kChecksumAt = 148, kChecksumLength = 8;
constexpr size_t kSizeAt = 124, kSizeLength = 12;
constexpr size_t kTypeAt = 156, kMagicAt = 257, kPrefixAt = 345;
constexpr size_t kModeAt = 100, kMtimeAt = 136;
constexpr size_t kSparseAt = 386, kHeaderRegions = 4, kSparseExtendedAt = 482, kRealSizeAt = 483;
constexpr size_t kExtensionRegions = 21, kExtensionContinuesAt = 504;
constexpr size_t kRegionFieldLength = 12;

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

// A number field as a writer fills it: a value in base-256, or octal
// digits ended by a space or NUL (an empty field parses as 0, but text
// rarely has digits and an end in every field).
bool HasNumber(const unsigned char* field, size_t length) {
    uint64_t value;
    if (!ParseNumber(field, length, value)) return false;
    if (field[0] & 0x80) return true;
    bool digit = false;
    for (size_t i = 0; i < length; ++i) {
        if (field[i] >= '0' && field[i] <= '7')
            digit = true;
        else if (digit)
            return true;
    }
    return false;
}

// Regions stored in count fields of offset and length, up to the first
// empty one; false when the map ends there.
bool AddRegions(const unsigned char* fields, size_t count, SparseMap& map) {
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* offset = fields + i * 2 * kRegionFieldLength;
        if (offset[0] == 0) return false;
        SparseRegion region;
        if (!ParseNumber(offset, kRegionFieldLength, region.offset) ||
            !ParseNumber(offset + kRegionFieldLength, kRegionFieldLength, region.size) ||
            map.regions.size() >= kMaxSparseRegions) {
            map.valid = false;
            return false;
        }
        map.regions.push_back(region);
    }
    return true;
}

bool ParseDecimal(const std::string& text, uint64_t& value) {
    value = 0;
    if (text.empty() || text.size() > 19) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
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
    if (IsZeroBlock(block)) return false;
    if (ParseTarHeader(block, header)) return true;
    uint64_t size;
    if (!ParseNumber(block + kSizeAt, kSizeLength, size)) return false;
    bool magic = std::memcmp(block + kMagicAt, "ustar\0", 6) == 0 || std::memcmp(block + kMagicAt, "ustar  \0", 8) == 0;
    if (magic) return true;
    for (size_t at : {kModeAt, kModeAt + 8, kModeAt + 16}) {
        if (!HasNumber(block + at, 8)) return false;
    }
    return block[0] != 0 && HasNumber(block + kSizeAt, kSizeLength) && HasNumber(block + kMtimeAt, 12) &&
           HasNumber(block + kChecksumAt, kChecksumLength);
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
    if (header.type == 'S') {
        header.sparseExtended =
            AddRegions(block + kSparseAt, kHeaderRegions, header.sparse) && block[kSparseExtendedAt] != 0;
        if (!ParseNumber(block + kRealSizeAt, kRegionFieldLength, header.sparse.realSize)) header.sparse.valid = false;
    }
    return true;
}

namespace {

// One GNU.sparse record; a value that is no number makes the map invalid.
void ApplySparseRecord(const std::string& key, const std::string& value, PaxRecords& records) {
    SparseMap& map = records.sparse;
    uint64_t number = 0;
    if (key == "major") {
        records.sparseMajor = ParseDecimal(value, number) && number < 16 ? static_cast<int>(number) : 99;
    } else if (key == "realsize" || key == "size") {
        if (!ParseDecimal(value, map.realSize)) map.valid = false;
    } else if (key == "offset") {
        if (!ParseDecimal(value, records.pendingOffset)) map.valid = false;
        records.sparseInRecords = true;
    } else if (key == "numbytes") {
        if (!ParseDecimal(value, number) || map.regions.size() >= kMaxSparseRegions) map.valid = false;
        if (map.valid) map.regions.push_back({records.pendingOffset, number});
        records.sparseInRecords = true;
    } else if (key == "map") {
        // "offset,length,offset,length..."
        records.sparseInRecords = true;
        std::vector<uint64_t> numbers;
        for (size_t at = 0; at <= value.size() && map.valid;) {
            size_t comma = std::min(value.find(',', at), value.size());
            if (!ParseDecimal(value.substr(at, comma - at), number) || numbers.size() >= 2 * kMaxSparseRegions)
                map.valid = false;
            numbers.push_back(number);
            at = comma + 1;
        }
        if (numbers.size() % 2) map.valid = false;
        for (size_t i = 0; map.valid && i + 1 < numbers.size(); i += 2)
            map.regions.push_back({numbers[i], numbers[i + 1]});
    }
}

}  // namespace

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
            if (!ParseDecimal(value, records.size)) return false;
            records.hasSize = true;
        } else if (key.compare(0, 11, "GNU.sparse.") == 0) {
            ApplySparseRecord(key.substr(11), value, records);
        }
        at += length;
    }
    return true;
}

bool ParseSparseExtension(const unsigned char (&block)[kTarBlock], SparseMap& map) {
    AddRegions(block, kExtensionRegions, map);
    return block[kExtensionContinuesAt] != 0;
}

size_t ParseSparseMapText(const std::string& text, SparseMap& map) {
    size_t at = 0;
    auto next = [&](uint64_t& value) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos || !ParseDecimal(text.substr(at, end - at), value)) return false;
        at = end + 1;
        return true;
    };
    uint64_t count;
    if (!next(count) || count > kMaxSparseRegions) return 0;
    for (uint64_t i = 0; i < count; ++i) {
        SparseRegion region;
        if (!next(region.offset) || !next(region.size)) return 0;
        map.regions.push_back(region);
    }
    return (at + kTarBlock - 1) / kTarBlock * kTarBlock;
}

}  // namespace refengine
