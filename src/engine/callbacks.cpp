#include "engine/callbacks.h"

#include <windows.h>

#include <cstring>
#include <mutex>
#include <unordered_set>

#include "engine/allocator.h"
#include "engine/guard.h"
#include "report/trace.h"

namespace {

enum ObjectKind : uint32_t { KindFile = 0, KindMemory = 1 };

// The record behind every handle given to the engine; the handle is its address.
struct ObjectDescriptor {
    uint32_t kind;
    uint32_t handle;  // file handle, or the memory block's address
    uint32_t size;    // memory blocks only
    uint32_t position;
    uint32_t mode;
};

constexpr int32_t kFail = -1;
// Longest name read from the engine; longer ones are refused.
constexpr UINT_PTR kMaxNameLength = 32768;

struct CheckedBlock {
    bool active = false;
    uint32_t address = 0;
    uint32_t size = 0;
};
CheckedBlock g_checked;

// Handles issued and not yet closed: a readable address that merely looks
// like a descriptor is not one of ours, and must not reach CloseHandle.
struct Issued {
    std::mutex lock;
    std::unordered_set<uintptr_t> handles;
};
Issued& IssuedHandles() {
    static Issued issued;
    return issued;
}

int32_t HandleValue(const void* p) { return static_cast<int32_t>(reinterpret_cast<uintptr_t>(p)); }

template <typename T>
T* Pointer(uint32_t value) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(value));
}

bool ReadableName(const char* name) { return name && !IsBadStringPtrA(name, kMaxNameLength); }

int32_t Issue(ObjectKind kind, uint32_t handle, uint32_t size, uint32_t mode) {
    ObjectDescriptor* d = static_cast<ObjectDescriptor*>(BlockAllocate(sizeof(ObjectDescriptor)));
    if (!d) return kFail;
    d->kind = kind;
    d->handle = handle;
    d->size = size;
    d->position = 0;
    d->mode = mode;
    try {
        std::lock_guard<std::mutex> hold(IssuedHandles().lock);
        IssuedHandles().handles.insert(reinterpret_cast<uintptr_t>(d));
    } catch (...) {
        BlockRelease(d);
        return kFail;
    }
    return HandleValue(d);
}

ObjectDescriptor* Valid(uint32_t handle) {
    ObjectDescriptor* d = Pointer<ObjectDescriptor>(handle);
    if (!d || IsBadReadPtr(d, sizeof *d)) return nullptr;
    {
        std::lock_guard<std::mutex> hold(IssuedHandles().lock);
        if (!IssuedHandles().handles.count(reinterpret_cast<uintptr_t>(d))) return nullptr;
    }
    return d->kind == KindFile || d->kind == KindMemory ? d : nullptr;
}

void Retire(ObjectDescriptor* d) {
    {
        std::lock_guard<std::mutex> hold(IssuedHandles().lock);
        IssuedHandles().handles.erase(reinterpret_cast<uintptr_t>(d));
    }
    BlockRelease(d);
}

HANDLE FileOf(const ObjectDescriptor* d) { return Pointer<void>(d->handle); }

uint32_t ParseHex(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    uint32_t value = 0;
    for (;; ++p) {
        char c = *p;
        uint32_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            return value;
        }
        value = value * 16 + digit;
    }
}

bool IsMemoryObjectName(const char* name) {
    return strlen(name) == static_cast<size_t>(orlix::kMemoryObjectNameLength) && name[0] == '#' && name[1] == '#' &&
           name[10] == '#';
}

// Copies between the engine's buffer and the host's block. Either side may
// be bad memory; a fault becomes a failed read or write, not a crash.
struct CopyJob {
    void* to;
    const void* from;
    uint32_t count;
};

int32_t CopyBytes(void* context) {
    CopyJob* job = static_cast<CopyJob*>(context);
    memmove(job->to, job->from, job->count);
    return 0;
}

bool GuardedCopy(void* to, const void* from, uint32_t count, const char* callback) {
    CopyJob job = {to, from, count};
    int32_t ignored;
    GuardFault fault;
    if (GuardedCall(CopyBytes, &job, &ignored, &fault)) return true;
    char text[96];
    wsprintfA(text, "EXCEPTION: %08X at %08X in %s", static_cast<unsigned>(fault.code),
              static_cast<unsigned>(fault.address), callback);
    TraceCall(text);
    return false;
}

// ---- the callbacks --------------------------------------------------------
// Every procedure takes the engine's ignored first argument, then its own.

int32_t __cdecl OrlixAlloc(uint32_t, uint32_t size) {
    void* block = BlockAllocate(size);
    return block ? HandleValue(block) : kFail;
}

int32_t __cdecl OrlixFree(uint32_t, uint32_t address) {
    if (!address) return 0;
    // An open object's descriptor is released by closing it, not here.
    {
        std::lock_guard<std::mutex> hold(IssuedHandles().lock);
        if (IssuedHandles().handles.count(address)) return 0;
    }
    BlockRelease(Pointer<void>(address));
    return 0;
}

int32_t __cdecl OrlixCreateFile(uint32_t, uint32_t name) {
    const char* path = Pointer<const char>(name);
    if (!ReadableName(path)) return kFail;
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kFail;
    int32_t handle = Issue(KindFile, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(file)), 0, 0);
    if (handle == kFail) CloseHandle(file);
    return handle;
}

int32_t __cdecl OrlixOpenFile(uint32_t, uint32_t name, uint32_t mode) {
    const char* path = Pointer<const char>(name);
    if (!ReadableName(path)) return kFail;
    if (IsMemoryObjectName(path)) {
        const uint32_t address = ParseHex(path + 2);
        const uint32_t size = ParseHex(path + 11);
        // Only the block being checked, and never a negative size: that
        // would let the engine read past the block into the host's memory.
        if (!g_checked.active || address != g_checked.address || size != g_checked.size ||
            static_cast<int32_t>(size) < 0)
            return kFail;
        return Issue(KindMemory, address, size, mode);
    }
    DWORD access;
    switch (mode) {
        case orlix::kOpenRead:
            access = GENERIC_READ;
            break;
        case orlix::kOpenWrite:
            access = GENERIC_WRITE;
            break;
        case orlix::kOpenReadWrite:
            access = GENERIC_READ | GENERIC_WRITE;
            break;
        default:
            return kFail;
    }
    HANDLE file = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kFail;
    int32_t handle = Issue(KindFile, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(file)), 0, 0);
    if (handle == kFail) CloseHandle(file);
    return handle;
}

int32_t __cdecl OrlixCloseFile(uint32_t, uint32_t handle) {
    ObjectDescriptor* d = Valid(handle);
    if (!d) return kFail;
    int32_t result = 0;
    if (d->kind == KindFile) {
        BOOL closed = CloseHandle(FileOf(d));
        result = closed ? static_cast<int32_t>(closed) : kFail;
    }
    Retire(d);
    return result;
}

int32_t __cdecl OrlixReadFile(uint32_t, uint32_t handle, uint32_t buffer, uint32_t count) {
    ObjectDescriptor* d = Valid(handle);
    if (!d) return kFail;
    if (d->kind == KindFile) {
        DWORD got = 0;
        if (!ReadFile(FileOf(d), Pointer<void>(buffer), count, &got, nullptr)) return kFail;
        return static_cast<int32_t>(got);
    }
    uint32_t n = d->size - d->position;
    if (count < n) n = count;
    if (!GuardedCopy(Pointer<void>(buffer), Pointer<char>(d->handle) + d->position, n, "OrlixReadFile")) return kFail;
    d->position += n;
    return static_cast<int32_t>(n);
}

int32_t __cdecl OrlixWriteFile(uint32_t, uint32_t handle, uint32_t buffer, uint32_t count) {
    ObjectDescriptor* d = Valid(handle);
    if (!d) return kFail;
    if (d->kind == KindFile) {
        DWORD put = 0;
        if (!WriteFile(FileOf(d), Pointer<const void>(buffer), count, &put, nullptr)) return kFail;
        return static_cast<int32_t>(put);
    }
    uint32_t n = d->size - d->position;
    if (count < n) n = count;
    if (!GuardedCopy(Pointer<char>(d->handle) + d->position, Pointer<const void>(buffer), n, "OrlixWriteFile"))
        return kFail;
    d->position += n;
    return static_cast<int32_t>(n);
}

int32_t FileSeek(const ObjectDescriptor* d, uint32_t distance, DWORD method) {
    DWORD position = SetFilePointer(FileOf(d), static_cast<LONG>(distance), nullptr, method);
    return position == INVALID_SET_FILE_POINTER ? kFail : static_cast<int32_t>(position);
}

int32_t __cdecl OrlixSeekToStart(uint32_t, uint32_t handle) {
    ObjectDescriptor* d = Valid(handle);
    if (!d) return kFail;
    if (d->kind == KindFile) return FileSeek(d, 0, FILE_BEGIN);
    d->position = 0;
    return 1;
}

int32_t __cdecl OrlixSeekToEnd(uint32_t, uint32_t handle) {
    ObjectDescriptor* d = Valid(handle);
    if (!d) return kFail;
    if (d->kind == KindFile) return FileSeek(d, 0, FILE_END);
    d->position = d->size;
    return static_cast<int32_t>(d->size);
}

int32_t __cdecl OrlixSeekFromStart(uint32_t, uint32_t handle, uint32_t distance) {
    ObjectDescriptor* d = Valid(handle);
    if (!d) return kFail;
    if (d->kind == KindFile) return FileSeek(d, distance, FILE_BEGIN);
    if (distance > d->size) return kFail;
    d->position = distance;
    return static_cast<int32_t>(distance);
}

int32_t __cdecl OrlixSeekFromCurr(uint32_t, uint32_t handle, uint32_t distance) {
    ObjectDescriptor* d = Valid(handle);
    if (!d) return kFail;
    if (d->kind == KindFile) return FileSeek(d, distance, FILE_CURRENT);
    if (distance > d->size - d->position) return kFail;
    d->position += distance;
    return static_cast<int32_t>(d->position);
}

int32_t __cdecl OrlixSeekFromEnd(uint32_t, uint32_t handle, uint32_t distance) {
    ObjectDescriptor* d = Valid(handle);
    if (!d) return kFail;
    if (d->kind == KindFile) return FileSeek(d, distance, FILE_END);
    if (distance > d->size) return kFail;
    d->position = d->size - distance;
    return static_cast<int32_t>(d->position);
}

int32_t __cdecl OrlixGetFileLength(uint32_t, uint32_t handle) {
    ObjectDescriptor* d = Valid(handle);
    if (!d) return kFail;
    if (d->kind == KindMemory) return static_cast<int32_t>(d->size);
    DWORD size = GetFileSize(FileOf(d), nullptr);
    return size == INVALID_FILE_SIZE ? kFail : static_cast<int32_t>(size);
}

int32_t __cdecl OrlixRenameFile(uint32_t, uint32_t from, uint32_t to) {
    const char* oldName = Pointer<const char>(from);
    const char* newName = Pointer<const char>(to);
    if (!ReadableName(oldName) || !ReadableName(newName)) return kFail;
    return MoveFileA(oldName, newName) ? 0 : kFail;
}

int32_t __cdecl OrlixSetFileSize(uint32_t, uint32_t handle, uint32_t size) {
    ObjectDescriptor* d = Valid(handle);
    if (!d || d->kind != KindFile) return kFail;
    if (FileSeek(d, size, FILE_BEGIN) == kFail) return kFail;
    return SetEndOfFile(FileOf(d)) ? 0 : kFail;
}

int32_t __cdecl OrlixDeleteFile(uint32_t, uint32_t name) {
    const char* path = Pointer<const char>(name);
    if (!ReadableName(path)) return kFail;
    return DeleteFileA(path) ? 0 : kFail;
}

int32_t __cdecl OrlixGetFileDateTime(uint32_t, uint32_t handle, uint32_t dateOut, uint32_t timeOut) {
    ObjectDescriptor* d = Valid(handle);
    if (!d) return kFail;
    WORD date = 0;
    WORD time = 0;
    FILETIME written;
    if (d->kind == KindFile &&
        (!GetFileTime(FileOf(d), nullptr, nullptr, &written) || !FileTimeToDosDateTime(&written, &date, &time))) {
        date = 0;
        time = 0;
    }
    WORD* dateWord = Pointer<WORD>(dateOut);
    WORD* timeWord = Pointer<WORD>(timeOut);
    if (dateWord && !IsBadWritePtr(dateWord, sizeof *dateWord)) *dateWord = date;
    if (timeWord && !IsBadWritePtr(timeWord, sizeof *timeWord)) *timeWord = time;
    return 0;
}

int32_t __cdecl OrlixSetFileDateTime(uint32_t, uint32_t handle, uint32_t date, uint32_t time) {
    ObjectDescriptor* d = Valid(handle);
    if (!d) return kFail;
    const WORD dosDate = LOWORD(date);
    const WORD dosTime = LOWORD(time);
    FILETIME written;
    if (d->kind == KindFile && (dosDate || dosTime) && DosDateTimeToFileTime(dosDate, dosTime, &written))
        SetFileTime(FileOf(d), nullptr, nullptr, &written);
    return 0;
}

int32_t __cdecl OrlixGetFileAttributes(uint32_t, uint32_t name) {
    const char* path = Pointer<const char>(name);
    if (!ReadableName(path)) return kFail;
    return static_cast<int32_t>(GetFileAttributesA(path));
}

int32_t __cdecl OrlixSetFileAttributes(uint32_t, uint32_t name, uint32_t attributes) {
    const char* path = Pointer<const char>(name);
    if (!ReadableName(path)) return kFail;
    return SetFileAttributesA(path, attributes) ? 0 : kFail;
}

int32_t __cdecl OrlixCreateTempFile(uint32_t, uint32_t buffer) {
    char* name = Pointer<char>(buffer);
    if (!name || IsBadWritePtr(name, MAX_PATH)) return kFail;
    if (!GetTempFileNameA(".", "orx", 0, name)) return kFail;
    int32_t handle = OrlixCreateFile(0, buffer);
    // GetTempFileNameA created the file; do not leave it behind unused.
    if (handle == kFail) DeleteFileA(name);
    return handle;
}

int32_t __cdecl ReturnZero(uint32_t) { return 0; }
int32_t __cdecl ReturnOne(uint32_t) { return 1; }
int32_t __cdecl ReturnFail(uint32_t) { return kFail; }

template <typename F>
orlix::CallbackSlot Slot(F procedure, int32_t count) {
    return orlix::CallbackSlot{reinterpret_cast<void*>(procedure), count};
}
orlix::CallbackSlot NoProcedure() { return orlix::CallbackSlot{nullptr, 0}; }

const orlix::CallbackSlot g_table[orlix::kCallbackSlotCount] = {
    Slot(ReturnZero, 0),              // 0
    Slot(OrlixAlloc, 1),              // 1
    Slot(OrlixFree, 1),               // 2
    Slot(OrlixCreateFile, 1),         // 3
    Slot(OrlixOpenFile, 2),           // 4
    Slot(OrlixCloseFile, 1),          // 5
    Slot(OrlixReadFile, 3),           // 6
    Slot(OrlixWriteFile, 3),          // 7
    Slot(OrlixSeekToStart, 1),        // 8
    Slot(OrlixSeekToEnd, 1),          // 9
    Slot(OrlixSeekFromStart, 2),      // 10
    Slot(OrlixSeekFromCurr, 2),       // 11
    Slot(OrlixSeekFromEnd, 2),        // 12
    Slot(OrlixGetFileLength, 1),      // 13
    Slot(OrlixRenameFile, 2),         // 14
    Slot(OrlixSetFileSize, 2),        // 15
    Slot(OrlixDeleteFile, 1),         // 16
    Slot(OrlixGetFileDateTime, 3),    // 17
    Slot(OrlixSetFileDateTime, 3),    // 18
    Slot(OrlixGetFileAttributes, 1),  // 19
    Slot(OrlixSetFileAttributes, 2),  // 20
    Slot(ReturnFail, 5),              // 21
    Slot(ReturnFail, 6),              // 22
    Slot(ReturnFail, 6),              // 23
    Slot(ReturnFail, 5),              // 24
    Slot(ReturnFail, 0),              // 25
    Slot(ReturnFail, 0),              // 26
    Slot(OrlixCreateTempFile, 1),     // 27
    NoProcedure(),                    // 28
    NoProcedure(),                    // 29
    Slot(ReturnOne, 3),               // 30
    Slot(ReturnZero, 3),              // 31
    Slot(ReturnZero, 2),              // 32
    Slot(ReturnFail, 1),              // 33
    Slot(ReturnFail, 0),              // 34
    Slot(ReturnFail, 4),              // 35
    Slot(ReturnFail, 0),              // 36
    Slot(ReturnFail, 4),              // 37
    Slot(ReturnFail, 4),              // 38
    Slot(ReturnFail, 2),              // 39
    Slot(ReturnFail, 4),              // 40
    Slot(ReturnFail, 4),              // 41
    Slot(ReturnFail, 4),              // 42
    Slot(ReturnFail, 4),              // 43
    Slot(ReturnFail, 0),              // 44
    Slot(ReturnFail, 0),              // 45
    Slot(ReturnFail, 2),              // 46
    Slot(ReturnFail, 1),              // 47
    Slot(ReturnFail, 1),              // 48
    Slot(ReturnFail, 1),              // 49
    Slot(ReturnFail, 2),              // 50
    NoProcedure(),                    // 51
};

}  // namespace

const orlix::CallbackSlot* EngineFileCallbacks() { return g_table; }

void SetCheckedMemoryBlock(uint32_t address, int32_t size) {
    g_checked.address = address;
    g_checked.size = static_cast<uint32_t>(size);
    g_checked.active = true;
}

void ClearCheckedMemoryBlock() { g_checked = CheckedBlock(); }

int32_t OpenCallbackObjects() {
    std::lock_guard<std::mutex> hold(IssuedHandles().lock);
    return static_cast<int32_t>(IssuedHandles().handles.size());
}
