#include "plugin/module.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {
HINSTANCE g_instance = nullptr;

std::string FormatArgs(const char* format, va_list args) {
    char small[512];
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) return std::string();
    if (static_cast<size_t>(needed) < sizeof small) return std::string(small, needed);
    std::vector<char> big(static_cast<size_t>(needed) + 1);
    std::vsnprintf(big.data(), big.size(), format, args);
    return std::string(big.data(), needed);
}
}  // namespace

HINSTANCE PluginInstance() { return g_instance ? g_instance : GetModuleHandleA(nullptr); }

void SetPluginInstance(HINSTANCE instance) { g_instance = instance; }

std::string LoadText(UINT id) {
    // Resource strings are stored counted; ask for a pointer to the text to
    // avoid guessing a buffer length.
    HRSRC block = FindResourceA(PluginInstance(), MAKEINTRESOURCEA(id / 16 + 1), MAKEINTRESOURCEA(6));
    if (!block) return std::string();
    HGLOBAL data = LoadResource(PluginInstance(), block);
    if (!data) return std::string();
    const WCHAR* p = static_cast<const WCHAR*>(LockResource(data));
    if (!p) return std::string();
    for (UINT i = 0; i < (id & 15); ++i) p += 1 + *p;
    int length = *p;
    if (length == 0) return std::string();
    int bytes = WideCharToMultiByte(CP_ACP, 0, p + 1, length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, p + 1, length, &result[0], bytes, nullptr, nullptr);
    return result;
}

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string result = FormatArgs(format, args);
    va_end(args);
    return result;
}

std::string FormatResource(UINT id, ...) {
    std::string format = LoadText(id);
    va_list args;
    va_start(args, id);
    std::string result = FormatArgs(format.c_str(), args);
    va_end(args);
    return result;
}
