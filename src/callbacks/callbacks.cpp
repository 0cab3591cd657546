// The procedures of the callback table and the table itself. Each procedure
// takes the engine's ignored first argument, then its own; the work is done
// by the file object, the memory object and the allocator.
#include "callbacks/callbacks.h"

#include <windows.h>

#include <string>

#include "base/guard.h"
#include "callbacks/allocator.h"
#include "callbacks/descriptors.h"
#include "callbacks/file_object.h"
#include "callbacks/memory_object.h"

namespace {

// Longest name read from the engine; longer ones are refused.
constexpr size_t kMaxNameLength = 32768;

template <typename T>
T* Pointer(uint32_t value) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(value));
}

// A copy of a name in the engine's memory, read through the guard: false
// when it cannot be read up to a terminator within kMaxNameLength.
bool ReadName(uint32_t address, std::string* name) {
    const char* text = Pointer<const char>(address);
    size_t length = 0;
    if (!text || !GuardedLength(text, kMaxNameLength, &length) || length >= kMaxNameLength) return false;
    try {
        name->assign(length, '\0');
    } catch (...) {
        return false;
    }
    return length == 0 || GuardedCopy(&(*name)[0], text, length, nullptr);
}

int32_t __cdecl OrlixAlloc(uint32_t, uint32_t size) {
    void* block = BlockAllocate(size);
    return block ? static_cast<int32_t>(reinterpret_cast<uintptr_t>(block)) : orlix::kCallbackFailure;
}

int32_t __cdecl OrlixFree(uint32_t, uint32_t address) {
    // An open object's descriptor is released by closing it, not here.
    if (address && !IssuedObject(address)) BlockRelease(reinterpret_cast<void*>(static_cast<uintptr_t>(address)));
    return 0;
}

int32_t __cdecl OrlixCreateFile(uint32_t, uint32_t name) {
    std::string path;
    return ReadName(name, &path) ? CreateFileObject(path.c_str()) : orlix::kCallbackFailure;
}

int32_t __cdecl OrlixOpenFile(uint32_t, uint32_t name, uint32_t mode) {
    std::string path;
    if (!ReadName(name, &path)) return orlix::kCallbackFailure;
    const int32_t openMode = static_cast<int32_t>(mode);
    if (IsMemoryObjectName(path.c_str())) return OpenMemoryObject(path.c_str(), openMode);
    return OpenFileObject(path.c_str(), openMode);
}

int32_t __cdecl OrlixCloseFile(uint32_t, uint32_t handle) {
    ObjectDescriptor* d = IssuedObject(handle);
    if (!d) return orlix::kCallbackFailure;
    if (d->kind == KindFile) return CloseFileObject(d);
    RetireObject(d);
    return 0;
}

int32_t __cdecl OrlixReadFile(uint32_t, uint32_t handle, uint32_t buffer, uint32_t count) {
    ObjectDescriptor* d = IssuedObject(handle);
    if (!d) return orlix::kCallbackFailure;
    if (d->kind == KindFile) return ReadFileObject(d, Pointer<void>(buffer), count);
    return ReadMemoryObject(d, Pointer<void>(buffer), count);
}

int32_t __cdecl OrlixWriteFile(uint32_t, uint32_t handle, uint32_t buffer, uint32_t count) {
    ObjectDescriptor* d = IssuedObject(handle);
    if (!d) return orlix::kCallbackFailure;
    if (d->kind == KindFile) return WriteFileObject(d, Pointer<const void>(buffer), count);
    return WriteMemoryObject(d, Pointer<const void>(buffer), count);
}

int32_t __cdecl OrlixSeekToStart(uint32_t, uint32_t handle) {
    ObjectDescriptor* d = IssuedObject(handle);
    if (!d) return orlix::kCallbackFailure;
    return d->kind == KindFile ? SeekFileObject(d, 0, FILE_BEGIN) : SeekMemoryToStart(d);
}

int32_t __cdecl OrlixSeekToEnd(uint32_t, uint32_t handle) {
    ObjectDescriptor* d = IssuedObject(handle);
    if (!d) return orlix::kCallbackFailure;
    return d->kind == KindFile ? SeekFileObject(d, 0, FILE_END) : SeekMemoryToEnd(d);
}

int32_t __cdecl OrlixSeekFromStart(uint32_t, uint32_t handle, uint32_t distance) {
    ObjectDescriptor* d = IssuedObject(handle);
    if (!d) return orlix::kCallbackFailure;
    return d->kind == KindFile ? SeekFileObject(d, distance, FILE_BEGIN) : SeekMemoryFromStart(d, distance);
}

int32_t __cdecl OrlixSeekFromCurr(uint32_t, uint32_t handle, uint32_t distance) {
    ObjectDescriptor* d = IssuedObject(handle);
    if (!d) return orlix::kCallbackFailure;
    return d->kind == KindFile ? SeekFileObject(d, distance, FILE_CURRENT) : SeekMemoryFromCurrent(d, distance);
}

int32_t __cdecl OrlixSeekFromEnd(uint32_t, uint32_t handle, uint32_t distance) {
    ObjectDescriptor* d = IssuedObject(handle);
    if (!d) return orlix::kCallbackFailure;
    return d->kind == KindFile ? SeekFileObject(d, distance, FILE_END) : SeekMemoryFromEnd(d, distance);
}

int32_t __cdecl OrlixGetFileLength(uint32_t, uint32_t handle) {
    ObjectDescriptor* d = IssuedObject(handle);
    if (!d) return orlix::kCallbackFailure;
    return d->kind == KindFile ? FileObjectLength(d) : static_cast<int32_t>(d->size);
}

int32_t __cdecl OrlixRenameFile(uint32_t, uint32_t from, uint32_t to) {
    std::string oldName, newName;
    if (!ReadName(from, &oldName) || !ReadName(to, &newName)) return orlix::kCallbackFailure;
    return MoveFileA(oldName.c_str(), newName.c_str()) ? 0 : orlix::kCallbackFailure;
}

int32_t __cdecl OrlixSetFileSize(uint32_t, uint32_t handle, uint32_t size) {
    ObjectDescriptor* d = IssuedObject(handle);
    if (!d || d->kind != KindFile) return orlix::kCallbackFailure;
    return SetFileObjectSize(d, size);
}

int32_t __cdecl OrlixDeleteFile(uint32_t, uint32_t name) {
    std::string path;
    if (!ReadName(name, &path)) return orlix::kCallbackFailure;
    return DeleteFileA(path.c_str()) ? 0 : orlix::kCallbackFailure;
}

int32_t __cdecl OrlixGetFileDateTime(uint32_t, uint32_t handle, uint32_t dateOut, uint32_t timeOut) {
    ObjectDescriptor* d = IssuedObject(handle);
    if (!d) return orlix::kCallbackFailure;
    WORD date = 0;
    WORD time = 0;
    if (d->kind == KindFile) FileObjectDateTime(d, &date, &time);
    // Outputs the engine cannot receive are skipped.
    if (dateOut) GuardedCopy(Pointer<WORD>(dateOut), &date, sizeof date, nullptr);
    if (timeOut) GuardedCopy(Pointer<WORD>(timeOut), &time, sizeof time, nullptr);
    return 0;
}

int32_t __cdecl OrlixSetFileDateTime(uint32_t, uint32_t handle, uint32_t date, uint32_t time) {
    ObjectDescriptor* d = IssuedObject(handle);
    if (!d) return orlix::kCallbackFailure;
    if (d->kind == KindFile) SetFileObjectDateTime(d, LOWORD(date), LOWORD(time));
    return 0;
}

int32_t __cdecl OrlixGetFileAttributes(uint32_t, uint32_t name) {
    std::string path;
    if (!ReadName(name, &path)) return orlix::kCallbackFailure;
    return static_cast<int32_t>(GetFileAttributesA(path.c_str()));
}

int32_t __cdecl OrlixSetFileAttributes(uint32_t, uint32_t name, uint32_t attributes) {
    std::string path;
    if (!ReadName(name, &path)) return orlix::kCallbackFailure;
    return SetFileAttributesA(path.c_str(), attributes) ? 0 : orlix::kCallbackFailure;
}

int32_t __cdecl OrlixCreateTempFile(uint32_t, uint32_t buffer) {
    // The engine's buffer holds MAX_PATH characters: all of them are written
    // (zeros after the name), so a shorter buffer fails here, not later.
    char name[MAX_PATH] = {};
    if (!buffer || !GetTempFileNameA(".", "orx", 0, name)) return orlix::kCallbackFailure;
    // GetTempFileNameA created the file; it must not stay behind unused.
    if (!GuardedCopy(Pointer<char>(buffer), name, sizeof name, nullptr)) {
        DeleteFileA(name);
        return orlix::kCallbackFailure;
    }
    const int32_t handle = CreateFileObject(name);
    if (handle == orlix::kCallbackFailure) DeleteFileA(name);
    return handle;
}

int32_t __cdecl ReturnZero(uint32_t) { return 0; }
int32_t __cdecl ReturnOne(uint32_t) { return 1; }
int32_t __cdecl ReturnFail(uint32_t) { return orlix::kCallbackFailure; }

struct SlotEntry {
    int index;
    void* procedure;
};

template <typename F>
SlotEntry Entry(int index, F procedure) {
    return SlotEntry{index, reinterpret_cast<void*>(procedure)};
}

struct Table {
    orlix::CallbackSlot slots[orlix::kCallbackSlotCount] = {};
    Table() {
        using namespace orlix;
        const SlotEntry entries[] = {
            Entry(SlotStubZero0, ReturnZero),
            Entry(SlotAlloc, OrlixAlloc),
            Entry(SlotFree, OrlixFree),
            Entry(SlotCreateFile, OrlixCreateFile),
            Entry(SlotOpenFile, OrlixOpenFile),
            Entry(SlotCloseFile, OrlixCloseFile),
            Entry(SlotReadFile, OrlixReadFile),
            Entry(SlotWriteFile, OrlixWriteFile),
            Entry(SlotSeekToStart, OrlixSeekToStart),
            Entry(SlotSeekToEnd, OrlixSeekToEnd),
            Entry(SlotSeekFromStart, OrlixSeekFromStart),
            Entry(SlotSeekFromCurr, OrlixSeekFromCurr),
            Entry(SlotSeekFromEnd, OrlixSeekFromEnd),
            Entry(SlotGetFileLength, OrlixGetFileLength),
            Entry(SlotRenameFile, OrlixRenameFile),
            Entry(SlotSetFileSize, OrlixSetFileSize),
            Entry(SlotDeleteFile, OrlixDeleteFile),
            Entry(SlotGetFileDateTime, OrlixGetFileDateTime),
            Entry(SlotSetFileDateTime, OrlixSetFileDateTime),
            Entry(SlotGetFileAttributes, OrlixGetFileAttributes),
            Entry(SlotSetFileAttributes, OrlixSetFileAttributes),
            Entry(SlotStubFail21, ReturnFail),
            Entry(SlotStubFail22, ReturnFail),
            Entry(SlotStubFail23, ReturnFail),
            Entry(SlotStubFail24, ReturnFail),
            Entry(SlotStubFail25, ReturnFail),
            Entry(SlotStubFail26, ReturnFail),
            Entry(SlotCreateTempFile, OrlixCreateTempFile),
            Entry(SlotStubOne30, ReturnOne),
            Entry(SlotStubZero31, ReturnZero),
            Entry(SlotStubZero32, ReturnZero),
            Entry(SlotStubFail33, ReturnFail),
            Entry(SlotStubFail34, ReturnFail),
            Entry(SlotStubFail35, ReturnFail),
            Entry(SlotStubFail36, ReturnFail),
            Entry(SlotStubFail37, ReturnFail),
            Entry(SlotStubFail38, ReturnFail),
            Entry(SlotStubFail39, ReturnFail),
            Entry(SlotStubFail40, ReturnFail),
            Entry(SlotStubFail41, ReturnFail),
            Entry(SlotStubFail42, ReturnFail),
            Entry(SlotStubFail43, ReturnFail),
            Entry(SlotStubFail44, ReturnFail),
            Entry(SlotStubFail45, ReturnFail),
            Entry(SlotStubFail46, ReturnFail),
            Entry(SlotStubFail47, ReturnFail),
            Entry(SlotStubFail48, ReturnFail),
            Entry(SlotStubFail49, ReturnFail),
            Entry(SlotStubFail50, ReturnFail),
        };
        // The slots left out (SlotEmpty28, SlotEmpty29, SlotEmpty51) have no address.
        for (const SlotEntry& entry : entries)
            slots[entry.index] = CallbackSlot{entry.procedure, kCallbackArgumentCounts[entry.index]};
    }
};

}  // namespace

const orlix::CallbackSlot* EngineFileCallbacks() {
    static const Table table;
    return table.slots;
}
