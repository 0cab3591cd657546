// The host as the plug-in serves it: its callback table, bound once per
// ORLIX_InitDll.
#pragma once

#include <cstdint>

#include "engine_boundary.h"
#include "host.h"

namespace refengine {

class CallbackHost : public Host {
public:
    // False, and nothing bound, when a slot the engine needs is missing.
    bool Bind(const orlix::CallbackSlot* table, int32_t count);
    bool bound() const { return table_.bound(); }

    void* Alloc(uint32_t size) override;
    void Free(void* block) override;
    int32_t Open(const char* name, int32_t mode) override;
    int32_t CreateTemp(char (&name)[orlix::kTempNameBufferSize]) override;
    int32_t Close(int32_t handle) override;
    int32_t Read(int32_t handle, void* buffer, uint32_t count) override;
    int32_t Write(int32_t handle, const void* buffer, uint32_t count) override;
    int32_t Seek(int32_t handle, uint32_t offset) override;
    int32_t Length(int32_t handle) override;
    int32_t SetSize(int32_t handle, uint32_t size) override;
    int32_t Delete(const char* name) override;
    void Trace(const char* text) override;

private:
    engineboundary::HostTable table_;
};

}  // namespace refengine
