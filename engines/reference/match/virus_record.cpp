#include "virus_record.h"

#include <cstdlib>
#include <cstring>

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

// The bytes clamscan takes as ending a word before a pattern and after it
// (measured byte by byte against it; no control or high byte is one, not
// even a line break before a word). Inside a pattern a word boundary is one
// byte of either set.
constexpr char kWordBefore[] = " -./<@_";
constexpr char kWordAfter[] = "\n\r \"'-/=>_";

bool InSet(const char* set, unsigned char b) { return b != 0 && std::strchr(set, b) != nullptr; }

// "(B)" or "(L)" at i.
Boundary BoundaryAt(const std::string& hex, size_t i) {
    if (hex.compare(i, 3, "(B)") == 0) return Boundary::Word;
    if (hex.compare(i, 3, "(L)") == 0) return Boundary::Line;
    return Boundary::None;
}

// Sets the part's anchor: its longest run of fixed bytes.
void FindAnchor(PatternPart& part) {
    uint32_t run = 0;
    for (uint32_t k = 0; k < part.bytes.size(); ++k) {
        run = part.mask[k] == 0xFF ? run + 1 : 0;
        if (run > part.anchorLength) {
            part.anchorLength = run;
            part.anchorStart = k + 1 - run;
        }
    }
}

// "(aa|bb|..)" or "!(aa|bb|..)" at i: a class of single bytes.
PatternStatus ParseClass(const std::string& hex, size_t& i, PatternPart& part) {
    ByteClass cls;
    cls.negated = hex[i] == '!';
    const size_t open = i + (cls.negated ? 1 : 0);
    const size_t close = hex.find(')', open);
    if (open >= hex.size() || hex[open] != '(' || close == std::string::npos) return PatternStatus::Damaged;
    const std::string inner = hex.substr(open + 1, close - open - 1);
    // Negated boundaries, and alternatives of several bytes, are not for the matcher.
    if (inner == "B" || inner == "L") return PatternStatus::Unsupported;
    for (size_t from = 0;;) {
        size_t bar = inner.find('|', from);
        if (bar == std::string::npos) bar = inner.size();
        if (bar - from != 2) return bar == from ? PatternStatus::Damaged : PatternStatus::Unsupported;
        const int high = HexDigit(inner[from]), low = HexDigit(inner[from + 1]);
        if (high < 0 || low < 0) return PatternStatus::Unsupported;
        const unsigned b = static_cast<unsigned>(high * 16 + low);
        cls.bits[b >> 5] |= 1u << (b & 31);
        if (bar == inner.size()) break;
        from = bar + 1;
    }
    cls.at = static_cast<uint32_t>(part.bytes.size());
    part.bytes.push_back(0);
    part.mask.push_back(0);
    part.classes.push_back(cls);
    i = close + 1;
    return PatternStatus::Parsed;
}

// "[n-m]": n to m bytes between one byte and the run beside it.
bool ParseAnchoredGap(const std::string& hex, size_t& i, PatternGap& gap) {
    const size_t close = hex.find(']', i);
    if (close == std::string::npos) return false;
    const std::string inner = hex.substr(i + 1, close - i - 1);
    const size_t dash = inner.find('-');
    uint64_t low = 0, high = 0;
    if (dash == std::string::npos || !ParseDecimal(inner.substr(0, dash), 0x7FFFFFFF, low) ||
        !ParseDecimal(inner.substr(dash + 1), 0x7FFFFFFF, high) || high < low)
        return false;
    gap.min = static_cast<uint32_t>(low);
    gap.max = static_cast<uint32_t>(high);
    i = close + 1;
    return true;
}

}  // namespace

bool IsSmallFixedGap(const std::string& hex, size_t open) {
    const size_t close = hex.find('}', open);
    uint64_t n = 0;
    return close != std::string::npos && ParseDecimal(hex.substr(open + 1, close - open - 1), 127, n);
}

bool BoundaryBefore(Boundary kind, const unsigned char* previous) {
    if (!previous) return true;
    return kind == Boundary::Line ? *previous == '\n' : InSet(kWordBefore, *previous);
}

bool BoundaryAfter(Boundary kind, const unsigned char* next, size_t available) {
    if (available == 0) return true;
    if (kind == Boundary::Word) return InSet(kWordAfter, next[0]);
    // A CR the object ends with ends no line.
    return next[0] == '\n' || (next[0] == '\r' && available >= 2 && next[1] == '\n');
}

bool PatternPart::Matches(const unsigned char* at) const {
    const size_t n = bytes.size();
    for (size_t k = 0; k < n; ++k) {
        if ((at[k] & mask[k]) != bytes[k]) return false;
    }
    for (const ByteClass& c : classes) {
        if (!c.Takes(at[c.at])) return false;
    }
    return true;
}

PatternStatus ParsePattern(const char* text, size_t length, PatternSyntax syntax, BodySignature& sig) {
    const std::string hex(text, length);
    const bool open = syntax == PatternSyntax::Open;
    std::vector<bool> anchored;
    PatternPart part;
    // A boundary after the part's last element: it checks the bytes after
    // the part if the part ends here, and takes a byte of its own if another
    // element follows.
    Boundary pending = Boundary::None;
    auto place = [&]() {
        if (pending == Boundary::None) return true;
        // A line boundary inside a part is LF or CR LF: the record's choices
        // have replaced it before.
        if (pending == Boundary::Line) return false;
        ByteClass cls;
        cls.at = static_cast<uint32_t>(part.bytes.size());
        for (const char* set : {kWordBefore, kWordAfter}) {
            for (const char* b = set; *b; ++b) {
                const unsigned u = static_cast<unsigned char>(*b);
                cls.bits[u >> 5] |= 1u << (u & 31);
            }
        }
        part.classes.push_back(cls);
        part.bytes.push_back(0);
        part.mask.push_back(0);
        pending = Boundary::None;
        return true;
    };
    size_t i = 0;
    while (i < hex.size()) {
        const char c = hex[i];
        if (c == '*' || c == '{' || (open && c == '[')) {
            PatternGap gap;
            const size_t at = i;
            if (!(c == '[' ? ParseAnchoredGap(hex, i, gap) : ParseGap(hex, i, gap))) return PatternStatus::Damaged;
            // A short fixed gap beside a boundary is that many "??" in the
            // part, as clamscan reads it: the boundary then takes a byte.
            if (open && c == '{' && IsSmallFixedGap(hex, at) &&
                (pending != Boundary::None || (part.bytes.empty() && part.before != Boundary::None) ||
                 BoundaryAt(hex, i) != Boundary::None)) {
                if (!place()) return PatternStatus::Unsupported;
                part.bytes.insert(part.bytes.end(), gap.min, 0);
                part.mask.insert(part.mask.end(), gap.min, 0);
                continue;
            }
            // A gap needs a part on each side.
            if (part.bytes.empty()) return PatternStatus::Damaged;
            part.after = pending;
            pending = Boundary::None;
            sig.parts.push_back(std::move(part));
            sig.gaps.push_back(gap);
            anchored.push_back(c == '[');
            part = PatternPart();
            continue;
        }
        const Boundary boundary = open && c == '(' ? BoundaryAt(hex, i) : Boundary::None;
        if (boundary != Boundary::None) {
            i += 3;
            // Only a part's first element checks the byte before it.
            if (part.bytes.empty() && part.before == Boundary::None && pending == Boundary::None) {
                part.before = boundary;
            } else {
                if (!place()) return PatternStatus::Unsupported;
                pending = boundary;
            }
            continue;
        }
        if (!place()) return PatternStatus::Unsupported;
        if (open && (c == '(' || c == '!')) {
            const PatternStatus status = ParseClass(hex, i, part);
            if (status != PatternStatus::Parsed) return status;
            continue;
        }
        if (i + 1 >= hex.size()) return PatternStatus::Damaged;
        const char d = hex[i + 1];
        const int high = HexDigit(c), low = HexDigit(d);
        if (c == '?' && d == '?') {
            part.bytes.push_back(0);
            part.mask.push_back(0);
        } else if (open && c == '?' && low >= 0) {
            part.bytes.push_back(static_cast<unsigned char>(low));
            part.mask.push_back(0x0F);
        } else if (open && d == '?' && high >= 0) {
            part.bytes.push_back(static_cast<unsigned char>(high << 4));
            part.mask.push_back(0xF0);
        } else if (high >= 0 && low >= 0) {
            part.bytes.push_back(static_cast<unsigned char>(high * 16 + low));
            part.mask.push_back(0xFF);
        } else {
            return PatternStatus::Damaged;
        }
        i += 2;
    }
    if (part.bytes.empty()) return PatternStatus::Damaged;
    part.after = pending;
    sig.parts.push_back(std::move(part));
    for (size_t k = 0; k < anchored.size(); ++k) {
        if (!anchored[k]) continue;
        const PatternPart &left = sig.parts[k], &right = sig.parts[k + 1];
        if (left.bytes.size() != 1 && right.bytes.size() != 1) return PatternStatus::Damaged;
        // clamscan refuses a boundary beside an anchored gap or on its byte.
        if (left.after != Boundary::None || right.before != Boundary::None ||
            (left.bytes.size() == 1 && left.before != Boundary::None) ||
            (right.bytes.size() == 1 && right.after != Boundary::None))
            return PatternStatus::Unsupported;
    }
    for (PatternPart& p : sig.parts) {
        if (p.bytes.size() > kMaxPartLength) return PatternStatus::Damaged;
        FindAnchor(p);
        // A part with no fixed byte gives the filter nothing to look for:
        // it would have to try every position.
        if (p.anchorLength == 0) return open ? PatternStatus::Unsupported : PatternStatus::Damaged;
    }
    return PatternStatus::Parsed;
}

namespace {

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
    if (!ValidName(f[0]) || f[1] != "0" || !ParseOffset(f[2], body) ||
        ParsePattern(f[3].data(), f[3].size(), PatternSyntax::Base, body) != PatternStatus::Parsed)
        return LineKind::Invalid;
    if (f.size() == 5 && !ParseRecordFlags(f[4].data(), f[4].size(), true, body.verdict)) return LineKind::Invalid;
    return LineKind::Body;
}

}  // namespace refengine
