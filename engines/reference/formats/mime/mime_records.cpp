#include "mime_records.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <utility>

#include "mail_text.h"

namespace refengine {
namespace {

using Parameters = std::vector<std::pair<std::string, std::string>>;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The value with RFC 5322 comments removed; quoted strings kept as they are.
std::string WithoutComments(const std::string& value) {
    std::string out;
    int depth = 0;
    bool quoted = false;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (depth == 0 && c == '"') quoted = !quoted;
        if ((quoted || depth > 0) && c == '\\' && i + 1 < value.size()) {
            if (depth == 0) out.append(value, i, 2);
            ++i;
            continue;
        }
        if (!quoted && c == '(') {
            if (depth++ == 0) out += ' ';
            continue;
        }
        if (!quoted && depth > 0) {
            if (c == ')') --depth;
            continue;
        }
        out += c;
    }
    return out;
}

// Splits on semicolons outside quoted strings.
std::vector<std::string> SplitOnSemicolons(const std::string& value, HeaderSyntax syntax) {
    std::vector<std::string> pieces(1);
    bool quoted = false;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (quoted && c == '\\' && syntax == HeaderSyntax::Rfc && i + 1 < value.size()) {
            pieces.back().append(value, i, 2);
            ++i;
            continue;
        }
        if (c == '"') quoted = !quoted;
        if (c == ';' && !quoted) {
            pieces.emplace_back();
            continue;
        }
        pieces.back() += c;
    }
    return pieces;
}

std::string Unquote(const std::string& value, HeaderSyntax syntax) {
    std::string text = TrimWhite(value);
    if (text.empty() || text[0] != '"') return text;
    std::string out;
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '\\' && syntax == HeaderSyntax::Rfc && i + 1 < text.size()) {
            out += text[++i];
        } else if (text[i] == '"') {
            break;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The value before the first semicolon, and the parameters after it.
std::string ParseParameters(const std::string& raw, HeaderSyntax syntax, Parameters& parameters) {
    std::string value = syntax == HeaderSyntax::Rfc ? WithoutComments(raw) : raw;
    std::vector<std::string> pieces = SplitOnSemicolons(value, syntax);
    for (size_t i = 1; i < pieces.size(); ++i) {
        size_t equals = pieces[i].find('=');
        if (equals == std::string::npos) continue;
        parameters.emplace_back(Lowercase(TrimWhite(pieces[i].substr(0, equals))),
                                Unquote(pieces[i].substr(equals + 1), syntax));
    }
    return TrimWhite(pieces[0]);
}

std::string PercentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) << 4 | HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A parameter by its base name: plain, or RFC 2231 sections (name*0,
// name*1*, ...) and extended values (charset'language'%XX), decoded.
std::string Parameter(const Parameters& parameters, const std::string& base, bool& utf8) {
    std::map<long, std::pair<bool, std::string>> sections;
    std::string plain;
    bool havePlain = false;
    for (const auto& parameter : parameters) {
        const std::string& key = parameter.first;
        if (key == base) {
            if (!havePlain) plain = parameter.second;
            havePlain = true;
            continue;
        }
        if (key.size() <= base.size() || key.compare(0, base.size(), base) != 0 || key[base.size()] != '*') continue;
        std::string rest = key.substr(base.size() + 1);
        bool extended = !rest.empty() && rest.back() == '*';
        if (extended) rest.pop_back();
        long number = -1;
        if (!rest.empty()) {
            if (rest.find_first_not_of("0123456789") != std::string::npos || rest.size() > 6) continue;
            number = std::strtol(rest.c_str(), nullptr, 10);
        } else {
            extended = true;  // "name*=": one extended value
        }
        sections.emplace(number, std::make_pair(extended, parameter.second));
    }
    std::string text;
    if (sections.empty()) {
        text = plain;
    } else {
        bool first = true;
        for (const auto& section : sections) {
            std::string value = section.second.second;
            if (section.second.first) {
                if (first) {
                    size_t charsetEnd = value.find('\'');
                    size_t languageEnd =
                        charsetEnd == std::string::npos ? charsetEnd : value.find('\'', charsetEnd + 1);
                    if (languageEnd != std::string::npos) {
                        if (Lowercase(value.substr(0, charsetEnd)) == "utf-8") utf8 = true;
                        value = value.substr(languageEnd + 1);
                    }
                }
                value = PercentDecoded(value);
            }
            text += value;
            first = false;
        }
    }
    return DecodeEncodedWords(text, utf8);
}

bool IsFieldNameByte(unsigned char c) { return c > 32 && c < 127 && c != ':'; }

// The name of a field line, empty when the line starts none.
std::string FieldName(const std::string& line, HeaderSyntax syntax) {
    size_t i = 0;
    while (i < line.size() && IsFieldNameByte(static_cast<unsigned char>(line[i]))) ++i;
    size_t end = i;
    if (syntax == HeaderSyntax::Naive)
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (end == 0 || i >= line.size() || line[i] != ':') return std::string();
    return line.substr(0, end);
}

int Base64Digit(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

std::string WordDecoded(char encoding, const std::string& text) {
    std::string out;
    if (encoding == 'b' || encoding == 'B') {
        uint32_t bits = 0;
        int count = 0;
        for (unsigned char c : text) {
            int value = Base64Digit(c);
            if (value < 0) continue;
            bits = bits << 6 | static_cast<uint32_t>(value);
            count += 6;
            if (count >= 8) {
                count -= 8;
                out += static_cast<char>(bits >> count & 0xFF);
            }
        }
        return out;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            out += ' ';
        } else if (text[i] == '=' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) << 4 | HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

bool StartsField(const std::string& line, HeaderSyntax syntax) { return !FieldName(line, syntax).empty(); }

std::vector<HeaderField> SplitFields(const std::vector<std::string>& lines, HeaderSyntax syntax, bool& differs) {
    std::vector<HeaderField> fields;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        bool folded = !line.empty() && (line[0] == ' ' || line[0] == '\t');
        std::string trimmed = TrimWhite(line);
        bool looksLikeField = StartsField(trimmed, HeaderSyntax::Naive);
        // Folded lines that look like fields, white space before a colon,
        // a first line that is folded: the syntaxes split these apart.
        if ((folded && (looksLikeField || i == 0)) || (!folded && FieldName(line, HeaderSyntax::Rfc).empty()))
            differs = true;
        if (folded && !(syntax == HeaderSyntax::Naive && looksLikeField)) {
            if (!fields.empty()) fields.back().value += line;  // unfolded: the line break goes, its white space stays
            continue;
        }
        const std::string& text = folded ? trimmed : line;
        std::string name = FieldName(text, syntax);
        if (name.empty()) continue;
        size_t colon = text.find(':', name.size());
        fields.push_back({Lowercase(name), text.substr(colon + 1)});
    }
    return fields;
}

bool SyntaxMatters(const std::string& value) {
    return value.find('(') != std::string::npos || value.find('\\') != std::string::npos;
}

MediaType ParseMediaType(const std::string& value, HeaderSyntax syntax) {
    MediaType media;
    Parameters parameters;
    std::string type = Lowercase(ParseParameters(value, syntax, parameters));
    size_t slash = type.find('/');
    // A type that is not token/token is no type: text/plain applies.
    bool valid = slash != std::string::npos && slash > 0 && slash + 1 < type.size() &&
                 type.find_first_of(" \t\"()<>@,;:\\[]?=", 0) == std::string::npos &&
                 type.find('/', slash + 1) == std::string::npos;
    if (valid) media.type = type;
    for (const auto& parameter : parameters) {
        if (parameter.first == "boundary") media.boundaries.push_back(parameter.second);
    }
    media.name = Parameter(parameters, "name", media.nameUtf8);
    return media;
}

std::string ParseFileName(const std::string& value, HeaderSyntax syntax, bool& utf8) {
    Parameters parameters;
    ParseParameters(value, syntax, parameters);
    return Parameter(parameters, "filename", utf8);
}

std::string ParseEncodingToken(const std::string& value, HeaderSyntax syntax) {
    Parameters parameters;
    return Lowercase(ParseParameters(value, syntax, parameters));
}

std::string DecodeEncodedWords(const std::string& text, bool& utf8) {
    std::string out;
    size_t i = 0;
    bool lastWasWord = false;
    while (i < text.size()) {
        size_t start = text.find("=?", i);
        if (start == std::string::npos) break;
        size_t charsetEnd = text.find('?', start + 2);
        size_t encodingEnd = charsetEnd == std::string::npos ? charsetEnd : text.find('?', charsetEnd + 1);
        size_t end = encodingEnd == std::string::npos ? encodingEnd : text.find("?=", encodingEnd + 1);
        if (end == std::string::npos || encodingEnd != charsetEnd + 2) {
            out.append(text, i, start + 2 - i);
            i = start + 2;
            lastWasWord = false;
            continue;
        }
        std::string between = text.substr(i, start - i);
        // White space between two encoded words is not part of the text.
        if (!(lastWasWord && TrimWhite(between).empty())) out += between;
        std::string charset = Lowercase(text.substr(start + 2, charsetEnd - start - 2));
        if (charset.compare(0, 5, "utf-8") == 0 || charset.compare(0, 4, "utf8") == 0) utf8 = true;
        out += WordDecoded(text[charsetEnd + 1], text.substr(encodingEnd + 1, end - encodingEnd - 1));
        i = end + 2;
        lastWasWord = true;
    }
    out.append(text, std::min(i, text.size()), std::string::npos);
    return out;
}

}  // namespace refengine
