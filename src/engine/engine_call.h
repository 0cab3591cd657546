// Guarded calls into an engine library, and the libraries that faulted. A
// fault inside a call becomes the failure answer -1, one trace
// "EXCEPTION: <code> at <address> in <operation>" and one "ERROR: " log line
// (both written here; callers add nothing). Internal to src/engine.
#pragma once

#include <windows.h>

#include <cstdint>

#include "orlix/contract.h"

// ORLIX_InitDll under the guard. Null when it refused or faulted (*faulted).
void* CallEngineInit(HMODULE library, orlix::EngineInitProc init, bool* faulted);

// entry(0, operation, args...) under the guard; argc 0 to 4. False when the
// engine faulted: *result is then -1 and the library counts as faulted.
bool CallEngineEntry(HMODULE library, orlix::EngineEntryProc entry, int32_t operation, int argc, const uint32_t* args,
                     int32_t* result);

// True for a library that faulted while the plug-in is loaded: it is never
// called again, not even by its DllMain through FreeLibrary.
bool EngineLibraryFaulted(HMODULE library);
