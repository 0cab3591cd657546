// The callback table handed to the engine: how it reaches files, the host's
// memory blocks and the block allocator.
#pragma once

#include "orlix/contract.h"

const orlix::CallbackSlot* EngineFileCallbacks();
