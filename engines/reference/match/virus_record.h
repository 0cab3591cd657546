// Signature records of the *.vdb bases and the parser of one base line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace refengine {

// A run of bytes where some positions may be "??" (any byte).
struct PatternPart {
    std::vector<unsigned char> bytes;
    std::vector<unsigned char> fixed;  // 1 where the byte must match, 0 for ??
    uint32_t anchorStart = 0;          // longest run of fixed bytes: the filter takes its windows there
    uint32_t anchorLength = 0;
};

// Distance allowed between the end of one part and the start of the next.
struct PatternGap {
    uint32_t min = 0;
    uint32_t max = 0;
    bool unbounded = false;
};

enum class OffsetKind { Any, FromStart, FromEnd };

// Bits the record adds to the answer when it matches (infected, modification,
// probably infected), and whether the find can be cut off the host file.
struct Verdict {
    std::string name;
    uint32_t flags = 0x1;
    bool curable = false;
    uint32_t maxObjectSize = 0;  // 0: any size
};

struct BodySignature {
    Verdict verdict;
    OffsetKind offsetKind = OffsetKind::Any;
    uint32_t offset = 0;
    std::vector<PatternPart> parts;
    std::vector<PatternGap> gaps;  // parts.size() - 1 entries
};

struct HashSignature {
    Verdict verdict;
    unsigned char md5[16] = {};
    uint64_t size = 0;
};

enum class LineKind { Blank, Body, Hash, Invalid };

constexpr uint32_t kMaxPartLength = 4096;
constexpr size_t kMaxVirusNameLength = 257;

// The optional flags field of a base record ("p", "m", "c" for bodies,
// "s<n>"); false when it holds anything else.
bool ParseRecordFlags(const char* text, size_t length, bool allowCure, Verdict& verdict);

// Parses one line (without its line break). Blank lines and '#' comments
// are LineKind::Blank.
LineKind ParseBaseLine(const std::string& line, BodySignature& body, HashSignature& hash);

}  // namespace refengine
