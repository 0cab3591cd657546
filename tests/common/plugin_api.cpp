#include "common/plugin_api.h"

#include <cstring>

namespace {
template <typename T>
bool Bind(HMODULE module, const char* name, T& target) {
    target = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return target != nullptr;
}
}  // namespace

bool PluginApi::Load(const std::string& path) {
    Unload();
    module = LoadLibraryA(path.c_str());
    if (!module) return false;
    bool ok = true;
    ok &= Bind(module, "BAV_Initialize", Initialize);
    ok &= Bind(module, "BAV_Uninitialize", Uninitialize);
    ok &= Bind(module, "BAV_GetName", GetName);
    ok &= Bind(module, "BAV_GetVersion", GetVersion);
    ok &= Bind(module, "BAV_SetCfgData", SetCfgData);
    ok &= Bind(module, "BAV_GetCfgData", GetCfgData);
    ok &= Bind(module, "BAV_GetStatus", GetStatus);
    ok &= Bind(module, "BAV_Setup", Setup);
    ok &= Bind(module, "BAV_MemoryChecking", MemoryChecking);
    ok &= Bind(module, "BAV_FileChecking", FileChecking);
    ok &= Bind(module, "BAV_StreamChecking", StreamChecking);
    ok &= Bind(module, "BAV_CheckFile", CheckFile);
    ok &= Bind(module, "BAV_CureFile", CureFile);
    ok &= Bind(module, "BAV_CheckMemory", CheckMemory);
    ok &= Bind(module, "BAV_CureMemory", CureMemory);
    ok &= Bind(module, "BAV_CheckStream", CheckStream);
    ok &= Bind(module, "BAV_CureStream", CureStream);
    ok &= Bind(module, "BAV_ComNeeded", ComNeeded);
    ok &= Bind(module, "BAV_ConfigNeeded", ConfigNeeded);
    return ok;
}

void PluginApi::Unload() {
    if (!module) return;
    FreeLibrary(module);
    PluginApi empty;
    empty.module = nullptr;
    memcpy(static_cast<void*>(this), &empty, sizeof *this);
}

std::string ExecutableFolder() {
    char path[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}
