#include "plugin_host.h"

#include <vector>

namespace {

template <typename T>
bool Bind(HMODULE module, const char* name, T& target, std::string& missing) {
    target = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!target && missing.empty()) missing = name;
    return target != nullptr;
}

}  // namespace

std::string BavPlugin::Load(const std::string& path) {
    module_.reset(LoadLibraryA(path.c_str()));
    if (!module_) return "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    std::string missing;
    Bind(module_.get(), "BAV_Initialize", Initialize, missing);
    Bind(module_.get(), "BAV_Uninitialize", Uninitialize, missing);
    Bind(module_.get(), "BAV_GetName", GetName, missing);
    Bind(module_.get(), "BAV_GetVersion", GetVersion, missing);
    Bind(module_.get(), "BAV_GetStatus", GetStatus, missing);
    Bind(module_.get(), "BAV_Setup", Setup, missing);
    Bind(module_.get(), "BAV_MemoryChecking", MemoryChecking, missing);
    Bind(module_.get(), "BAV_FileChecking", FileChecking, missing);
    Bind(module_.get(), "BAV_StreamChecking", StreamChecking, missing);
    Bind(module_.get(), "BAV_CheckFile", CheckFile, missing);
    Bind(module_.get(), "BAV_CureFile", CureFile, missing);
    Bind(module_.get(), "BAV_CheckMemory", CheckMemory, missing);
    Bind(module_.get(), "BAV_ComNeeded", ComNeeded, missing);
    Bind(module_.get(), "BAV_ConfigNeeded", ConfigNeeded, missing);
    if (!missing.empty()) return path + " is not a BAV plug-in: no export " + missing;
    return std::string();
}

std::string BavPlugin::Text(BufferLength proc) const {
    int32_t length = proc(nullptr, 0);
    if (length <= 0 || length > 65536) return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1, 0);
    int32_t got = proc(buffer.data(), length);
    if (got < 0 || got > length) got = length;
    return std::string(buffer.data(), static_cast<size_t>(got));
}

std::string HostFolder() {
    char path[MAX_PATH] = "";
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n < MAX_PATH ? n : 0);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".\\") : folder.substr(0, slash + 1);
}
