// A callback table of the test's own, served from real files, so the
// engine is tested without the plug-in. It counts what the engine asked for.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/contract.h"

struct HostCounters {
    int64_t allocated = 0;  // bytes currently held through SlotAlloc
    int64_t peakAllocated = 0;
    int opened = 0;  // open handles
    int tempFilesCreated = 0;
    int tempFilesDeleted = 0;
    int64_t syntheticRead = 0;
};

const orlix::CallbackSlot* TestHostTable();
HostCounters& TestHostCounters();
void ResetTestHostCounters();
// Temporary files of the engine are made in this folder.
void SetTestTempFolder(const std::string& folder);

// Objects named "synthetic:<size>:<offset>[:<length>]" read as <size> bytes
// of filler with the test file's text placed at <offset> (none when offset
// is -1), and tell <length> (default <size>) as their length: large objects
// without large files on disk.
constexpr char kSyntheticPrefix[] = "synthetic:";
