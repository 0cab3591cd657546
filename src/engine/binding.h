// The engine binding shared by the loader and the engine operations, and the
// guarded calls into an engine library. Internal to src/engine.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "engine/contract.h"

// The binding used for scanning; owned by the loader.
struct EngineBinding {
    // Read by a probe on another thread, hence atomic.
    std::atomic<HMODULE> library{nullptr};
    std::atomic<int32_t> version{0};
    orlix::EngineEntryProc entry = nullptr;
    // The last initialisation bound a supported engine that loaded at least
    // one virus record, and no fault happened since.
    std::atomic<bool> ready{false};
};
EngineBinding& Binding();

// ORLIX_InitDll under the guard. Null when it refused or faulted (*faulted).
void* CallEngineInit(HMODULE library, orlix::EngineInitProc init, bool* faulted);

// entry(0, operation, args...) under the guard; argc 0 to 4. False when the
// engine faulted: the fault is traced and logged, the library is marked as
// faulted, and *result is -1.
bool CallEngineEntry(HMODULE library, orlix::EngineEntryProc entry, int32_t operation, int argc, const uint32_t* args,
                     int32_t* result);

// True for a library that faulted while the plug-in is loaded: it is never
// called again, not even by its DllMain through FreeLibrary.
bool EngineLibraryFaulted(HMODULE library);
