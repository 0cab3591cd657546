#include "uu_records.h"

#include "formats/mime/mail_text.h"

namespace refengine {
namespace {

bool IsUuCharacter(unsigned char c) { return c >= 32 && c <= 96; }

}  // namespace

bool ParseUuBegin(const std::string& line, UuBegin& begin) {
    size_t at;
    if (line.compare(0, 13, "begin-base64 ") == 0) {
        begin.base64 = true;
        at = 13;
    } else if (line.compare(0, 6, "begin ") == 0) {
        begin.base64 = false;
        at = 6;
    } else {
        return false;
    }
    size_t digits = at;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '7') ++digits;
    if (digits == at || digits - at > 4 || digits >= line.size() || line[digits] != ' ') return false;
    begin.name = TrimWhite(line.substr(digits + 1));
    return !begin.name.empty();
}

bool IsUuEnd(const std::string& line, bool base64) {
    std::string text = TrimWhite(line);
    return base64 ? text == "====" : text == "end";
}

bool DecodeUuLine(const std::string& line, std::string& out) {
    if (line.empty()) return true;  // a count line whose space was stripped
    unsigned char first = static_cast<unsigned char>(line[0]);
    if (!IsUuCharacter(first)) return false;
    size_t count = (first - 32) & 63;
    size_t needed = (count + 2) / 3 * 4;
    unsigned char group[4];
    for (size_t i = 0, produced = 0; i < needed; i += 4) {
        for (size_t k = 0; k < 4; ++k) {
            size_t at = 1 + i + k;
            unsigned char c = at < line.size() ? static_cast<unsigned char>(line[at]) : ' ';
            if (!IsUuCharacter(c)) return false;
            group[k] = static_cast<unsigned char>((c - 32) & 63);
        }
        unsigned char bytes[3] = {static_cast<unsigned char>(group[0] << 2 | group[1] >> 4),
                                  static_cast<unsigned char>(group[1] << 4 | group[2] >> 2),
                                  static_cast<unsigned char>(group[2] << 6 | group[3])};
        for (int k = 0; k < 3 && produced < count; ++k, ++produced) out += static_cast<char>(bytes[k]);
    }
    return true;
}

bool CouldFollowBegin(const std::string& line, bool base64) {
    if (IsUuEnd(line, base64)) return true;
    if (base64) return !line.empty();
    std::string bytes;
    return !line.empty() && line[0] != ' ' && DecodeUuLine(line, bytes);
}

}  // namespace refengine
