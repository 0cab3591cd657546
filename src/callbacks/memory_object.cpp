// Threads: the checked block is set and cleared by the host's thread around
// a memory check, and read by the callbacks the engine makes during it.
#include "callbacks/memory_object.h"

#include <windows.h>

#include <cstring>

#include "base/guard.h"
#include "base/trace.h"
#include "orlix/contract.h"

namespace {

struct CheckedBlock {
    bool active = false;
    uint32_t address = 0;
    uint32_t size = 0;
};
CheckedBlock g_checked;

// The host's block may be gone once its check has returned: a memory object
// the engine kept open past that point reads and writes nothing.
bool BlockInCheck(const ObjectDescriptor* d) {
    return g_checked.active && d->handle == g_checked.address && d->size == g_checked.size;
}

uint32_t ParseHex(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    uint32_t value = 0;
    for (;; ++p) {
        char c = *p;
        uint32_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            return value;
        }
        value = value * 16 + digit;
    }
}

// Either side may be bad memory; a fault becomes a failed read or write,
// not a crash.
bool CopyTraced(void* to, const void* from, uint32_t count, const char* callback) {
    GuardFault fault;
    if (GuardedCopy(to, from, count, &fault)) return true;
    char text[96];
    wsprintfA(text, "EXCEPTION: %08X at %08X in %s", static_cast<unsigned>(fault.code),
              static_cast<unsigned>(fault.address), callback);
    try {
        TraceCall(text);
    } catch (...) {
        // Out of memory for the trace: the read or write still fails cleanly.
    }
    return false;
}

char* BlockAt(const ObjectDescriptor* d) { return reinterpret_cast<char*>(static_cast<uintptr_t>(d->handle)); }

}  // namespace

void SetCheckedMemoryBlock(uint32_t address, int32_t size) {
    g_checked.address = address;
    g_checked.size = static_cast<uint32_t>(size);
    g_checked.active = true;
}

void ClearCheckedMemoryBlock() { g_checked = CheckedBlock(); }

bool IsMemoryObjectName(const char* name) {
    return strnlen(name, orlix::kMemoryObjectNameLength + 1) == static_cast<size_t>(orlix::kMemoryObjectNameLength) &&
           strncmp(name, orlix::kMemoryObjectPrefix, sizeof orlix::kMemoryObjectPrefix - 1) == 0 &&
           name[orlix::kMemoryObjectSeparatorOffset] == '#';
}

int32_t OpenMemoryObject(const char* name, int32_t mode) {
    const uint32_t address = ParseHex(name + orlix::kMemoryObjectAddressOffset);
    const uint32_t size = ParseHex(name + orlix::kMemoryObjectSizeOffset);
    // Only the block being checked, and never a negative size: that would
    // let the engine read past the block into the host's memory.
    if (!g_checked.active || address != g_checked.address || size != g_checked.size || static_cast<int32_t>(size) < 0)
        return orlix::kCallbackFailure;
    return IssueObject(KindMemory, address, size, static_cast<uint32_t>(mode));
}

int32_t ReadMemoryObject(ObjectDescriptor* d, void* buffer, uint32_t count) {
    if (!BlockInCheck(d)) return orlix::kCallbackFailure;
    uint32_t n = d->size - d->position;
    if (count < n) n = count;
    if (!CopyTraced(buffer, BlockAt(d) + d->position, n, "OrlixReadFile")) return orlix::kCallbackFailure;
    d->position += n;
    return static_cast<int32_t>(n);
}

int32_t WriteMemoryObject(ObjectDescriptor* d, const void* buffer, uint32_t count) {
    if (!BlockInCheck(d)) return orlix::kCallbackFailure;
    uint32_t n = d->size - d->position;
    if (count < n) n = count;
    if (!CopyTraced(BlockAt(d) + d->position, buffer, n, "OrlixWriteFile")) return orlix::kCallbackFailure;
    d->position += n;
    return static_cast<int32_t>(n);
}

int32_t SeekMemoryToStart(ObjectDescriptor* d) {
    d->position = 0;
    // 1, not the new position 0: the interface answers so for a memory block
    // (a file answers 0). Engines may test this answer only against -1.
    return 1;
}

int32_t SeekMemoryToEnd(ObjectDescriptor* d) {
    d->position = d->size;
    return static_cast<int32_t>(d->size);
}

int32_t SeekMemoryFromStart(ObjectDescriptor* d, uint32_t distance) {
    if (distance > d->size) return orlix::kCallbackFailure;
    d->position = distance;
    return static_cast<int32_t>(distance);
}

int32_t SeekMemoryFromCurrent(ObjectDescriptor* d, uint32_t distance) {
    if (distance > d->size - d->position) return orlix::kCallbackFailure;
    d->position += distance;
    return static_cast<int32_t>(d->position);
}

int32_t SeekMemoryFromEnd(ObjectDescriptor* d, uint32_t distance) {
    if (distance > d->size) return orlix::kCallbackFailure;
    d->position = d->size - distance;
    return static_cast<int32_t>(d->position);
}
