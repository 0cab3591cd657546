#include "single_member.h"

#include <cctype>
#include <cstring>

namespace refengine {
namespace {

bool EndsWith(const std::string& text, const char* suffix) {
    size_t length = std::strlen(suffix);
    if (text.size() <= length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (std::tolower(static_cast<unsigned char>(text[text.size() - length + i])) != suffix[i]) return false;
    }
    return true;
}

}  // namespace

std::string SingleMemberName(const std::string& archive, const SuffixRule* rules, size_t count) {
    std::string name = archive.substr(archive.find_last_of("/\\") + 1);
    for (size_t i = 0; i < count; ++i) {
        if (EndsWith(name, rules[i].suffix)) {
            return name.substr(0, name.size() - std::strlen(rules[i].suffix)) + rules[i].replacement;
        }
    }
    return name;
}

bool MeasureSink::Take(const unsigned char*, uint32_t count) {
    size_ += count;
    over_ = size_ > budget_.limits().memberBytes || !budget_.Spend(0);
    return !over_;
}

}  // namespace refengine
