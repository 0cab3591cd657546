// The words of an engine's text configuration (clamd.vdb, amsi.vdb): white
// space trimmed, names in lower case, numbers with a unit after them, and
// durations in seconds or milliseconds.
#pragma once

#include <cctype>
#include <cstdint>
#include <string>

namespace engineboundary {

inline std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

inline std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Digits followed by an optional unit (lower-cased); false without digits
// or on overflow.
inline bool SplitNumber(const std::string& text, uint64_t& number, std::string& unit) {
    size_t i = 0;
    number = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (number > (UINT64_MAX - 9) / 10) return false;
        number = number * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    if (i == 0) return false;
    unit = Lower(text.substr(i));
    return true;
}

// "2" and "2s" are seconds, "500ms" milliseconds; at least 1 ms, at most an hour.
inline bool ParseDuration(const std::string& text, uint32_t& ms) {
    constexpr uint64_t kMaxMs = 3600u * 1000u;
    uint64_t number;
    std::string unit;
    if (!SplitNumber(text, number, unit)) return false;
    if (unit.empty() || unit == "s") {
        if (number > kMaxMs / 1000) return false;
        number *= 1000;
    } else if (unit != "ms") {
        return false;
    }
    if (number == 0 || number > kMaxMs) return false;
    ms = static_cast<uint32_t>(number);
    return true;
}

}  // namespace engineboundary
