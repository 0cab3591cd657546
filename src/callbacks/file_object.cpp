#include "callbacks/file_object.h"

#include "orlix/contract.h"

namespace {

HANDLE FileOf(const ObjectDescriptor* d) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(d->handle)); }

int32_t Issue(HANDLE file) {
    if (file == INVALID_HANDLE_VALUE) return orlix::kCallbackFailure;
    const int32_t handle = IssueObject(KindFile, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(file)), 0, 0);
    if (handle == orlix::kCallbackFailure) CloseHandle(file);
    return handle;
}

}  // namespace

int32_t CreateFileObject(const char* path) {
    return Issue(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
}

int32_t OpenFileObject(const char* path, int32_t mode) {
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
            return orlix::kCallbackFailure;
    }
    return Issue(CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
}

int32_t CloseFileObject(ObjectDescriptor* d) {
    const BOOL closed = CloseHandle(FileOf(d));
    RetireObject(d);
    return closed ? static_cast<int32_t>(closed) : orlix::kCallbackFailure;
}

int32_t ReadFileObject(const ObjectDescriptor* d, void* buffer, uint32_t count) {
    DWORD got = 0;
    if (!ReadFile(FileOf(d), buffer, count, &got, nullptr)) return orlix::kCallbackFailure;
    return static_cast<int32_t>(got);
}

int32_t WriteFileObject(const ObjectDescriptor* d, const void* buffer, uint32_t count) {
    DWORD put = 0;
    if (!WriteFile(FileOf(d), buffer, count, &put, nullptr)) return orlix::kCallbackFailure;
    return static_cast<int32_t>(put);
}

int32_t SeekFileObject(const ObjectDescriptor* d, uint32_t distance, DWORD method) {
    DWORD position = SetFilePointer(FileOf(d), static_cast<LONG>(distance), nullptr, method);
    return position == INVALID_SET_FILE_POINTER ? orlix::kCallbackFailure : static_cast<int32_t>(position);
}

int32_t FileObjectLength(const ObjectDescriptor* d) {
    DWORD size = GetFileSize(FileOf(d), nullptr);
    return size == INVALID_FILE_SIZE ? orlix::kCallbackFailure : static_cast<int32_t>(size);
}

int32_t SetFileObjectSize(const ObjectDescriptor* d, uint32_t size) {
    if (SeekFileObject(d, size, FILE_BEGIN) == orlix::kCallbackFailure) return orlix::kCallbackFailure;
    return SetEndOfFile(FileOf(d)) ? 0 : orlix::kCallbackFailure;
}

void FileObjectDateTime(const ObjectDescriptor* d, WORD* date, WORD* time) {
    FILETIME written;
    if (!GetFileTime(FileOf(d), nullptr, nullptr, &written) || !FileTimeToDosDateTime(&written, date, time)) {
        *date = 0;
        *time = 0;
    }
}

void SetFileObjectDateTime(const ObjectDescriptor* d, WORD date, WORD time) {
    FILETIME written;
    if ((date || time) && DosDateTimeToFileTime(date, time, &written))
        SetFileTime(FileOf(d), nullptr, nullptr, &written);
}
