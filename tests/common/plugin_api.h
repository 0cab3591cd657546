// The plug-in's entry points as the mail client sees them: loaded with
// LoadLibraryA and called through typed stdcall pointers.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <cstdint>
#include <string>

struct PluginApi {
    typedef int32_t(__stdcall* NoArgs)();
    typedef int32_t(__stdcall* BufferLength)(char*, int32_t);
    typedef int32_t(__stdcall* TwoWords)(int32_t, int32_t);
    typedef int32_t(__stdcall* FileStatus)(const char*, char*);
    typedef int32_t(__stdcall* MemoryStatus)(uint32_t, int32_t, char*);
    typedef int32_t(__stdcall* CureMemoryProc)(const uint32_t*, const int32_t*, int32_t);
    typedef int32_t(__stdcall* CheckStreamProc)(IUnknown*, int32_t);
    typedef int32_t(__stdcall* CureStreamProc)(IUnknown*, IUnknown*, int32_t);

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
