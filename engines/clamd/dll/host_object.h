// The host's callback table, as far as the bridge needs it: objects (files
// and the plug-in's memory blocks alike) are opened and read through it.
#pragma once

#include <cstdint>

#include "bridge.h"
#include "engine_boundary.h"
#include "orlix/contract.h"

namespace clamdbridge {

// Binds the slots the bridge needs; false when the table lacks one.
bool BindHostTable(engineboundary::HostTable& host, const orlix::CallbackSlot* table, int32_t count);

class HostObject : public ObjectReader {
public:
    HostObject(const engineboundary::HostTable& host, const char* name) : host_(host), name_(name) {}
    ~HostObject() override { Close(); }
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;
    bool Open(uint64_t* size) override;
    int32_t Read(unsigned char* buffer, uint32_t count) override;
    void Close() override;

private:
    const engineboundary::HostTable& host_;
    const char* name_;
    int32_t handle_ = -1;
};

}  // namespace clamdbridge
