// Threads: the registry is read and changed under its lock; the engine may
// allocate on the host's thread and on a search worker's during a probe.
#include "callbacks/allocator.h"

#include <windows.h>

#include <cstdarg>
#include <mutex>
#include <unordered_map>

#include "base/lock.h"

namespace {

constexpr uint32_t kHeaderSize = sizeof(uint32_t);

// The blocks handed out, with their sizes. Releasing only what is listed
// here keeps an address the engine never got from us (or frees twice) away
// from GlobalFree, which would corrupt the mail client's heap.
Locked<std::unordered_map<uintptr_t, uint32_t>>& Blocks() {
    static Locked<std::unordered_map<uintptr_t, uint32_t>> registry;
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
        std::lock_guard<CriticalSection> hold(Blocks().lock);
        Blocks().value.emplace(reinterpret_cast<uintptr_t>(block), size);
    } catch (...) {
        GlobalFree(storage);
        return nullptr;
    }
    return block;
}

bool BlockRelease(void* block) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(block);
    std::lock_guard<CriticalSection> hold(Blocks().lock);
    const auto found = Blocks().value.find(address);
    if (found == Blocks().value.end()) {
        // "corruped" as the interface has it: debugger-output watchers match it.
        DebugLine("Mem: memory block corruped (%08X) - bad header\n", static_cast<unsigned>(address));
        return false;
    }
    // Listed, so the header is ours and readable; a size that changed means
    // the engine wrote in front of its block.
    uint32_t* header = static_cast<uint32_t*>(block) - 1;
    if (*header != found->second) {
        DebugLine("Mem: memory block corrupted (%08X) - size mismatch (%u)\n", static_cast<unsigned>(address),
                  static_cast<unsigned>(*header));
        return false;
    }
    Blocks().value.erase(found);
    GlobalFree(header);
    return true;
}

int32_t LiveBlockCount() {
    std::lock_guard<CriticalSection> hold(Blocks().lock);
    return static_cast<int32_t>(Blocks().value.size());
}
