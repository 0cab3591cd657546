#include "engine/callbacks.h"

namespace {
orlix::CallbackSlot g_table[orlix::kCallbackSlotCount] = {};
}

const orlix::CallbackSlot* EngineFileCallbacks() { return g_table; }
void SetCheckedMemoryBlock(uint32_t, int32_t) {}
void ClearCheckedMemoryBlock() {}
