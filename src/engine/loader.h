// Binding the engine library orlix32.dll and loading its virus bases.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "orlix/contract.h"

// Binds orlix32.dll from EnginePath, then offers every *.vdb of BasePath.
bool LoadEngine();
bool BindEngine(const std::string& path, bool probe);
bool LoadBases();

// The engine bound for scanning.
struct BoundEngine {
    HMODULE library;
    orlix::EngineEntryProc entry;
};
// True, with *bound filled when given, while the bound engine is ready: the
// last initialisation bound a supported engine that loaded at least one virus
// record, and it has not faulted since. The one answer to "is it ready".
bool ReadyEngine(BoundEngine* bound);

// Version (major * 100 + minor) of the library at path, or 0. Never touches
// the binding used for scanning; safe on any thread.
int32_t ProbeEngine(const std::string& path);

// Library unload: frees the bound engine library when the plug-in itself is
// being unloaded (not at process exit).
void ReleaseEngine(bool processExiting);
