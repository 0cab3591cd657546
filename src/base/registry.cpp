#include "base/registry.h"

std::string ReadRegistryText(HKEY key, const char* name, bool* present) {
    if (present) *present = false;
    if (!key) return std::string();
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::string();
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::string();
    std::string buffer(size + 1, '\0');
    DWORD got = size;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &got) != ERROR_SUCCESS)
        return std::string();
    if (present) *present = true;
    buffer.resize(got < size ? got : size);
    return std::string(buffer.c_str());
}
