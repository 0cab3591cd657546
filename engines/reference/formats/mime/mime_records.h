// A MIME entity's header block (RFC 5322, 2045, 2231, 2047), parsed one of
// two ways: as the RFCs read it (folding, comments, quoted pairs), or as a
// naive parser does (every line that looks like a field is one, comments
// and backslashes are text). Where the two differ a message has two readings.
#pragma once

#include <string>
#include <vector>

namespace refengine {

enum class HeaderSyntax { Rfc, Naive };

struct HeaderField {
    std::string name;  // lowercase
    std::string value;
};

// A line that starts a field: a name of printable characters and a colon
// (the naive reading also allows white space before the colon).
bool StartsField(const std::string& line, HeaderSyntax syntax);
// A line of a header block: a field or a folded continuation.
inline bool IsHeaderLine(const std::string& line) {
    return !line.empty() && (line[0] == ' ' || line[0] == '\t' || StartsField(line, HeaderSyntax::Naive));
}

// The fields of a block's lines. differs: set when the other syntax splits
// the lines into other fields.
std::vector<HeaderField> SplitFields(const std::vector<std::string>& lines, HeaderSyntax syntax, bool& differs);

// True when a value reads differently in the two syntaxes: comments or
// quoted pairs.
bool SyntaxMatters(const std::string& value);

struct MediaType {
    std::string type;                     // "type/subtype" lowercase; empty when the value names none
    std::vector<std::string> boundaries;  // every boundary parameter, in order
    std::string name;                     // the name parameter, decoded
    bool nameUtf8 = false;
};
MediaType ParseMediaType(const std::string& value, HeaderSyntax syntax);

// The filename parameter of a Content-Disposition, decoded.
std::string ParseFileName(const std::string& value, HeaderSyntax syntax, bool& utf8);

// A Content-Transfer-Encoding's token, lowercase.
std::string ParseEncodingToken(const std::string& value, HeaderSyntax syntax);

// RFC 2047 encoded words in text decoded to their bytes; utf8 set when one
// of them was UTF-8.
std::string DecodeEncodedWords(const std::string& text, bool& utf8);

}  // namespace refengine
