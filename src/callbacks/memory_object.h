// The host's memory block under check, handed to the engine as a file named
// by orlix::kMemoryObjectNameFormat: the memory side of the object callbacks. Every answer is the
// callback's own (-1 on failure).
#pragma once

#include <cstdint>

#include "callbacks/descriptors.h"

// The block being checked. The open callback serves a memory-form name only
// when it names exactly this block, so an engine (or a crafted name) cannot
// make the plug-in read arbitrary memory of the mail client.
void SetCheckedMemoryBlock(uint32_t address, int32_t size);
void ClearCheckedMemoryBlock();

// The name has the memory form; the caller read it whole.
bool IsMemoryObjectName(const char* name);
int32_t OpenMemoryObject(const char* name, int32_t mode);
int32_t ReadMemoryObject(ObjectDescriptor* d, void* buffer, uint32_t count);
int32_t WriteMemoryObject(ObjectDescriptor* d, const void* buffer, uint32_t count);
int32_t SeekMemoryToStart(ObjectDescriptor* d);
int32_t SeekMemoryToEnd(ObjectDescriptor* d);
int32_t SeekMemoryFromStart(ObjectDescriptor* d, uint32_t distance);
int32_t SeekMemoryFromCurrent(ObjectDescriptor* d, uint32_t distance);
int32_t SeekMemoryFromEnd(ObjectDescriptor* d, uint32_t distance);
