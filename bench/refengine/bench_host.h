// A callback table of the benchmark's own, served from real files, so the
// engine DLL is measured under Wine without the plug-in in between.
#pragma once

#include <string>

#include "engine/contract.h"

const orlix::CallbackSlot* BenchHostTable();
// Temporary files of the engine are made in this folder.
void SetBenchTempFolder(const std::string& folder);
