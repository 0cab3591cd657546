#include "virus_record.h"

#include <cstdlib>

namespace refengine {
namespace {

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    fields.reserve(5);
    for (size_t from = 0;;) {
        size_t colon = line.find(':', from);
        fields.emplace_back(line, from, colon == std::string::npos ? std::string::npos : colon - from);
        if (colon == std::string::npos) return fields;
        from = colon + 1;
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseDecimal(const std::string& text, uint64_t limit, uint64_t& value) {
    if (text.empty() || text.size() > 19) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value <= limit;
}

bool ValidName(const std::string& name) {
    if (name.empty() || name.size() > kMaxVirusNameLength) return false;
    for (unsigned char c : name) {
        if (c < 0x20) return false;
    }
    return true;
}

bool ParseGap(const std::string& hex, size_t& i, PatternGap& gap) {
    if (hex[i] == '*') {
        ++i;
        gap.unbounded = true;
        return true;
    }
    size_t close = hex.find('}', i);
    if (close == std::string::npos) return false;
    std::string inner = hex.substr(i + 1, close - i - 1);
    i = close + 1;
    size_t dash = inner.find('-');
    uint64_t low = 0, high = 0;
    if (dash == std::string::npos) {
        if (!ParseDecimal(inner, 0x7FFFFFFF, low)) return false;
        gap.min = gap.max = static_cast<uint32_t>(low);
        return true;
    }
    std::string left = inner.substr(0, dash), right = inner.substr(dash + 1);
    if (!left.empty() && !ParseDecimal(left, 0x7FFFFFFF, low)) return false;
    gap.min = static_cast<uint32_t>(low);
    if (right.empty()) {
        gap.unbounded = true;
        return true;
    }
    if (!ParseDecimal(right, 0x7FFFFFFF, high) || high < low) return false;
    gap.max = static_cast<uint32_t>(high);
    return true;
}

bool FinishPart(PatternPart& part) {
    if (part.bytes.empty() || part.bytes.size() > kMaxPartLength) return false;
    uint32_t run = 0;
    for (uint32_t k = 0; k < part.bytes.size(); ++k) {
        run = part.fixed[k] ? run + 1 : 0;
        if (run > part.anchorLength) {
            part.anchorLength = run;
            part.anchorStart = k + 1 - run;
        }
    }
    return part.anchorLength > 0;
}

bool ParsePattern(const std::string& hex, BodySignature& sig) {
    PatternPart part;
    part.bytes.reserve(hex.size() / 2);
    part.fixed.reserve(hex.size() / 2);
    size_t i = 0;
    while (i < hex.size()) {
        char c = hex[i];
        if (c == '*' || c == '{') {
            PatternGap gap;
            if (!FinishPart(part) || !ParseGap(hex, i, gap)) return false;
            sig.parts.push_back(std::move(part));
            sig.gaps.push_back(gap);
            part = PatternPart();
            part.bytes.reserve((hex.size() - i) / 2);
            part.fixed.reserve((hex.size() - i) / 2);
            continue;
        }
        if (i + 1 >= hex.size()) return false;
        if (c == '?' && hex[i + 1] == '?') {
            part.bytes.push_back(0);
            part.fixed.push_back(0);
        } else {
            int high = HexDigit(c), low = HexDigit(hex[i + 1]);
            if (high < 0 || low < 0) return false;
            part.bytes.push_back(static_cast<unsigned char>(high * 16 + low));
            part.fixed.push_back(1);
        }
        i += 2;
    }
    if (!FinishPart(part)) return false;
    sig.parts.push_back(std::move(part));
    return true;
}

bool ParseOffset(const std::string& text, BodySignature& sig) {
    uint64_t value = 0;
    if (text == "*") {
        sig.offsetKind = OffsetKind::Any;
        return true;
    }
    if (text.compare(0, 4, "EOF-") == 0) {
        if (!ParseDecimal(text.substr(4), 0xFFFFFFFFu, value)) return false;
        sig.offsetKind = OffsetKind::FromEnd;
    } else {
        if (!ParseDecimal(text, 0xFFFFFFFFu, value)) return false;
        sig.offsetKind = OffsetKind::FromStart;
    }
    sig.offset = static_cast<uint32_t>(value);
    return true;
}

bool IsMd5Text(const std::string& text) {
    if (text.size() != 32) return false;
    for (char c : text) {
        if (HexDigit(c) < 0) return false;
    }
    return true;
}

}  // namespace

// Flags: 'p' probably infected, 'm' modification of a known virus,
// 'c' curable (signature of a body appended to a host), 's<n>' objects of at
// most n bytes only.
bool ParseRecordFlags(const char* text, size_t length, bool allowCure, Verdict& verdict) {
    size_t i = 0;
    while (i < length) {
        char c = text[i++];
        if (c == 'p') {
            verdict.flags = (verdict.flags & ~0x1u) | 0x4u;
        } else if (c == 'm') {
            verdict.flags = (verdict.flags & ~0x1u) | 0x2u;
        } else if (c == 'c' && allowCure) {
            verdict.curable = true;
        } else if (c == 's') {
            size_t start = i;
            while (i < length && text[i] >= '0' && text[i] <= '9') ++i;
            uint64_t size = 0;
            if (!ParseDecimal(std::string(text + start, i - start), 0xFFFFFFFFu, size) || size == 0) return false;
            verdict.maxObjectSize = static_cast<uint32_t>(size);
        } else {
            return false;
        }
    }
    // One kind of find per record: probably infected and modification exclude each other.
    return (verdict.flags & 0x6u) != 0x6u;
}

LineKind ParseBaseLine(const std::string& rawLine, BodySignature& body, HashSignature& hash) {
    std::string line = rawLine;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') return LineKind::Blank;
    line.erase(0, first);

    std::vector<std::string> f = SplitFields(line);
    uint64_t number = 0;
    if ((f.size() == 3 || f.size() == 4) && IsMd5Text(f[0]) && ParseDecimal(f[1], ~0ull >> 1, number)) {
        hash = HashSignature();
        for (int k = 0; k < 16; ++k) {
            hash.md5[k] = static_cast<unsigned char>(HexDigit(f[0][2 * k]) * 16 + HexDigit(f[0][2 * k + 1]));
        }
        hash.size = number;
        hash.verdict.name = f[2];
        if (!ValidName(f[2])) return LineKind::Invalid;
        if (f.size() == 4 && !ParseRecordFlags(f[3].data(), f[3].size(), false, hash.verdict)) return LineKind::Invalid;
        return LineKind::Hash;
    }
    if (f.size() != 4 && f.size() != 5) return LineKind::Invalid;
    body = BodySignature();
    body.verdict.name = f[0];
    // Target 0 is "any object"; the engine knows no file types to narrow it.
    if (!ValidName(f[0]) || f[1] != "0" || !ParseOffset(f[2], body) || !ParsePattern(f[3], body))
        return LineKind::Invalid;
    if (f.size() == 5 && !ParseRecordFlags(f[4].data(), f[4].size(), true, body.verdict)) return LineKind::Invalid;
    return LineKind::Body;
}

}  // namespace refengine
