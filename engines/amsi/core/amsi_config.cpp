#include "amsi_config.h"

#include <cctype>

#include "config_words.h"

namespace amsiengine {
namespace {

using engineboundary::Lower;
using engineboundary::ParseDuration;
using engineboundary::SplitNumber;
using engineboundary::Trim;

constexpr uint64_t kMaxObjectLimit = 0xFFFFFFFFull;  // AmsiScanBuffer takes a 32-bit length
constexpr size_t kMaxProviderName = 260;

// Bytes, or K, M, G (binary multiples); at least 1 byte, below 4 GiB.
bool ParseSize(const std::string& text, uint64_t& bytes) {
    uint64_t number;
    std::string unit;
    if (!SplitNumber(text, number, unit)) return false;
    const uint64_t factor = unit.empty()  ? 1
                            : unit == "k" ? 1ull << 10
                            : unit == "m" ? 1ull << 20
                            : unit == "g" ? 1ull << 30
                                          : 0;
    if (factor == 0 || number == 0 || number > kMaxObjectLimit / factor) return false;
    bytes = number * factor;
    return true;
}

// A braced CLSID, 8-4-4-4-12 hex digits.
bool IsClsid(const std::string& text) {
    static const char kForm[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (text.size() != sizeof kForm - 1) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool ok = kForm[i] == 'X' ? std::isxdigit(static_cast<unsigned char>(text[i])) != 0 : text[i] == kForm[i];
        if (!ok) return false;
    }
    return true;
}

}  // namespace

bool ApplyConfigLine(const std::string& rawLine, Settings& settings) {
    std::string line = rawLine;
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    line = Trim(line);
    if (line.empty()) return true;
    size_t space = 0;
    while (space < line.size() && !std::isspace(static_cast<unsigned char>(line[space]))) ++space;
    const std::string key = Lower(line.substr(0, space));
    const std::string value = Trim(line.substr(space));
    if (value.empty()) return false;

    // A provider's registered name may hold spaces: the rest of the line.
    if (key == "require-provider") {
        if (value.size() > kMaxProviderName) return false;
        if (value[0] == '{' && !IsClsid(value)) return false;
        settings.requiredProviders.push_back(value);
        return true;
    }
    if (value.find_first_of(" \t") != std::string::npos) return false;
    if (key == "max-object") return ParseSize(value, settings.maxObject);
    if (key == "time-limit") return ParseDuration(value, settings.checkMilliseconds);
    if (key == "members") {
        const std::string mode = Lower(value);
        if (mode != "on" && mode != "off") return false;
        settings.members = mode == "on";
        return true;
    }
    return false;
}

}  // namespace amsiengine
