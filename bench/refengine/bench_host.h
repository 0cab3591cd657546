// What the Wine benchmarks share: the files of a folder, a raw read of them,
// and an engine DLL bound to the plug-in's own callback table (so the engine
// is measured under Wine with the host side the plug-in gives it, but
// without the plug-in's checks in between).
#pragma once

#include <string>
#include <vector>

#include "orlix/contract.h"

// The files (not folders) of a folder, with their paths.
std::vector<std::string> BenchFiles(const std::string& folder);
// Reads every file in 64 KB ReadFile calls; the bytes read, or -1 on an error.
long long BenchReadAll(const std::vector<std::string>& files);
// Binds the orlix32.dll in folder (relative to this program's own, e.g.
// "..\\refengine\\") to the plug-in's table; its temporary files go to the
// current folder; null when it cannot.
orlix::EngineEntryProc LoadBenchEngine(const char* folder);
