// Threads: the set is read and changed under its lock by whichever thread
// the engine calls back on (the host's during checks, a search worker's
// during a probe).
#include "callbacks/descriptors.h"

#include <mutex>
#include <unordered_set>

#include "base/lock.h"
#include "callbacks/allocator.h"
#include "orlix/contract.h"

namespace {

Locked<std::unordered_set<uintptr_t>>& IssuedHandles() {
    static Locked<std::unordered_set<uintptr_t>> issued;
    return issued;
}

}  // namespace

int32_t IssueObject(ObjectKind kind, uint32_t handle, uint32_t size, uint32_t mode) {
    ObjectDescriptor* d = static_cast<ObjectDescriptor*>(BlockAllocate(sizeof(ObjectDescriptor)));
    if (!d) return orlix::kCallbackFailure;
    *d = ObjectDescriptor{kind, handle, size, 0, mode};
    try {
        std::lock_guard<CriticalSection> hold(IssuedHandles().lock);
        IssuedHandles().value.insert(reinterpret_cast<uintptr_t>(d));
    } catch (...) {
        BlockRelease(d);
        return orlix::kCallbackFailure;
    }
    return static_cast<int32_t>(reinterpret_cast<uintptr_t>(d));
}

ObjectDescriptor* IssuedObject(uint32_t handle) {
    // Looked up before it is read: an address that merely looks like a
    // descriptor may be anything, even unreadable.
    {
        std::lock_guard<CriticalSection> hold(IssuedHandles().lock);
        if (!handle || !IssuedHandles().value.count(handle)) return nullptr;
    }
    ObjectDescriptor* d = reinterpret_cast<ObjectDescriptor*>(static_cast<uintptr_t>(handle));
    return d->kind == KindFile || d->kind == KindMemory ? d : nullptr;
}

void RetireObject(ObjectDescriptor* d) {
    {
        std::lock_guard<CriticalSection> hold(IssuedHandles().lock);
        IssuedHandles().value.erase(reinterpret_cast<uintptr_t>(d));
    }
    BlockRelease(d);
}

int32_t OpenCallbackObjects() {
    std::lock_guard<CriticalSection> hold(IssuedHandles().lock);
    return static_cast<int32_t>(IssuedHandles().value.size());
}
