// Threads: the instance is set at library load and only read afterwards; the
// string blocks are atomic and may be found by any thread.
#include "base/module.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {
HINSTANCE g_instance = nullptr;

// The string table's blocks, found once: every check builds its texts from
// it, and finding a resource costs microseconds under some systems. The
// pointers stay valid while the module is loaded; a race only finds the same
// block twice.
constexpr UINT kStringBlocks = 4096;
std::atomic<const WCHAR*> g_blocks[kStringBlocks];

const WCHAR* FindStringBlock(UINT block) {
    if (block < kStringBlocks) {
        if (const WCHAR* cached = g_blocks[block].load(std::memory_order_acquire)) return cached;
    }
    HRSRC found = FindResourceA(PluginInstance(), MAKEINTRESOURCEA(block + 1), RT_STRING);
    if (!found) return nullptr;
    HGLOBAL data = LoadResource(PluginInstance(), found);
    const WCHAR* p = data ? static_cast<const WCHAR*>(LockResource(data)) : nullptr;
    if (p && block < kStringBlocks) g_blocks[block].store(p, std::memory_order_release);
    return p;
}

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

void SetPluginInstance(HINSTANCE instance) {
    g_instance = instance;
    // Blocks found in another module's table are not this one's.
    for (std::atomic<const WCHAR*>& block : g_blocks) block.store(nullptr);
}

std::string LoadText(UINT id) {
    // Resource strings are stored counted; ask for a pointer to the text to
    // avoid guessing a buffer length.
    const WCHAR* p = FindStringBlock(id / 16);
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
