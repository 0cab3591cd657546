// Signature records of the *.vdb bases and the parser of one base line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace refengine {

// A position that takes one of a set of bytes, or any byte but them.
struct ByteClass {
    uint32_t at = 0;
    uint32_t bits[8] = {};  // bit b: byte b is in the set
    bool negated = false;
    bool Takes(unsigned char b) const { return ((bits[b >> 5] >> (b & 31)) & 1) != negated; }
};

// A check that takes no byte of its own: the byte before a part, or the
// bytes after it, must end a word or a line (or the object must begin or end
// there).
enum class Boundary : uint8_t { None, Word, Line };

// A run of bytes where some positions may be "??" (any byte), a nibble
// ("a?", "?a") or a class.
struct PatternPart {
    std::vector<unsigned char> bytes;
    // The bits of the byte that must equal bytes[k]: 0xFF fixed, 0 for ??
    // and classes, 0xF0 or 0x0F for a nibble.
    std::vector<unsigned char> mask;
    std::vector<ByteClass> classes;
    uint32_t anchorStart = 0;  // longest run of fixed bytes: the filter takes its windows there
    uint32_t anchorLength = 0;
    Boundary before = Boundary::None;
    Boundary after = Boundary::None;
    bool Matches(const unsigned char* at) const;
    // Bytes after the part that the check after it reads: a line may end in CR LF.
    uint32_t lookahead() const { return after == Boundary::Line ? 2 : after == Boundary::Word ? 1 : 0; }
};

// previous: the byte before the part, null at the object's start.
bool BoundaryBefore(Boundary kind, const unsigned char* previous);
// The available bytes after the part (lookahead() of them, fewer only where
// the object ends).
bool BoundaryAfter(Boundary kind, const unsigned char* next, size_t available);

// Distance allowed between the end of one part and the start of the next.
struct PatternGap {
    uint32_t min = 0;
    uint32_t max = 0;
    bool unbounded = false;
};

// Where a record's match may start: anywhere, from the start or the end of
// the object, or (PE images only) from the entry point, from the start of
// a section or the last one, or anywhere inside a section.
enum class OffsetKind { Any, FromStart, FromEnd, EntryPoint, SectionStart, LastSection, InSection };

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
    uint8_t target = 0;  // the ObjectType a record is for; 0 for any object
    OffsetKind offsetKind = OffsetKind::Any;
    uint32_t offset = 0;    // n of "n", "EOF-n", "EP+n", "Sx+n"
    bool backward = false;  // "EP-n"
    uint32_t section = 0;   // x of "Sx+n", "SEx"
    uint32_t shift = 0;     // a floating offset ",m": any start up to m bytes later
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

// The base format's pattern elements, or the open body format's as well
// (nibbles, classes, anchored bytes).
enum class PatternSyntax { Base, Open };
enum class PatternStatus { Parsed, Damaged, Unsupported };
// "{n}" at hex[open] with n below 128: clamscan reads it as n "??" inside
// one part rather than as a gap between two.
bool IsSmallFixedGap(const std::string& hex, size_t open);
// The pattern of one record into sig's parts and gaps.
PatternStatus ParsePattern(const char* hex, size_t length, PatternSyntax syntax, BodySignature& sig);
constexpr size_t kMaxVirusNameLength = 257;

// The optional flags field of a base record ("p", "m", "c" for bodies,
// "s<n>"); false when it holds anything else.
bool ParseRecordFlags(const char* text, size_t length, bool allowCure, Verdict& verdict);

// Parses one line (without its line break). Blank lines and '#' comments
// are LineKind::Blank.
LineKind ParseBaseLine(const std::string& line, BodySignature& body, HashSignature& hash);

}  // namespace refengine
