// The host side of the engine's callback table where the engine core is
// built natively: files on disk, objects served from memory, large
// synthetic objects and temporary files in a folder of the test's. It counts
// what the engine asked for, so tests can see leaks and bounded memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "orlix/contract.h"

namespace nativehost {

struct Counters {
    int64_t allocated = 0;  // bytes currently held through SlotAlloc
    int64_t peakAllocated = 0;
    int opened = 0;  // open handles
    int tempFilesCreated = 0;
    int tempFilesDeleted = 0;
    int64_t syntheticRead = 0;
    int64_t reads = 0;  // read callbacks, whatever object they read
};

const orlix::CallbackSlot* Table();
Counters& counters();
// Starts a new count; what is still held or open stays counted.
void ResetCounters();
// Temporary files of the engine are made in this folder.
void SetTempFolder(const std::string& folder);
// Opens for writing fail, as when another process holds the file.
void RefuseWrites(bool refuse);
// Whether "synthetic:" names (below) open; a fuzzer of base files turns
// them off, since a base naming one would read exabytes of filler.
void ServeSynthetic(bool serve);

// Serves bytes the caller keeps alive under the name returned, read-only,
// until ForgetMemoryObjects.
std::string ServeMemory(const void* data, size_t size);
void ForgetMemoryObjects();

// Objects named "synthetic:<size>:<offset>[:<length>]" read as <size> bytes
// of filler with the anti-virus test file placed at <offset> (none when
// offset is -1), and tell <length> (default <size>) as their length: large
// objects without large files on disk.
constexpr char kSyntheticPrefix[] = "synthetic:";

}  // namespace nativehost
