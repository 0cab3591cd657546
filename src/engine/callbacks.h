// The callback table handed to the engine: how it reaches files and the
// host's memory blocks.
#pragma once

#include <cstdint>

#include "engine/contract.h"

const orlix::CallbackSlot* EngineFileCallbacks();

// The memory block being checked. The open callback serves a memory-form
// name only when it names exactly this block, so an engine (or a crafted
// name) cannot make the plug-in read arbitrary memory of the mail client.
void SetCheckedMemoryBlock(uint32_t address, int32_t size);
void ClearCheckedMemoryBlock();

// Objects the engine opened through the table and has not closed yet.
int32_t OpenCallbackObjects();
