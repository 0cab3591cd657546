#include "clam_records.h"

#include <cstring>
#include <string>

namespace refengine {
namespace {

constexpr size_t kMaxFields = 8;

// Splits at ':'; the field count, or kMaxFields + 1 when there are more.
size_t SplitFields(const char* line, size_t length, TextSpan (&fields)[kMaxFields]) {
    size_t count = 0;
    size_t from = 0;
    for (;;) {
        const void* colon = std::memchr(line + from, ':', length - from);
        const size_t end = colon ? static_cast<size_t>(static_cast<const char*>(colon) - line) : length;
        if (count == kMaxFields) return kMaxFields + 1;
        fields[count++] = TextSpan{line + from, end - from};
        if (!colon) return count;
        from = end + 1;
    }
}

// Hex digit values, -1 for other characters: hashes are most of a large list's text.
struct HexTable {
    signed char value[256];
    constexpr HexTable() : value() {
        for (int c = 0; c < 256; ++c) {
            value[c] = c >= '0' && c <= '9'   ? static_cast<signed char>(c - '0')
                       : c >= 'a' && c <= 'f' ? static_cast<signed char>(c - 'a' + 10)
                       : c >= 'A' && c <= 'F' ? static_cast<signed char>(c - 'A' + 10)
                                              : -1;
        }
    }
};
constexpr HexTable kHex;

int HexValue(char c) { return kHex.value[static_cast<unsigned char>(c)]; }

bool Decimal(const TextSpan& field, uint64_t limit, uint64_t& value) {
    if (field.length == 0 || field.length > 19) return false;
    value = 0;
    for (size_t i = 0; i < field.length; ++i) {
        const char c = field.text[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value <= limit;
}

bool Is(const TextSpan& field, const char* text) {
    return field.length == std::strlen(text) && std::memcmp(field.text, text, field.length) == 0;
}

bool ValidName(const TextSpan& name) {
    if (name.length == 0 || name.length > kMaxVirusNameLength) return false;
    for (size_t i = 0; i < name.length; ++i) {
        if (static_cast<unsigned char>(name.text[i]) < 0x20) return false;
    }
    return true;
}

// The optional level fields from index first on: Damaged when one is no
// number, OtherLevel when the record is not for this level.
RecordStatus Levels(const TextSpan (&fields)[kMaxFields], size_t count, size_t first, uint64_t& minimum) {
    minimum = 0;
    if (count > first && !Decimal(fields[first], 0xFFFFFFFFu, minimum)) return RecordStatus::Damaged;
    uint64_t maximum = ~0ull;
    if (count > first + 1 && !Decimal(fields[first + 1], 0xFFFFFFFFu, maximum)) return RecordStatus::Damaged;
    if (minimum > kFunctionalityLevel || maximum < kFunctionalityLevel) return RecordStatus::OtherLevel;
    return RecordStatus::Accepted;
}

// Syntax of the open body format that the base format does not have:
// alternatives, nibbles, negations, anchored bytes, boundaries, and
// offsets from the entry point, from sections or with a shift range.
bool AllDigits(const char* text, size_t length) {
    if (length == 0) return false;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

bool UsesOtherSyntax(const TextSpan& offset, const TextSpan& hex) {
    const bool knownOffset = Is(offset, "*") || AllDigits(offset.text, offset.length) ||
                             (offset.length > 4 && std::memcmp(offset.text, "EOF-", 4) == 0 &&
                              AllDigits(offset.text + 4, offset.length - 4));
    if (!knownOffset) return true;
    for (size_t i = 0; i < hex.length; ++i) {
        const char c = hex.text[i];
        if (std::strchr("()|![]", c)) return true;
        if (c == '?' && (i + 1 >= hex.length || hex.text[i + 1] != '?')) return true;
        if (c == '?') ++i;
    }
    return false;
}

}  // namespace

bool TrimRecordLine(const char*& line, size_t& length) {
    while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == ' ' || line[length - 1] == '\t')) --length;
    while (length > 0 && (line[0] == ' ' || line[0] == '\t')) {
        ++line;
        --length;
    }
    return length > 0 && line[0] != '#';
}

RecordStatus ParseHashLine(const char* line, size_t length, HashLine& out) {
    if (!TrimRecordLine(line, length)) return RecordStatus::Blank;
    TextSpan f[kMaxFields];
    const size_t count = SplitFields(line, length, f);
    if (count < 3 || count > 5) return RecordStatus::Damaged;
    switch (f[0].length) {
        case 32:
            out.kind = HashKind::Md5;
            break;
        case 40:
            out.kind = HashKind::Sha1;
            break;
        case 64:
            out.kind = HashKind::Sha256;
            break;
        default:
            return RecordStatus::Damaged;
    }
    for (size_t k = 0; k < f[0].length / 2; ++k) {
        const int high = HexValue(f[0].text[2 * k]), low = HexValue(f[0].text[2 * k + 1]);
        if (high < 0 || low < 0) return RecordStatus::Damaged;
        out.digest[k] = static_cast<unsigned char>(high * 16 + low);
    }
    uint64_t size = 0;
    const bool anySize = Is(f[1], "*");
    if (!anySize && !Decimal(f[1], kAnySize - 1, size)) return RecordStatus::Damaged;
    out.size = anySize ? kAnySize : static_cast<uint32_t>(size);
    out.name = f[2];
    if (!ValidName(out.name)) return RecordStatus::Damaged;
    uint64_t minimum = 0;
    const RecordStatus levels = Levels(f, count, 3, minimum);
    if (levels == RecordStatus::Damaged) return levels;
    // A record for any size must say it needs the level that brought them.
    if (anySize && minimum < kAnySizeLevel) return RecordStatus::Damaged;
    return levels;
}

RecordStatus ParseBodyLine(const char* line, size_t length, BodySignature& out) {
    if (!TrimRecordLine(line, length)) return RecordStatus::Blank;
    TextSpan f[kMaxFields];
    const size_t count = SplitFields(line, length, f);
    if (count < 4 || count > 6) return RecordStatus::Damaged;
    uint64_t target = 0, minimum = 0;
    if (!ValidName(f[0]) || !Decimal(f[1], 0xFFFF, target) || f[2].length == 0 || f[3].length == 0)
        return RecordStatus::Damaged;
    const RecordStatus levels = Levels(f, count, 4, minimum);
    if (levels != RecordStatus::Accepted) return levels;
    // The engine knows no file types: records for one are not for it.
    if (target != 0) return RecordStatus::Unsupported;
    // The base format's own parser knows the offsets and pattern elements
    // both formats share; the rest of the body syntax is not for it.
    std::string record;
    record.reserve(length + 4);
    record.append(f[0].text, f[0].length).append(":0:");
    record.append(f[2].text, f[2].length).append(":").append(f[3].text, f[3].length);
    BodySignature body;
    HashSignature unused;
    if (ParseBaseLine(record, body, unused) != LineKind::Body)
        return UsesOtherSyntax(f[2], f[3]) ? RecordStatus::Unsupported : RecordStatus::Damaged;
    out = std::move(body);
    return RecordStatus::Accepted;
}

RecordStatus ParseIgnoreLine(const char* line, size_t length, TextSpan& name) {
    if (!TrimRecordLine(line, length)) return RecordStatus::Blank;
    TextSpan f[kMaxFields];
    const size_t count = SplitFields(line, length, f);
    if (count > 2 || !ValidName(f[0])) return RecordStatus::Damaged;
    name = f[0];
    return RecordStatus::Accepted;
}

RecordStatus ParseBaseHashLine(const char* line, size_t length, HashLine& out, Verdict& kind) {
    if (!TrimRecordLine(line, length)) return RecordStatus::Blank;
    TextSpan f[kMaxFields];
    const size_t count = SplitFields(line, length, f);
    uint64_t size = 0;
    if ((count != 3 && count != 4) || f[0].length != 32 || !Decimal(f[1], ~0ull >> 1, size))
        return RecordStatus::Unsupported;
    for (size_t k = 0; k < 16; ++k) {
        const int high = HexValue(f[0].text[2 * k]), low = HexValue(f[0].text[2 * k + 1]);
        if (high < 0 || low < 0) return RecordStatus::Unsupported;
        out.digest[k] = static_cast<unsigned char>(high * 16 + low);
    }
    out.kind = HashKind::Md5;
    // Objects are read through 32-bit lengths.
    if (size >= kAnySize) return RecordStatus::Damaged;
    out.size = static_cast<uint32_t>(size);
    out.name = f[2];
    kind = Verdict();
    if (!ValidName(out.name)) return RecordStatus::Damaged;
    if (count == 4 && !ParseRecordFlags(f[3].text, f[3].length, false, kind)) return RecordStatus::Damaged;
    return RecordStatus::Accepted;
}

}  // namespace refengine
