#include "native_host.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "common/eicar.h"

namespace nativehost {
namespace {

struct Object {
    int fd = -1;
    const unsigned char* memory = nullptr;  // a served block
    bool synthetic = false;
    uint64_t size = 0;
    uint64_t position = 0;
    int64_t marker = -1;
    uint64_t reported = 0;  // the length the host tells
};

struct Block {
    const void* data;
    size_t size;
};

Counters g_counters;
std::string g_tempFolder = "/tmp";
bool g_refuseWrites = false;
bool g_serveSynthetic = true;
std::vector<std::unique_ptr<Object>> g_objects;  // handle = index + 1
std::vector<Block> g_blocks;
constexpr char kMemoryPrefix[] = "mem:";
// Allocations carry their size in front, kept aligned for any type.
constexpr size_t kHeader = 16;

template <typename T>
T* Pointer(intptr_t word) {
    return reinterpret_cast<T*>(word);
}

Object* FromHandle(intptr_t handle) {
    if (handle < 1 || static_cast<size_t>(handle) > g_objects.size()) return nullptr;
    return g_objects[static_cast<size_t>(handle) - 1].get();
}

intptr_t Keep(std::unique_ptr<Object> o) {
    ++g_counters.opened;
    auto free = std::find(g_objects.begin(), g_objects.end(), nullptr);
    if (free == g_objects.end()) free = g_objects.insert(free, nullptr);
    *free = std::move(o);
    return (free - g_objects.begin()) + 1;
}

bool HasPrefix(const char* name, const char* prefix) { return std::strncmp(name, prefix, std::strlen(prefix)) == 0; }

intptr_t CbAlloc(intptr_t, intptr_t size) {
    if (size < 0) return -1;
    auto* block = static_cast<unsigned char*>(std::calloc(1, static_cast<size_t>(size) + kHeader));
    if (!block) return -1;
    std::memcpy(block, &size, sizeof size);
    g_counters.allocated += size;
    g_counters.peakAllocated = std::max(g_counters.peakAllocated, g_counters.allocated);
    return reinterpret_cast<intptr_t>(block + kHeader);
}

intptr_t CbFree(intptr_t, intptr_t address) {
    if (!address) return 0;
    unsigned char* block = Pointer<unsigned char>(address) - kHeader;
    intptr_t size = 0;
    std::memcpy(&size, block, sizeof size);
    g_counters.allocated -= size;
    std::free(block);
    return 0;
}

intptr_t OpenFd(const char* name, int flags) {
    int fd = open(name, flags | O_CLOEXEC, 0600);
    if (fd == -1) return -1;
    auto o = std::make_unique<Object>();
    o->fd = fd;
    return Keep(std::move(o));
}

intptr_t CbOpenFile(intptr_t, intptr_t nameWord, intptr_t mode) {
    const char* name = Pointer<const char>(nameWord);
    if (!name) return -1;
    if (HasPrefix(name, kSyntheticPrefix)) {
        if (!g_serveSynthetic) return -1;
        auto o = std::make_unique<Object>();
        o->synthetic = true;
        char* rest = nullptr;
        o->size = std::strtoull(name + std::strlen(kSyntheticPrefix), &rest, 10);
        o->marker = std::strtoll(rest + 1, &rest, 10);
        o->reported = *rest == ':' ? std::strtoull(rest + 1, nullptr, 10) : o->size;
        return Keep(std::move(o));
    }
    if (HasPrefix(name, kMemoryPrefix)) {
        size_t index = std::strtoul(name + std::strlen(kMemoryPrefix), nullptr, 10);
        if (index >= g_blocks.size() || mode != orlix::kOpenRead) return -1;
        auto o = std::make_unique<Object>();
        o->memory = static_cast<const unsigned char*>(g_blocks[index].data);
        o->size = o->reported = g_blocks[index].size;
        return Keep(std::move(o));
    }
    static const int flags[] = {O_RDONLY, O_WRONLY, O_RDWR};
    if (mode < 0 || mode > 2) return -1;
    if (mode != orlix::kOpenRead && g_refuseWrites) return -1;
    return OpenFd(name, flags[mode]);
}

intptr_t CbCreateFile(intptr_t, intptr_t nameWord) {
    const char* name = Pointer<const char>(nameWord);
    if (!name) return -1;
    return OpenFd(name, O_RDWR | O_CREAT | O_TRUNC);
}

intptr_t CbCreateTempFile(intptr_t, intptr_t bufferWord) {
    char* buffer = Pointer<char>(bufferWord);
    std::snprintf(buffer, 260, "%s/orxXXXXXX", g_tempFolder.c_str());
    int fd = mkstemp(buffer);
    if (fd == -1) return -1;
    ++g_counters.tempFilesCreated;
    auto o = std::make_unique<Object>();
    o->fd = fd;
    return Keep(std::move(o));
}

intptr_t CbCloseFile(intptr_t, intptr_t handle) {
    Object* o = FromHandle(handle);
    if (!o) return -1;
    if (o->fd != -1) close(o->fd);
    g_objects[static_cast<size_t>(handle) - 1].reset();
    --g_counters.opened;
    return 0;
}

intptr_t CbReadFile(intptr_t, intptr_t handle, intptr_t bufferWord, intptr_t count) {
    Object* o = FromHandle(handle);
    auto* buffer = Pointer<unsigned char>(bufferWord);
    if (!o || count < 0) return -1;
    ++g_counters.reads;
    if (o->fd != -1) return read(o->fd, buffer, static_cast<size_t>(count));
    uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(count), o->size - std::min(o->size, o->position));
    if (o->memory) {
        std::memcpy(buffer, o->memory + o->position, n);
    } else {
        static const std::string text = EicarText();
        for (uint64_t i = 0; i < n; ++i) {
            int64_t at = static_cast<int64_t>(o->position + i);
            buffer[i] = o->marker >= 0 && at >= o->marker && at < o->marker + static_cast<int64_t>(text.size())
                            ? static_cast<unsigned char>(text[static_cast<size_t>(at - o->marker)])
                            : static_cast<unsigned char>('a' + at % 23);
        }
        g_counters.syntheticRead += static_cast<int64_t>(n);
    }
    o->position += n;
    return static_cast<intptr_t>(n);
}

intptr_t CbWriteFile(intptr_t, intptr_t handle, intptr_t bufferWord, intptr_t count) {
    Object* o = FromHandle(handle);
    if (!o || o->fd == -1 || count < 0) return -1;
    return write(o->fd, Pointer<const void>(bufferWord), static_cast<size_t>(count));
}

intptr_t CbSeekFromStart(intptr_t, intptr_t handle, intptr_t distance) {
    Object* o = FromHandle(handle);
    // The contract's distances are 32-bit words.
    uint32_t to = static_cast<uint32_t>(distance);
    if (!o) return -1;
    if (o->fd != -1) return lseek(o->fd, to, SEEK_SET) == -1 ? -1 : static_cast<int32_t>(to);
    if (to > o->size) return -1;
    o->position = to;
    return static_cast<int32_t>(to);
}

intptr_t CbGetFileLength(intptr_t, intptr_t handle) {
    Object* o = FromHandle(handle);
    if (!o) return -1;
    if (o->fd == -1) return static_cast<int32_t>(static_cast<uint32_t>(o->reported));
    struct stat st;
    if (fstat(o->fd, &st) != 0) return -1;
    return static_cast<int32_t>(static_cast<uint32_t>(st.st_size));
}

intptr_t CbSetFileSize(intptr_t, intptr_t handle, intptr_t size) {
    Object* o = FromHandle(handle);
    if (!o || o->fd == -1) return -1;
    off_t to = static_cast<uint32_t>(size);
    if (ftruncate(o->fd, to) != 0 || lseek(o->fd, to, SEEK_SET) == -1) return -1;
    return 0;
}

intptr_t CbDeleteFile(intptr_t, intptr_t nameWord) {
    ++g_counters.tempFilesDeleted;
    return unlink(Pointer<const char>(nameWord)) == 0 ? 0 : -1;
}

orlix::CallbackSlot g_table[orlix::kCallbackSlotCount];

template <typename Proc>
void Set(int slot, Proc proc) {
    g_table[slot] = orlix::CallbackSlot{reinterpret_cast<void*>(proc), orlix::kCallbackArgumentCounts[slot]};
}

void Fill() {
    Set(orlix::SlotAlloc, CbAlloc);
    Set(orlix::SlotFree, CbFree);
    Set(orlix::SlotCreateFile, CbCreateFile);
    Set(orlix::SlotOpenFile, CbOpenFile);
    Set(orlix::SlotCloseFile, CbCloseFile);
    Set(orlix::SlotReadFile, CbReadFile);
    Set(orlix::SlotWriteFile, CbWriteFile);
    Set(orlix::SlotSeekFromStart, CbSeekFromStart);
    Set(orlix::SlotGetFileLength, CbGetFileLength);
    Set(orlix::SlotSetFileSize, CbSetFileSize);
    Set(orlix::SlotDeleteFile, CbDeleteFile);
    Set(orlix::SlotCreateTempFile, CbCreateTempFile);
}

}  // namespace

const orlix::CallbackSlot* Table() {
    if (!g_table[orlix::SlotAlloc].procedure) Fill();
    return g_table;
}

Counters& counters() { return g_counters; }

void ResetCounters() {
    Counters fresh;
    fresh.allocated = fresh.peakAllocated = g_counters.allocated;
    fresh.opened = g_counters.opened;
    g_counters = fresh;
}

void SetTempFolder(const std::string& folder) { g_tempFolder = folder; }
void RefuseWrites(bool refuse) { g_refuseWrites = refuse; }
void ServeSynthetic(bool serve) { g_serveSynthetic = serve; }

std::string ServeMemory(const void* data, size_t size) {
    g_blocks.push_back(Block{data, size});
    return kMemoryPrefix + std::to_string(g_blocks.size() - 1);
}

void ForgetMemoryObjects() { g_blocks.clear(); }

}  // namespace nativehost
