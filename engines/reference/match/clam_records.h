// The lines of the open signature databases' text formats that the
// matcher takes (.hdb/.hsb hashes, .fp/.sfp allow lists, .ign2 names, .ndb
// bodies), each parsed in place without copying.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "hash_store.h"
#include "virus_record.h"

namespace refengine {

// The functionality level the matcher offers records: a record asking for
// more (its minimum) or less (its maximum) is left out, not rejected.
constexpr uint32_t kFunctionalityLevel = 216;
// Records for objects of any size came with this level.
constexpr uint32_t kAnySizeLevel = 73;

struct TextSpan {
    const char* text = nullptr;
    size_t length = 0;
};

enum class RecordStatus { Accepted, Blank, Damaged, OtherLevel, Unsupported };

// HASH:SIZE:NAME[:MINLEVEL[:MAXLEVEL]]; the hash's length tells its kind.
struct HashLine {
    HashKind kind = HashKind::Md5;
    unsigned char digest[kMaxDigestLength] = {};
    uint32_t size = 0;  // kAnySize for '*'
    TextSpan name;
};
RecordStatus ParseHashLine(const char* line, size_t length, HashLine& out);
// SIZE:HASH:NAME[:MINLEVEL[:MAXLEVEL]]: the hash of one PE section's data.
RecordStatus ParseSectionHashLine(const char* line, size_t length, HashLine& out);

// NAME:TARGET:OFFSET:HEX[:MINLEVEL[:MAXLEVEL]]: the body records of a target
// the matcher tells apart and whose offset and pattern it knows; one body
// per choice of the record's alternatives of several bytes. Unsupported: a
// record of another target, offset or pattern syntax.
RecordStatus ParseBodyLine(const char* line, size_t length, std::vector<BodySignature>& out);

// An ignore-list line: the name to leave out (a second field, the record's
// digest, is not compared).
RecordStatus ParseIgnoreLine(const char* line, size_t length, TextSpan& name);

// A hash line of the base format, MD5:SIZE:NAME[:FLAGS]; Unsupported
// when the line is no hash line (a body record, then). kind: the flags.
RecordStatus ParseBaseHashLine(const char* line, size_t length, HashLine& out, Verdict& kind);

// The line without its trailing CR, blanks and tabs; false for a blank line
// or a comment.
bool TrimRecordLine(const char*& line, size_t& length);

}  // namespace refengine
