// The engine's only way to the outside world: files by name, the host's
// memory blocks, temporary files, large allocations and a trace line. The
// DLL serves it from the plug-in's callback table; tests may serve it
// themselves.
#pragma once

#include <cstdint>

#include "orlix/contract.h"

namespace refengine {

class Host {
public:
    virtual ~Host() = default;
    // Handles are the host's 32-bit values, -1 on failure.
    virtual void* Alloc(uint32_t size) = 0;
    virtual void Free(void* block) = 0;
    virtual int32_t Open(const char* name, int32_t mode) = 0;
    virtual int32_t CreateTemp(char (&name)[orlix::kTempNameBufferSize]) = 0;
    virtual int32_t Close(int32_t handle) = 0;
    virtual int32_t Read(int32_t handle, void* buffer, uint32_t count) = 0;
    virtual int32_t Write(int32_t handle, const void* buffer, uint32_t count) = 0;
    virtual int32_t Seek(int32_t handle, uint32_t offset) = 0;
    virtual int32_t Length(int32_t handle) = 0;
    virtual int32_t SetSize(int32_t handle, uint32_t size) = 0;
    virtual int32_t Delete(const char* name) = 0;
    // A line for a debugger watching the process.
    virtual void Trace(const char* text) = 0;
};

}  // namespace refengine
