// The engine's only way to the outside world: the callback table the host
// hands to ORLIX_InitDll. Files, the host's memory blocks, temporary files
// and large allocations all go through it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "orlix/contract.h"

namespace refengine {

// Binds the host's table; false when a slot the engine needs is missing.
bool BindHost(const orlix::CallbackSlot* table, int32_t count);
bool HostBound();

// Thin wrappers; handles are the host's 32-bit values, -1 on failure.
void* HostAlloc(uint32_t size);
void HostFree(void* block);
int32_t HostOpen(const char* name, int32_t mode);
int32_t HostCreateTemp(char (&name)[orlix::kTempNameBufferSize]);
int32_t HostClose(int32_t handle);
int32_t HostRead(int32_t handle, void* buffer, uint32_t count);
int32_t HostWrite(int32_t handle, const void* buffer, uint32_t count);
int32_t HostSeek(int32_t handle, uint32_t offset);
int32_t HostLength(int32_t handle);
int32_t HostSetSize(int32_t handle, uint32_t size);
int32_t HostDelete(const char* name);
// A line for a debugger watching the process (Windows only).
void HostTrace(const char* text);

// A buffer from the host's allocator, released with it.
class HostBuffer {
public:
    HostBuffer() = default;
    explicit HostBuffer(uint32_t size);
    ~HostBuffer();
    HostBuffer(const HostBuffer&) = delete;
    HostBuffer& operator=(const HostBuffer&) = delete;
    unsigned char* data() const { return data_; }
    uint32_t size() const { return size_; }
    explicit operator bool() const { return data_ != nullptr; }
    bool Allocate(uint32_t size);
    void Release();

private:
    unsigned char* data_ = nullptr;
    uint32_t size_ = 0;
};

// Something that can be read at any offset: a file opened through the host,
// a spooled archive member in memory or in a temporary file.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Bytes read (fewer only at the end), or -1 on a read failure.
    virtual int32_t ReadAt(uint64_t offset, void* buffer, uint32_t count) = 0;
};

// An object opened by name through the host's open callback.
class HostFile : public ByteSource {
public:
    ~HostFile() override;
    // False when the host cannot open the object or tell its length.
    bool Open(const char* name, int32_t mode);
    void Close();
    int32_t handle() const { return handle_; }
    uint64_t Size() const override { return size_; }
    int32_t ReadAt(uint64_t offset, void* buffer, uint32_t count) override;
    // True when bytes follow the end the host's 32-bit length gave: the
    // object is larger than the callbacks can describe.
    bool ExtendsPastLength();

private:
    int32_t handle_ = -1;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
    bool positionKnown_ = false;
};

// A member being unpacked that must be kept for a nested walk: in memory
// while small, moved to a host temporary file when it grows past the limit.
class Spool : public ByteSource {
public:
    explicit Spool(uint32_t memoryLimit) : memoryLimit_(memoryLimit) {}
    ~Spool() override;
    bool Append(const unsigned char* bytes, uint32_t count);
    bool inTempFile() const { return tempHandle_ != -1; }
    uint64_t Size() const override { return size_; }
    int32_t ReadAt(uint64_t offset, void* buffer, uint32_t count) override;

private:
    bool MoveToTempFile();

    uint32_t memoryLimit_;
    HostBuffer memory_;
    uint64_t size_ = 0;
    int32_t tempHandle_ = -1;
    char tempName_[orlix::kTempNameBufferSize] = {};
    uint64_t tempPosition_ = 0;
};

}  // namespace refengine
