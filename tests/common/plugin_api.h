// The plug-in's entry points as the mail client sees them: loaded with
// LoadLibraryA and called through typed stdcall pointers.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "plugin/bav_abi.h"

struct PluginApi {
    typedef bav::NoArgsProc NoArgs;
    typedef bav::BufferProc BufferLength;
    typedef bav::CfgDataProc TwoWords;
    typedef bav::FileProc FileStatus;
    typedef bav::MemoryProc MemoryStatus;
    typedef bav::CureMemoryProc CureMemoryProc;
    typedef bav::CheckStreamProc CheckStreamProc;
    typedef bav::CureStreamProc CureStreamProc;

    HMODULE module = nullptr;
    NoArgs Initialize = nullptr;
    NoArgs Uninitialize = nullptr;
    BufferLength GetName = nullptr;
    BufferLength GetVersion = nullptr;
    TwoWords SetCfgData = nullptr;
    TwoWords GetCfgData = nullptr;
    NoArgs GetStatus = nullptr;
    NoArgs Setup = nullptr;
    NoArgs MemoryChecking = nullptr;
    NoArgs FileChecking = nullptr;
    NoArgs StreamChecking = nullptr;
    FileStatus CheckFile = nullptr;
    FileStatus CureFile = nullptr;
    MemoryStatus CheckMemory = nullptr;
    CureMemoryProc CureMemory = nullptr;
    CheckStreamProc CheckStream = nullptr;
    CureStreamProc CureStream = nullptr;
    NoArgs ComNeeded = nullptr;
    NoArgs ConfigNeeded = nullptr;

    // Loads orlix.bav from the test's folder (or the given path); true when
    // every entry point was found.
    bool Load(const std::string& path = "orlix.bav");
    void Unload();
    ~PluginApi() { Unload(); }
};

// Folder of the running test executable, with a trailing backslash.
std::string ExecutableFolder();
