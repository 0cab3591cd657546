#include "vdb_lines.h"

namespace orlixinst {

void ForEachLine(const std::string& text, const std::function<bool(const std::string& line, bool ended)>& take) {
    for (size_t i = 0; i < text.size();) {
        const size_t end = text.find('\n', i);
        const bool ended = end != std::string::npos;
        if (!take(text.substr(i, (ended ? end : text.size()) - i), ended)) return;
        i = ended ? end + 1 : text.size();
    }
}

std::string ReplaceLines(const std::string& text, const std::function<bool(const std::string& line)>& owned,
                         const std::string& replacement, bool dropLater) {
    std::string merged;
    bool placed = false;
    ForEachLine(text, [&](const std::string& line, bool ended) {
        const std::string whole = ended ? line + "\n" : line;
        if ((!placed || dropLater) && owned(whole)) {
            if (!placed) merged += replacement;
            placed = true;
            return true;
        }
        merged += whole;
        if (!ended) merged += "\r\n";
        return true;
    });
    if (!placed) merged += replacement;
    return merged;
}

}  // namespace orlixinst
