// The one export the counted test build adds: the plug-in's own counts of
// what it holds for the engine, read by the leak checks.
#include <cstdint>

#include "callbacks/allocator.h"
#include "callbacks/descriptors.h"
#include "scan/scan_internal.h"

extern "C" void __stdcall ORLIX_TestCounters(int32_t* openObjects, int32_t* liveBlocks, int32_t* archiveDepth) {
    if (openObjects) *openObjects = OpenCallbackObjects();
    if (liveBlocks) *liveBlocks = LiveBlockCount();
    if (archiveDepth) *archiveDepth = ArchiveDepth();
}
