// A callback table of the benchmark's own, served from real files, so the
// engine DLL is measured under Wine without the plug-in in between.
#pragma once

#include <string>
#include <vector>

#include "engine/contract.h"

const orlix::CallbackSlot* BenchHostTable();
// Temporary files of the engine are made in this folder.
void SetBenchTempFolder(const std::string& folder);

// The files (not folders) of a folder, with their paths.
std::vector<std::string> BenchFiles(const std::string& folder);
// Reads every file in 64 KB ReadFile calls; the bytes read, or -1 on an error.
long long BenchReadAll(const std::vector<std::string>& files);
// Binds the orlix32.dll in folder (relative to this program's own, e.g.
// "..\\refengine\\") to the benchmark's table; null when it cannot.
orlix::EngineEntryProc LoadBenchEngine(const char* folder);
