// The host's callback table, as far as the bridge needs it: objects (files
// and the plug-in's memory blocks alike) are opened and read through it.
#pragma once

#include <cstdint>

#include "bridge.h"
#include "orlix/contract.h"

namespace clamdbridge {

// False when the table lacks a slot the bridge needs.
bool BindHost(const orlix::CallbackSlot* table, int32_t count);
bool HostBound();

class HostObject : public ObjectReader {
public:
    explicit HostObject(const char* name) : name_(name) {}
    ~HostObject() override { Close(); }
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;
    bool Open(uint64_t* size) override;
    int32_t Read(unsigned char* buffer, uint32_t count) override;
    void Close() override;

private:
    const char* name_;
    int32_t handle_ = -1;
};

}  // namespace clamdbridge
