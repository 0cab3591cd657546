#include "engine/allocator.h"

#include <windows.h>

#include <cstdarg>
#include <mutex>
#include <unordered_set>

namespace {

constexpr uint32_t kHeaderSize = sizeof(uint32_t);

// The blocks handed out. Releasing only what is listed here keeps an address
// the engine never got from us (or frees twice) away from GlobalFree, which
// would corrupt the mail client's heap.
struct Registry {
    std::mutex lock;
    std::unordered_set<uintptr_t> blocks;
};

Registry& Blocks() {
    static Registry registry;
    return registry;
}

void DebugLine(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    wvsprintfA(line, format, args);
    va_end(args);
    OutputDebugStringA(line);
}

}  // namespace

void* BlockAllocate(uint32_t size) {
    if (size > UINT32_MAX - kHeaderSize) return nullptr;
    void* storage = GlobalAlloc(GMEM_ZEROINIT, size + kHeaderSize);
    if (!storage) return nullptr;
    *static_cast<uint32_t*>(storage) = size;
    void* block = static_cast<char*>(storage) + kHeaderSize;
    try {
        std::lock_guard<std::mutex> hold(Blocks().lock);
        Blocks().blocks.insert(reinterpret_cast<uintptr_t>(block));
    } catch (...) {
        GlobalFree(storage);
        return nullptr;
    }
    return block;
}

bool BlockRelease(void* block) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(block);
    uint32_t* header = static_cast<uint32_t*>(block) - 1;
    std::lock_guard<std::mutex> hold(Blocks().lock);
    if (!Blocks().blocks.count(address) || IsBadReadPtr(header, kHeaderSize)) {
        DebugLine("Mem: memory block corruped (%08X) - bad header\n", static_cast<unsigned>(address));
        return false;
    }
    if (IsBadReadPtr(block, *header)) {
        DebugLine("Mem: memory block corrupted (%08X) - size mismatch (%u)\n", static_cast<unsigned>(address),
                  static_cast<unsigned>(*header));
        return false;
    }
    Blocks().blocks.erase(address);
    GlobalFree(header);
    return true;
}

int32_t LiveBlockCount() {
    std::lock_guard<std::mutex> hold(Blocks().lock);
    return static_cast<int32_t>(Blocks().blocks.size());
}
