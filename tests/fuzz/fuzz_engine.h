// What the engine's fuzz targets share: the engine bound to the native host
// once per process, bases served from memory, and the checks every input
// must pass (handles closed, host memory given back).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "orlix/contract.h"

namespace fuzz {

// The engine, bound once; bases loaded before stay loaded.
orlix::EngineEntryProc Engine();
// A fresh binding: no records loaded.
orlix::EngineEntryProc Rebind();
// Loads base text as one base file; the engine's answer.
int32_t LoadBaseText(const std::string& text);
// Checks bytes as one object and walks every archive the engine reports,
// nested ones included, as the plug-in does; the answer of the check.
int32_t CheckAndWalk(const uint8_t* data, size_t size);
// Traps unless everything the engine opened or allocated for the input is
// back: a leak in the mail client's process is a finding.
void ExpectNothingHeld();

// Every bit an engine answer may carry.
constexpr uint32_t kContractBits =
    orlix::kVirusFoundBits | orlix::ResultCured | orlix::ResultIncurable | orlix::ResultReadError |
    orlix::ResultWriteError | orlix::ResultUnpackError | orlix::ResultPasswordProtected | orlix::ResultArchive |
    orlix::ResultCrcError | orlix::ResultBadArchiveHeader | orlix::ResultNoMoreMembers | orlix::ResultSplitArchive;

// Records the ZIP and matcher targets load besides the default base:
// wildcards, gaps, an offset, an EOF form, and a hash record.
extern const char kExtraRecords[];

}  // namespace fuzz
