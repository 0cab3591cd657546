// The block allocator shared by the engine (through OrlixAlloc / OrlixFree)
// and the callback descriptors. A block is GlobalAlloc'd storage, zero-filled,
// with the requested size in a word ahead of the address handed out.
#pragma once

#include <cstdint>

// Null when the block cannot be allocated.
void* BlockAllocate(uint32_t size);

// Releases a block handed out by BlockAllocate. A block that this allocator
// does not know, or whose size word was overwritten, is reported on the
// debugger output and not released. False when it was not released.
bool BlockRelease(void* block);

// Blocks handed out and not yet released.
int32_t LiveBlockCount();
