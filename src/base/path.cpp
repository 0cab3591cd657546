#include "base/path.h"

std::string JoinPath(const std::string& folder, const std::string& name) {
    std::string result;
    if (!folder.empty()) {
        result = folder;
        char last = folder.back();
        if (last != '\\' && last != '/') result += '\\';
    }
    result += name;
    return result;
}
