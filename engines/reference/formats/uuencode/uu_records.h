// uuencode blocks: the begin line ("begin 644 name", or "begin-base64 644
// name" for the base64 form) and the data lines of the classic form.
#pragma once

#include <string>

namespace refengine {

struct UuBegin {
    bool base64 = false;
    std::string name;  // as the line gives it
};
bool ParseUuBegin(const std::string& line, UuBegin& begin);

// The line that ends a block: "end", or "====" for the base64 form.
bool IsUuEnd(const std::string& line, bool base64);

// Appends a classic data line's bytes (its first character gives their
// count, '`' or a space none); false when the line holds characters no
// encoder writes. Characters a mailer stripped from the line's end count
// as zeros.
bool DecodeUuLine(const std::string& line, std::string& out);

// Whether a line could be the first after a begin line: data or the end.
bool CouldFollowBegin(const std::string& line, bool base64);

}  // namespace refengine
