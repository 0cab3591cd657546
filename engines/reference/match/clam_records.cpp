#include "clam_records.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "object_type.h"

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

// bytes digits pairs into out; false when a character is no hex digit.
// Checked once at the end: the digits of a large list are nearly all valid.
bool DecodeHex(const char* text, size_t bytes, unsigned char* out) {
    int invalid = 0;
    for (size_t k = 0; k < bytes; ++k) {
        const int high = HexValue(text[2 * k]), low = HexValue(text[2 * k + 1]);
        invalid |= high | low;
        out[k] = static_cast<unsigned char>(static_cast<unsigned>(high) << 4 | (static_cast<unsigned>(low) & 15u));
    }
    return invalid >= 0;
}

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
    // The lowest byte, without an early exit, so that the loop vectorises.
    unsigned char lowest = 0xFF;
    for (size_t i = 0; i < name.length; ++i) lowest = std::min(lowest, static_cast<unsigned char>(name.text[i]));
    return lowest >= 0x20;
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

bool AllDigits(const std::string& text) {
    return !text.empty() && text.size() <= 10 && text.find_first_not_of("0123456789") == std::string::npos;
}

uint32_t Number(const std::string& digits) { return static_cast<uint32_t>(std::strtoull(digits.c_str(), nullptr, 10)); }

bool Prefixed(const std::string& text, const char* prefix, std::string& rest) {
    const size_t n = std::strlen(prefix);
    if (text.compare(0, n, prefix) != 0) return false;
    rest = text.substr(n);
    return true;
}

// The offset field: "*", "n", "EOF-n", and for PE records "EP+n", "EP-n",
// "Sx+n", "SEx", "SL+n", each but "*" with an optional ",m" shift.
PatternStatus ParseOffset(const TextSpan& field, uint64_t target, BodySignature& sig) {
    std::string text(field.text, field.length), rest;
    if (text == "*") {
        sig.offsetKind = OffsetKind::Any;
        return PatternStatus::Parsed;
    }
    const size_t comma = text.find(',');
    if (comma != std::string::npos) {
        const std::string shift = text.substr(comma + 1);
        if (!AllDigits(shift) || std::strtoull(shift.c_str(), nullptr, 10) > 0xFFFFFFFFull)
            return PatternStatus::Damaged;
        sig.shift = Number(shift);
        text.resize(comma);
    }
    bool pe = true;
    std::string number;
    if (AllDigits(text)) {
        sig.offsetKind = OffsetKind::FromStart;
        number = text;
        pe = false;
    } else if (Prefixed(text, "EOF-", number)) {
        sig.offsetKind = OffsetKind::FromEnd;
        pe = false;
    } else if (Prefixed(text, "EP+", number) || Prefixed(text, "EP-", number)) {
        sig.offsetKind = OffsetKind::EntryPoint;
        sig.backward = text[2] == '-';
    } else if (Prefixed(text, "SL+", number)) {
        sig.offsetKind = OffsetKind::LastSection;
    } else if (Prefixed(text, "SE", rest)) {
        if (!AllDigits(rest)) return PatternStatus::Damaged;
        sig.offsetKind = OffsetKind::InSection;
        sig.section = Number(rest);
        number = "0";
    } else if (Prefixed(text, "S", rest) && rest.find('+') != std::string::npos) {
        const std::string section = rest.substr(0, rest.find('+'));
        if (!AllDigits(section)) return PatternStatus::Damaged;
        sig.offsetKind = OffsetKind::SectionStart;
        sig.section = Number(section);
        number = rest.substr(rest.find('+') + 1);
    } else if (text.compare(0, 2, "VI") == 0 || text.compare(0, 1, "$") == 0) {
        // Version-information and macro offsets.
        return PatternStatus::Unsupported;
    } else {
        return PatternStatus::Damaged;
    }
    if (!AllDigits(number) || std::strtoull(number.c_str(), nullptr, 10) > 0xFFFFFFFFull) return PatternStatus::Damaged;
    sig.offset = Number(number);
    // Entry-point and section offsets are for executables only; of those
    // the matcher reads PE images.
    if (pe && target != static_cast<uint64_t>(ObjectType::Pe))
        return target == 6 || target == 9 ? PatternStatus::Unsupported : PatternStatus::Damaged;
    return PatternStatus::Parsed;
}

// A record with alternatives of several bytes is matched as one record per
// choice, up to this many.
constexpr size_t kMaxVariants = 64;

bool IsBoundary(const std::string& text, size_t i) {
    return text.compare(i, 3, "(B)") == 0 || text.compare(i, 3, "(L)") == 0;
}

// The group "(..)" from open to close holds an alternative of several bytes.
bool SeveralBytes(const std::string& text, size_t open, size_t close) {
    if (close - open == 2 && (text[open + 1] == 'B' || text[open + 1] == 'L')) return false;
    for (size_t from = open + 1;;) {
        size_t bar = text.find('|', from);
        if (bar == std::string::npos || bar > close) bar = close;
        if (bar - from != 2) return true;
        if (bar == close) return false;
        from = bar + 1;
    }
}

// The element at i, if any, starts another part: the pattern ends there or
// a gap begins (a short fixed gap joins the parts beside it).
bool PartEndsAt(const std::string& text, size_t i) {
    return i == text.size() || text[i] == '*' || text[i] == '[' || (text[i] == '{' && !IsSmallFixedGap(text, i));
}

// Boundaries clamscan refuses or that the matcher does not take: negated,
// beside an anchored gap or beside an alternative of several bytes, and
// two or more ending a part (clamscan lets the one that takes a byte take
// the object's end instead).
bool BoundariesFit(const std::string& text) {
    for (size_t i = text.find("(B)"), j = text.find("(L)"); i != std::string::npos || j != std::string::npos;) {
        const size_t at = std::min(i, j);
        if (at > 0 && (text[at - 1] == '!' || text[at - 1] == ']')) return false;
        if (at > 0 && text[at - 1] == ')') {
            const size_t open = text.rfind('(', at - 1);
            if (open != std::string::npos && SeveralBytes(text, open, at - 1)) return false;
        }
        size_t next = at + 3;
        if (IsBoundary(text, next) && PartEndsAt(text, next + 3)) return false;
        if (next < text.size() && text[next] == '!') ++next;
        if (next < text.size() && text[next] == '[') return false;
        if (next < text.size() && text[next] == '(') {
            const size_t close = text.find(')', next);
            if (close != std::string::npos && SeveralBytes(text, next, close)) return false;
        }
        if (at == i) i = text.find("(B)", i + 1);
        if (at == j) j = text.find("(L)", j + 1);
    }
    return true;
}

// A line boundary between two elements of a part takes LF or CR LF; at a
// part's start or end it only checks the bytes beside the part (as the
// pattern parser places it: a short fixed gap joins the parts beside it).
bool TakesBytes(const std::string& text, size_t open) {
    const size_t after = open + 3;
    bool first = open == 0 || text[open - 1] == '*';
    if (open > 0 && text[open - 1] == '}') {
        const size_t brace = text.rfind('{', open - 1);
        first = brace == std::string::npos || !IsSmallFixedGap(text, brace);
    }
    return !first && !PartEndsAt(text, after);
}

// The pattern texts with each alternative of several bytes replaced by
// one of its choices; alternatives of single bytes stay for the parser.
PatternStatus ExpandAlternatives(const std::string& hex, std::vector<std::string>& out) {
    if (!BoundariesFit(hex)) return PatternStatus::Unsupported;
    out.assign(1, hex);
    for (size_t v = 0; v < out.size();) {
        const std::string text = out[v];
        size_t open = std::string::npos, close = 0;
        std::vector<std::string> choices;
        for (size_t i = text.find('('); i != std::string::npos; i = text.find('(', close)) {
            close = text.find(')', i);
            if (close == std::string::npos) return PatternStatus::Damaged;
            if (IsBoundary(text, i)) {
                if (text[i + 1] == 'B' || !TakesBytes(text, i)) continue;
                choices = {"0a", "0d0a"};
                open = i;
                break;
            }
            const std::string inner = text.substr(i + 1, close - i - 1);
            choices.clear();
            bool single = true;
            for (size_t from = 0;;) {
                size_t bar = inner.find('|', from);
                if (bar == std::string::npos) bar = inner.size();
                choices.push_back(inner.substr(from, bar - from));
                single = single && bar - from == 2;
                if (bar == inner.size()) break;
                from = bar + 1;
            }
            if (single) continue;
            if (i > 0 && text[i - 1] == '!') return PatternStatus::Unsupported;
            for (const std::string& c : choices) {
                if (c.empty() || c.size() % 2 || c.find_first_not_of("0123456789abcdefABCDEF?") != std::string::npos)
                    return c.empty() ? PatternStatus::Damaged : PatternStatus::Unsupported;
            }
            open = i;
            break;
        }
        if (open == std::string::npos) {
            ++v;
            continue;
        }
        if (out.size() - 1 + choices.size() > kMaxVariants) return PatternStatus::Unsupported;
        out.erase(out.begin() + static_cast<ptrdiff_t>(v));
        for (const std::string& c : choices) out.push_back(text.substr(0, open) + c + text.substr(close + 1));
    }
    return PatternStatus::Parsed;
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

namespace {

// The fields of a hash line, its hash and size at the places given.
RecordStatus HashFields(TextSpan (&f)[kMaxFields], size_t count, size_t hashAt, HashLine& out) {
    if (count < 3 || count > 5) return RecordStatus::Damaged;
    const TextSpan hash = f[hashAt], sizeField = f[1 - hashAt];
    f[0] = hash;
    f[1] = sizeField;
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
    if (!DecodeHex(f[0].text, f[0].length / 2, out.digest)) return RecordStatus::Damaged;
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

}  // namespace

RecordStatus ParseHashLine(const char* line, size_t length, HashLine& out) {
    if (!TrimRecordLine(line, length)) return RecordStatus::Blank;
    TextSpan f[kMaxFields];
    return HashFields(f, SplitFields(line, length, f), 0, out);
}

RecordStatus ParseSectionHashLine(const char* line, size_t length, HashLine& out) {
    if (!TrimRecordLine(line, length)) return RecordStatus::Blank;
    TextSpan f[kMaxFields];
    return HashFields(f, SplitFields(line, length, f), 1, out);
}

RecordStatus ParseBodyLine(const char* line, size_t length, std::vector<BodySignature>& out) {
    out.clear();
    if (!TrimRecordLine(line, length)) return RecordStatus::Blank;
    TextSpan f[kMaxFields];
    const size_t count = SplitFields(line, length, f);
    if (count < 4 || count > 6) return RecordStatus::Damaged;
    uint64_t target = 0, minimum = 0;
    if (!ValidName(f[0]) || !Decimal(f[1], 0xFFFF, target) || f[2].length == 0 || f[3].length == 0)
        return RecordStatus::Damaged;
    const RecordStatus levels = Levels(f, count, 4, minimum);
    if (levels != RecordStatus::Accepted) return levels;
    BodySignature shape;
    shape.verdict.name.assign(f[0].text, f[0].length);
    shape.target = static_cast<uint8_t>(target);
    const PatternStatus offset = ParseOffset(f[2], target, shape);
    if (offset != PatternStatus::Parsed)
        return offset == PatternStatus::Damaged ? RecordStatus::Damaged : RecordStatus::Unsupported;
    // Normalised HTML and text, and the types the matcher does not tell apart.
    if (!KnownTarget(static_cast<uint32_t>(target))) return RecordStatus::Unsupported;
    std::vector<std::string> variants;
    PatternStatus status = ExpandAlternatives(std::string(f[3].text, f[3].length), variants);
    for (size_t v = 0; v < variants.size() && status == PatternStatus::Parsed; ++v) {
        BodySignature body = shape;
        status = ParsePattern(variants[v].data(), variants[v].size(), PatternSyntax::Open, body);
        out.push_back(std::move(body));
    }
    if (status == PatternStatus::Parsed) return RecordStatus::Accepted;
    out.clear();
    return status == PatternStatus::Damaged ? RecordStatus::Damaged : RecordStatus::Unsupported;
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
