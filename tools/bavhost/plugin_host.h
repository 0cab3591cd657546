// A BAV plug-in loaded the way the mail client loads it: LoadLibraryA,
// GetProcAddress and stdcall function pointers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/unique_handle.h"
#include "plugin/bav_abi.h"

struct BavPlugin {
    typedef bav::NoArgsProc NoArgs;
    typedef bav::BufferProc BufferLength;
    typedef bav::FileProc FileStatus;
    typedef bav::MemoryProc MemoryStatus;

    NoArgs Initialize = nullptr;
    NoArgs Uninitialize = nullptr;
    BufferLength GetName = nullptr;
    BufferLength GetVersion = nullptr;
    NoArgs GetStatus = nullptr;
    NoArgs Setup = nullptr;
    NoArgs MemoryChecking = nullptr;
    NoArgs FileChecking = nullptr;
    NoArgs StreamChecking = nullptr;
    FileStatus CheckFile = nullptr;
    FileStatus CureFile = nullptr;
    MemoryStatus CheckMemory = nullptr;
    NoArgs ComNeeded = nullptr;
    NoArgs ConfigNeeded = nullptr;

    // Empty on success, else what went wrong (file or missing export).
    std::string Load(const std::string& path);
    // Asks with a null buffer first, then fetches the whole text.
    std::string Text(BufferLength proc) const;

private:
    win::unique_hmodule module_;
};

// The folder of bavhost.exe, with a trailing backslash.
std::string HostFolder();
