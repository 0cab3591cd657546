#include "host_io.h"

#include <cstring>

#include "engine_door.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace refengine {
namespace {

using namespace enginedoor;

HostTable g_host;

const int kRequiredSlots[] = {orlix::SlotAlloc,         orlix::SlotFree,          orlix::SlotOpenFile,
                              orlix::SlotCloseFile,     orlix::SlotReadFile,      orlix::SlotWriteFile,
                              orlix::SlotSeekFromStart, orlix::SlotGetFileLength, orlix::SlotSetFileSize,
                              orlix::SlotDeleteFile,    orlix::SlotCreateTempFile};

}  // namespace

bool BindHost(const orlix::CallbackSlot* table, int32_t count) { return g_host.Bind(table, count, kRequiredSlots); }

bool HostBound() { return g_host.bound(); }

void* HostAlloc(uint32_t size) {
    intptr_t block = g_host.Slot<HostProc1>(orlix::SlotAlloc)(0, static_cast<intptr_t>(size));
    if (block == -1 || block == 0) return nullptr;
    return reinterpret_cast<void*>(block);
}

void HostFree(void* block) {
    if (block) g_host.Slot<HostProc1>(orlix::SlotFree)(0, Word(block));
}

int32_t HostOpen(const char* name, int32_t mode) {
    return Answer(g_host.Slot<HostProc2>(orlix::SlotOpenFile)(0, Word(name), mode));
}

int32_t HostCreateTemp(char (&name)[orlix::kTempNameBufferSize]) {
    name[0] = 0;
    return Answer(g_host.Slot<HostProc1>(orlix::SlotCreateTempFile)(0, Word(name)));
}

int32_t HostClose(int32_t handle) { return Answer(g_host.Slot<HostProc1>(orlix::SlotCloseFile)(0, handle)); }

int32_t HostRead(int32_t handle, void* buffer, uint32_t count) {
    return Answer(g_host.Slot<HostProc3>(orlix::SlotReadFile)(0, handle, Word(buffer), static_cast<int32_t>(count)));
}

int32_t HostWrite(int32_t handle, const void* buffer, uint32_t count) {
    return Answer(g_host.Slot<HostProc3>(orlix::SlotWriteFile)(0, handle, Word(buffer), static_cast<int32_t>(count)));
}

int32_t HostSeek(int32_t handle, uint32_t offset) {
    return Answer(g_host.Slot<HostProc2>(orlix::SlotSeekFromStart)(0, handle, static_cast<int32_t>(offset)));
}

int32_t HostLength(int32_t handle) { return Answer(g_host.Slot<HostProc1>(orlix::SlotGetFileLength)(0, handle)); }

int32_t HostSetSize(int32_t handle, uint32_t size) {
    return Answer(g_host.Slot<HostProc2>(orlix::SlotSetFileSize)(0, handle, static_cast<int32_t>(size)));
}

int32_t HostDelete(const char* name) { return Answer(g_host.Slot<HostProc1>(orlix::SlotDeleteFile)(0, Word(name))); }

void HostTrace(const char* text) {
#ifdef _WIN32
    OutputDebugStringA(text);
#else
    (void)text;
#endif
}

HostBuffer::HostBuffer(uint32_t size) { Allocate(size); }

HostBuffer::~HostBuffer() { Release(); }

bool HostBuffer::Allocate(uint32_t size) {
    Release();
    data_ = static_cast<unsigned char*>(HostAlloc(size));
    if (data_) size_ = size;
    return data_ != nullptr;
}

void HostBuffer::Release() {
    HostFree(data_);
    data_ = nullptr;
    size_ = 0;
}

HostFile::~HostFile() { Close(); }

bool HostFile::Open(const char* name, int32_t mode) {
    Close();
    handle_ = HostOpen(name, mode);
    if (!orlix::IsHostHandle(handle_)) {
        handle_ = -1;
        return false;
    }
    int32_t length = HostLength(handle_);
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
    if (handle_ != -1) HostClose(handle_);
    handle_ = -1;
}

int32_t HostFile::ReadAt(uint64_t offset, void* buffer, uint32_t count) {
    if (handle_ == -1) return -1;
    if (offset >= size_) return 0;
    if (count > size_ - offset) count = static_cast<uint32_t>(size_ - offset);
    // Sequential reads need no seek; that keeps files past 2 GB readable
    // from the start, where a 32-bit seek distance could not reach.
    if (!positionKnown_ || position_ != offset) {
        if (offset > 0x7FFFFFFFu || HostSeek(handle_, static_cast<uint32_t>(offset)) == -1) {
            positionKnown_ = false;
            return -1;
        }
        position_ = offset;
        positionKnown_ = true;
    }
    uint32_t done = 0;
    while (done < count) {
        int32_t got = HostRead(handle_, static_cast<unsigned char*>(buffer) + done, count - done);
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
    int32_t got = HostRead(handle_, &probe, 1);
    positionKnown_ = false;
    return got > 0;
}

Spool::~Spool() {
    if (tempHandle_ != -1) {
        HostClose(tempHandle_);
        HostDelete(tempName_);
    }
}

bool Spool::MoveToTempFile() {
    tempHandle_ = HostCreateTemp(tempName_);
    if (!orlix::IsHostHandle(tempHandle_)) {
        tempHandle_ = -1;
        return false;
    }
    tempPosition_ = 0;
    if (size_ > 0 &&
        HostWrite(tempHandle_, memory_.data(), static_cast<uint32_t>(size_)) != static_cast<int32_t>(size_))
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
        if (size_ > 0x7FFFFFFFu || HostSeek(tempHandle_, static_cast<uint32_t>(size_)) == -1) return false;
        tempPosition_ = size_;
    }
    if (HostWrite(tempHandle_, bytes, count) != static_cast<int32_t>(count)) return false;
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
        if (offset > 0x7FFFFFFFu || HostSeek(tempHandle_, static_cast<uint32_t>(offset)) == -1) return -1;
        tempPosition_ = offset;
    }
    int32_t got = HostRead(tempHandle_, buffer, count);
    if (got == -1) return -1;
    tempPosition_ += static_cast<uint32_t>(got);
    return got;
}

}  // namespace refengine
