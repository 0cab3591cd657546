// One reading of a MIME message's structure: its leaf parts, found line by
// line with every open multipart's boundary in force. A reading is a set
// of choices where messages can be read two ways; the reading reports
// which of those choices this message actually offers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_io.h"

namespace refengine {

// The choices, as bits of a reading (0: as RFC 2045/2046 and most parsers read it).
constexpr uint32_t kReadLastField = 0x1;        // the last Content-Type and boundary, not the first
constexpr uint32_t kReadBoundaryAsGiven = 0x2;  // a boundary's trailing white space kept
constexpr uint32_t kReadExactDelimiter = 0x4;   // delimiter lines without trailing white space only
constexpr uint32_t kReadPrefixDelimiter = 0x8;  // any line that starts with the delimiter is one
constexpr uint32_t kReadNaiveSyntax = 0x10;     // headers split and parsed naively
constexpr uint32_t kReadChoices = 0x20;         // readings there are at most

// Multiparts nested deeper, and leaves of one reading past this, fail the check.
constexpr size_t kMaxMultipartDepth = 64;
constexpr size_t kMaxLeaves = 10000;

struct MimeLeaf {
    uint64_t start = 0;  // the encoded body
    uint64_t end = 0;
    std::vector<std::string> encodings;  // every Content-Transfer-Encoding token, distinct, in order
    bool padInside = false;              // base64 data follows '=' padding
    bool message = false;                // message/rfc822: walked as a message of its own
    bool textual = false;                // may hold uuencoded or BinHex blocks
    bool cut = false;                    // the object ends before the part's closing boundary
    std::string name;                    // from the headers, safe; empty when they give none
};

struct MimeReading {
    std::vector<MimeLeaf> leaves;
    uint32_t choices = 0;  // the choices that would read this message otherwise
    uint32_t failure = 0;  // 0x80 cut off or past a bound; 0x20 a read failure
};

// Reads [start, end) of source as a message under the reading's choices.
void ReadMimeStructure(Host& host, ByteSource& source, uint64_t start, uint64_t end, uint32_t choices,
                       MimeReading& reading);

}  // namespace refengine
