// The objects the engine opened through the callbacks. The handle handed to
// the engine is the address of its descriptor; only handles issued here and
// not yet retired are valid, whatever else the engine passes.
#pragma once

#include <cstdint>

enum ObjectKind : uint32_t { KindFile = 0, KindMemory = 1 };

struct ObjectDescriptor {
    uint32_t kind;
    uint32_t handle;  // file handle, or the memory block's address
    uint32_t size;    // memory blocks only
    uint32_t position;
    uint32_t mode;
};

// A new descriptor; its handle, or -1 when none can be made.
int32_t IssueObject(ObjectKind kind, uint32_t handle, uint32_t size, uint32_t mode);
// The descriptor behind an issued handle, or null.
ObjectDescriptor* IssuedObject(uint32_t handle);
// Forgets the handle and releases its descriptor.
void RetireObject(ObjectDescriptor* d);

// Objects the engine opened through the table and has not closed yet.
int32_t OpenCallbackObjects();
