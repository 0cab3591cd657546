#include "host_io.h"

#include <cstring>

namespace refengine {

HostBuffer::HostBuffer(Host& host, uint32_t size) : host_(host) { Allocate(size); }

HostBuffer::~HostBuffer() { Release(); }

bool HostBuffer::Allocate(uint32_t size) {
    Release();
    data_ = static_cast<unsigned char*>(host_.Alloc(size));
    if (data_) size_ = size;
    return data_ != nullptr;
}

void HostBuffer::Release() {
    host_.Free(data_);
    data_ = nullptr;
    size_ = 0;
}

HostFile::~HostFile() { Close(); }

bool HostFile::Open(const char* name, int32_t mode) {
    Close();
    handle_ = host_.Open(name, mode);
    if (!orlix::IsHostHandle(handle_)) {
        handle_ = -1;
        return false;
    }
    int32_t length = host_.Length(handle_);
    if (length == -1) {
        Close();
        return false;
    }
    size_ = static_cast<uint32_t>(length);
    position_ = 0;
    positionKnown_ = false;
    return true;
}

void HostFile::Close() {
    if (handle_ != -1) host_.Close(handle_);
    handle_ = -1;
}

int32_t HostFile::ReadAt(uint64_t offset, void* buffer, uint32_t count) {
    if (handle_ == -1) return -1;
    if (offset >= size_) return 0;
    if (count > size_ - offset) count = static_cast<uint32_t>(size_ - offset);
    // Sequential reads need no seek; that keeps files past 2 GB readable
    // from the start, where a 32-bit seek distance could not reach.
    if (!positionKnown_ || position_ != offset) {
        if (offset > 0x7FFFFFFFu || host_.Seek(handle_, static_cast<uint32_t>(offset)) == -1) {
            positionKnown_ = false;
            return -1;
        }
        position_ = offset;
        positionKnown_ = true;
    }
    uint32_t done = 0;
    while (done < count) {
        int32_t got = host_.Read(handle_, static_cast<unsigned char*>(buffer) + done, count - done);
        if (got == -1) {
            positionKnown_ = false;
            return -1;
        }
        if (got == 0) break;
        done += static_cast<uint32_t>(got);
        position_ += static_cast<uint32_t>(got);
    }
    return static_cast<int32_t>(done);
}

bool HostFile::ExtendsPastLength() {
    if (handle_ == -1 || !positionKnown_ || position_ != size_) return false;
    unsigned char probe = 0;
    int32_t got = host_.Read(handle_, &probe, 1);
    positionKnown_ = false;
    return got > 0;
}

Spool::~Spool() {
    if (tempHandle_ != -1) {
        host_.Close(tempHandle_);
        host_.Delete(tempName_);
    }
}

bool Spool::MoveToTempFile() {
    tempHandle_ = host_.CreateTemp(tempName_);
    if (!orlix::IsHostHandle(tempHandle_)) {
        tempHandle_ = -1;
        return false;
    }
    tempPosition_ = 0;
    if (size_ > 0 &&
        host_.Write(tempHandle_, memory_.data(), static_cast<uint32_t>(size_)) != static_cast<int32_t>(size_))
        return false;
    tempPosition_ = size_;
    memory_.Release();
    return true;
}

bool Spool::Append(const unsigned char* bytes, uint32_t count) {
    if (count == 0) return true;
    if (tempHandle_ == -1) {
        if (size_ + count <= memoryLimit_) {
            if (!memory_ && !memory_.Allocate(memoryLimit_)) return false;
            std::memcpy(memory_.data() + size_, bytes, count);
            size_ += count;
            return true;
        }
        if (!MoveToTempFile()) return false;
    }
    if (tempPosition_ != size_) {
        if (size_ > 0x7FFFFFFFu || host_.Seek(tempHandle_, static_cast<uint32_t>(size_)) == -1) return false;
        tempPosition_ = size_;
    }
    if (host_.Write(tempHandle_, bytes, count) != static_cast<int32_t>(count)) return false;
    size_ += count;
    tempPosition_ = size_;
    return true;
}

int32_t Spool::ReadAt(uint64_t offset, void* buffer, uint32_t count) {
    if (offset >= size_) return 0;
    if (count > size_ - offset) count = static_cast<uint32_t>(size_ - offset);
    if (tempHandle_ == -1) {
        std::memcpy(buffer, memory_.data() + offset, count);
        return static_cast<int32_t>(count);
    }
    if (tempPosition_ != offset) {
        if (offset > 0x7FFFFFFFu || host_.Seek(tempHandle_, static_cast<uint32_t>(offset)) == -1) return -1;
        tempPosition_ = offset;
    }
    int32_t got = host_.Read(tempHandle_, buffer, count);
    if (got == -1) return -1;
    tempPosition_ += static_cast<uint32_t>(got);
    return got;
}

}  // namespace refengine
