// Library load and unload, and the sequences behind BAV_Initialize,
// BAV_Setup and BAV_Uninitialize.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr char kPluginVersionString[] = "4.31.0.04020";

void OnLibraryLoad(HINSTANCE instance);
// processExiting: the whole process is going away (DllMain's reserved
// argument is non-null); the system unloads every module on its own then.
void OnLibraryUnload(bool processExiting);

// Loads the settings, writes the start-up banner and loads the engine:
// 0 when the engine and at least one virus record were loaded, else -3.
int32_t InitializePlugin();

int32_t PluginInitialize();
int32_t PluginSetup();
int32_t PluginUninitialize();
