// A BAV plug-in loaded the way the mail client loads it: LoadLibraryA,
// GetProcAddress and typed stdcall pointers. Shared by bavhost and the tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "orlix/bav_abi.h"

class PluginApi {
public:
    PluginApi() = default;
    ~PluginApi() { Unload(); }
    PluginApi(const PluginApi&) = delete;
    PluginApi& operator=(const PluginApi&) = delete;

    HMODULE module = nullptr;
    bav::NoArgsProc Initialize = nullptr;
    bav::NoArgsProc Uninitialize = nullptr;
    bav::BufferProc GetName = nullptr;
    bav::BufferProc GetVersion = nullptr;
    bav::NoArgsProc GetStatus = nullptr;
    bav::NoArgsProc Setup = nullptr;
    bav::NoArgsProc MemoryChecking = nullptr;
    bav::NoArgsProc FileChecking = nullptr;
    bav::NoArgsProc StreamChecking = nullptr;
    bav::FileProc CheckFile = nullptr;
    bav::FileProc CureFile = nullptr;
    bav::MemoryProc CheckMemory = nullptr;
    bav::NoArgsProc ComNeeded = nullptr;
    bav::NoArgsProc ConfigNeeded = nullptr;
    // Entry points older plug-ins lack: null when missing.
    bav::CfgDataProc SetCfgData = nullptr;
    bav::CfgDataProc GetCfgData = nullptr;
    bav::CureMemoryProc CureMemory = nullptr;
    bav::CheckStreamProc CheckStream = nullptr;
    bav::CureStreamProc CureStream = nullptr;

    // Empty on success, else what went wrong (the file or a missing export
    // other than the optional ones).
    std::string Open(const std::string& path);
    // Loads orlix.bav from the current folder (or the given path); true when
    // every entry point, the optional ones included, was found.
    bool Load(const std::string& path = "orlix.bav");
    void Unload();
    // Asks with a null buffer first, then fetches the whole text.
    std::string Text(bav::BufferProc proc) const;

private:
    template <typename Visit>
    void ForEachEntry(Visit visit);
};

// The folder of the running program, with a trailing backslash.
std::string ProgramFolder();
