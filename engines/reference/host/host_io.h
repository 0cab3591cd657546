// What the engine reads and keeps through its host: buffers from the
// host's allocator, objects opened by name, and spooled members.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "host.h"

namespace refengine {

// A buffer from the host's allocator, released with it.
class HostBuffer {
public:
    explicit HostBuffer(Host& host) : host_(host) {}
    HostBuffer(Host& host, uint32_t size);
    ~HostBuffer();
    HostBuffer(const HostBuffer&) = delete;
    HostBuffer& operator=(const HostBuffer&) = delete;
    unsigned char* data() const { return data_; }
    uint32_t size() const { return size_; }
    explicit operator bool() const { return data_ != nullptr; }
    bool Allocate(uint32_t size);
    void Release();

private:
    Host& host_;
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

// One object read by two readers: each reader owns a view of the same source.
class SharedSource : public ByteSource {
public:
    explicit SharedSource(std::shared_ptr<ByteSource> source) : source_(std::move(source)) {}
    uint64_t Size() const override { return source_->Size(); }
    int32_t ReadAt(uint64_t offset, void* buffer, uint32_t count) override {
        return source_->ReadAt(offset, buffer, count);
    }

private:
    std::shared_ptr<ByteSource> source_;
};

// An object opened by name through the host's open callback.
class HostFile : public ByteSource {
public:
    explicit HostFile(Host& host) : host_(host) {}
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;
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
    Host& host_;
    int32_t handle_ = -1;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
    bool positionKnown_ = false;
};

// A member being unpacked that must be kept for a nested walk: in memory
// while small, moved to a host temporary file when it grows past the limit.
class Spool : public ByteSource {
public:
    Spool(Host& host, uint32_t memoryLimit) : host_(host), memoryLimit_(memoryLimit), memory_(host) {}
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;
    ~Spool() override;
    bool Append(const unsigned char* bytes, uint32_t count);
    bool inTempFile() const { return tempHandle_ != -1; }
    uint64_t Size() const override { return size_; }
    int32_t ReadAt(uint64_t offset, void* buffer, uint32_t count) override;

private:
    bool MoveToTempFile();

    Host& host_;
    uint32_t memoryLimit_;
    HostBuffer memory_;
    uint64_t size_ = 0;
    int32_t tempHandle_ = -1;
    char tempName_[orlix::kTempNameBufferSize] = {};
    uint64_t tempPosition_ = 0;
};

}  // namespace refengine
