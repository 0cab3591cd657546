#include "refengine/test_host.h"

#include <cstdlib>
#include <cstring>

#include "common/eicar.h"

namespace {

HostCounters g_counters;
std::string g_tempFolder = ".";

struct Object {
    HANDLE file = INVALID_HANDLE_VALUE;
    bool synthetic = false;
    uint32_t size = 0;
    uint32_t position = 0;
    int64_t marker = -1;
    uint32_t reported = 0;  // the length the host tells
};

Object* FromHandle(int32_t handle) { return reinterpret_cast<Object*>(static_cast<intptr_t>(handle)); }
int32_t ToHandle(Object* o) {
    ++g_counters.opened;
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(o));
}

int32_t __cdecl CbAlloc(int32_t, int32_t size) {
    auto* block = static_cast<int32_t*>(std::calloc(1, static_cast<size_t>(size) + 4));
    if (!block) return -1;
    block[0] = size;
    g_counters.allocated += size;
    if (g_counters.allocated > g_counters.peakAllocated) g_counters.peakAllocated = g_counters.allocated;
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(block + 1));
}

int32_t __cdecl CbFree(int32_t, int32_t address) {
    if (!address) return 0;
    int32_t* block = reinterpret_cast<int32_t*>(static_cast<intptr_t>(address)) - 1;
    g_counters.allocated -= block[0];
    std::free(block);
    return 0;
}

int32_t OpenHandle(const char* name, DWORD access, DWORD share, DWORD disposition) {
    HANDLE h = CreateFileA(name, access, share, nullptr, disposition, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    Object* o = new Object;
    o->file = h;
    return ToHandle(o);
}

int32_t __cdecl CbOpenFile(int32_t, int32_t nameWord, int32_t mode) {
    const char* name = reinterpret_cast<const char*>(static_cast<intptr_t>(nameWord));
    if (!name) return -1;
    if (std::strncmp(name, kSyntheticPrefix, sizeof kSyntheticPrefix - 1) == 0) {
        Object* o = new Object;
        o->synthetic = true;
        char* rest = nullptr;
        o->size = std::strtoul(name + sizeof kSyntheticPrefix - 1, &rest, 10);
        o->marker = std::strtoll(rest + 1, &rest, 10);
        o->reported = *rest == ':' ? std::strtoul(rest + 1, nullptr, 10) : o->size;
        return ToHandle(o);
    }
    static const DWORD access[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
    if (mode < 0 || mode > 2) return -1;
    return OpenHandle(name, access[mode], FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
}

int32_t __cdecl CbCreateFile(int32_t, int32_t nameWord) {
    const char* name = reinterpret_cast<const char*>(static_cast<intptr_t>(nameWord));
    if (!name) return -1;
    return OpenHandle(name, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
}

int32_t __cdecl CbCreateTempFile(int32_t, int32_t bufferWord) {
    char* buffer = reinterpret_cast<char*>(static_cast<intptr_t>(bufferWord));
    if (!GetTempFileNameA(g_tempFolder.c_str(), "orx", 0, buffer)) return -1;
    ++g_counters.tempFilesCreated;
    return CbCreateFile(0, bufferWord);
}

int32_t __cdecl CbCloseFile(int32_t, int32_t handle) {
    Object* o = FromHandle(handle);
    if (!o) return -1;
    if (!o->synthetic) CloseHandle(o->file);
    delete o;
    --g_counters.opened;
    return 0;
}

int32_t __cdecl CbReadFile(int32_t, int32_t handle, int32_t bufferWord, int32_t count) {
    Object* o = FromHandle(handle);
    char* buffer = reinterpret_cast<char*>(static_cast<intptr_t>(bufferWord));
    if (o->synthetic) {
        uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(count), o->size - o->position);
        static const std::string text = EicarText();
        for (uint32_t i = 0; i < n; ++i) {
            int64_t at = static_cast<int64_t>(o->position) + i;
            buffer[i] = o->marker >= 0 && at >= o->marker && at < o->marker + 68
                            ? text[static_cast<size_t>(at - o->marker)]
                            : static_cast<char>('a' + at % 23);
        }
        o->position += n;
        g_counters.syntheticRead += n;
        return static_cast<int32_t>(n);
    }
    DWORD done = 0;
    if (!::ReadFile(o->file, buffer, static_cast<DWORD>(count), &done, nullptr)) return -1;
    return static_cast<int32_t>(done);
}

int32_t __cdecl CbWriteFile(int32_t, int32_t handle, int32_t bufferWord, int32_t count) {
    Object* o = FromHandle(handle);
    if (o->synthetic) return -1;
    DWORD done = 0;
    if (!::WriteFile(o->file, reinterpret_cast<const void*>(static_cast<intptr_t>(bufferWord)),
                     static_cast<DWORD>(count), &done, nullptr))
        return -1;
    return static_cast<int32_t>(done);
}

int32_t __cdecl CbSeekFromStart(int32_t, int32_t handle, int32_t distance) {
    Object* o = FromHandle(handle);
    if (o->synthetic) {
        if (static_cast<uint32_t>(distance) > o->size) return -1;
        o->position = static_cast<uint32_t>(distance);
        return distance;
    }
    DWORD at = SetFilePointer(o->file, distance, nullptr, FILE_BEGIN);
    return at == INVALID_SET_FILE_POINTER ? -1 : static_cast<int32_t>(at);
}

int32_t __cdecl CbGetFileLength(int32_t, int32_t handle) {
    Object* o = FromHandle(handle);
    if (o->synthetic) return static_cast<int32_t>(o->reported);
    DWORD size = GetFileSize(o->file, nullptr);
    return size == INVALID_FILE_SIZE ? -1 : static_cast<int32_t>(size);
}

int32_t __cdecl CbSetFileSize(int32_t, int32_t handle, int32_t size) {
    Object* o = FromHandle(handle);
    if (o->synthetic) return -1;
    if (SetFilePointer(o->file, size, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return -1;
    return SetEndOfFile(o->file) ? 0 : -1;
}

int32_t __cdecl CbDeleteFile(int32_t, int32_t nameWord) {
    ++g_counters.tempFilesDeleted;
    return DeleteFileA(reinterpret_cast<const char*>(static_cast<intptr_t>(nameWord))) ? 0 : -1;
}

orlix::CallbackSlot g_table[orlix::kCallbackSlotCount];

void Fill() {
    auto set = [](int slot, void* proc, int32_t count) { g_table[slot] = orlix::CallbackSlot{proc, count}; };
    set(orlix::SlotAlloc, reinterpret_cast<void*>(CbAlloc), 1);
    set(orlix::SlotFree, reinterpret_cast<void*>(CbFree), 1);
    set(orlix::SlotCreateFile, reinterpret_cast<void*>(CbCreateFile), 1);
    set(orlix::SlotOpenFile, reinterpret_cast<void*>(CbOpenFile), 2);
    set(orlix::SlotCloseFile, reinterpret_cast<void*>(CbCloseFile), 1);
    set(orlix::SlotReadFile, reinterpret_cast<void*>(CbReadFile), 3);
    set(orlix::SlotWriteFile, reinterpret_cast<void*>(CbWriteFile), 3);
    set(orlix::SlotSeekFromStart, reinterpret_cast<void*>(CbSeekFromStart), 2);
    set(orlix::SlotGetFileLength, reinterpret_cast<void*>(CbGetFileLength), 1);
    set(orlix::SlotSetFileSize, reinterpret_cast<void*>(CbSetFileSize), 2);
    set(orlix::SlotDeleteFile, reinterpret_cast<void*>(CbDeleteFile), 1);
    set(orlix::SlotCreateTempFile, reinterpret_cast<void*>(CbCreateTempFile), 1);
}

}  // namespace

const orlix::CallbackSlot* TestHostTable() {
    if (!g_table[orlix::SlotAlloc].procedure) Fill();
    return g_table;
}

HostCounters& TestHostCounters() { return g_counters; }
void ResetTestHostCounters() {
    int64_t held = g_counters.allocated;
    int open = g_counters.opened;
    g_counters = HostCounters();
    g_counters.allocated = held;
    g_counters.peakAllocated = held;
    g_counters.opened = open;
}
void SetTestTempFolder(const std::string& folder) { g_tempFolder = folder; }
