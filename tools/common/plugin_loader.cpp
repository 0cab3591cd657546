#include "plugin_loader.h"

#include <type_traits>
#include <vector>

template <typename Visit>
void PluginApi::ForEachEntry(Visit visit) {
    visit("BAV_Initialize", Initialize, true);
    visit("BAV_Uninitialize", Uninitialize, true);
    visit("BAV_GetName", GetName, true);
    visit("BAV_GetVersion", GetVersion, true);
    visit("BAV_GetStatus", GetStatus, true);
    visit("BAV_Setup", Setup, true);
    visit("BAV_MemoryChecking", MemoryChecking, true);
    visit("BAV_FileChecking", FileChecking, true);
    visit("BAV_StreamChecking", StreamChecking, true);
    visit("BAV_CheckFile", CheckFile, true);
    visit("BAV_CureFile", CureFile, true);
    visit("BAV_CheckMemory", CheckMemory, true);
    visit("BAV_ComNeeded", ComNeeded, true);
    visit("BAV_ConfigNeeded", ConfigNeeded, true);
    visit("BAV_SetCfgData", SetCfgData, false);
    visit("BAV_GetCfgData", GetCfgData, false);
    visit("BAV_CureMemory", CureMemory, false);
    visit("BAV_CheckStream", CheckStream, false);
    visit("BAV_CureStream", CureStream, false);
}

std::string PluginApi::Open(const std::string& path) {
    Unload();
    module = LoadLibraryA(path.c_str());
    if (!module) return "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    std::string missing;
    ForEachEntry([&](const char* name, auto& target, bool required) {
        target = reinterpret_cast<std::remove_reference_t<decltype(target)>>(
            reinterpret_cast<void*>(GetProcAddress(module, name)));
        if (!target && required && missing.empty()) missing = name;
    });
    if (!missing.empty()) return path + " is not a BAV plug-in: no export " + missing;
    return std::string();
}

bool PluginApi::Load(const std::string& path) {
    if (!Open(path).empty()) return false;
    bool all = true;
    ForEachEntry([&](const char*, auto& target, bool) { all &= target != nullptr; });
    return all;
}

void PluginApi::Unload() {
    if (module) FreeLibrary(module);
    module = nullptr;
    ForEachEntry([](const char*, auto& target, bool) { target = nullptr; });
}

std::string PluginApi::Text(bav::BufferProc proc) const {
    int32_t length = proc(nullptr, 0);
    if (length <= 0 || length > 65536) return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1, 0);
    int32_t got = proc(buffer.data(), length);
    if (got < 0 || got > length) got = length;
    return std::string(buffer.data(), static_cast<size_t>(got));
}

std::string ProgramFolder() {
    char path[MAX_PATH] = "";
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n < MAX_PATH ? n : 0);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".\\") : folder.substr(0, slash + 1);
}
