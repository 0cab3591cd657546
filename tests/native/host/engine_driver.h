// Drives the engine linked into a native program the way the plug-in does:
// bind, check, read the names, walk reported archives level by level.
#pragma once

#include <cstdint>
#include <string>

#include "engine_boundary.h"
#include "match/database.h"
#include "orlix/contract.h"

namespace nativehost {

// A fresh binding of the engine to the native host's table (bases dropped).
orlix::EngineEntryProc BindEngine();

// The records of the engine bound last, for tests that choose its filter
// path or read its tables.
refengine::Database& BoundDatabase();

std::string Hex(int32_t value);
std::string VirusName(orlix::EngineEntryProc entry);
std::string ArchiverName(orlix::EngineEntryProc entry, int32_t* answer = nullptr);
// Walks the archive the last answer reported and describes it:
// "member=flags" per member, nested walks in brackets, finds with the virus
// name in parentheses, "end" or the failing step.
std::string Walk(orlix::EngineEntryProc entry);
// The same for an engine object driven directly, without a DLL's door.
std::string Walk(engineboundary::Engine& engine);

}  // namespace nativehost
