#include "bench_host.h"

#include <windows.h>

#include <cstdlib>

namespace {

std::string g_tempFolder = ".";

struct Object {
    HANDLE file = INVALID_HANDLE_VALUE;
};

Object* FromHandle(int32_t handle) { return reinterpret_cast<Object*>(static_cast<intptr_t>(handle)); }
int32_t ToHandle(Object* o) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(o)); }

int32_t __cdecl CbAlloc(int32_t, int32_t size) {
    void* block = std::calloc(1, static_cast<size_t>(size));
    return block ? static_cast<int32_t>(reinterpret_cast<intptr_t>(block)) : -1;
}

int32_t __cdecl CbFree(int32_t, int32_t address) {
    std::free(reinterpret_cast<void*>(static_cast<intptr_t>(address)));
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
    return CbCreateFile(0, bufferWord);
}

int32_t __cdecl CbCloseFile(int32_t, int32_t handle) {
    Object* o = FromHandle(handle);
    if (!o) return -1;
    CloseHandle(o->file);
    delete o;
    return 0;
}

int32_t __cdecl CbReadFile(int32_t, int32_t handle, int32_t bufferWord, int32_t count) {
    Object* o = FromHandle(handle);
    char* buffer = reinterpret_cast<char*>(static_cast<intptr_t>(bufferWord));
    DWORD done = 0;
    if (!::ReadFile(o->file, buffer, static_cast<DWORD>(count), &done, nullptr)) return -1;
    return static_cast<int32_t>(done);
}

int32_t __cdecl CbWriteFile(int32_t, int32_t handle, int32_t bufferWord, int32_t count) {
    Object* o = FromHandle(handle);
    DWORD done = 0;
    if (!::WriteFile(o->file, reinterpret_cast<const void*>(static_cast<intptr_t>(bufferWord)),
                     static_cast<DWORD>(count), &done, nullptr))
        return -1;
    return static_cast<int32_t>(done);
}

int32_t __cdecl CbSeekFromStart(int32_t, int32_t handle, int32_t distance) {
    Object* o = FromHandle(handle);
    DWORD at = SetFilePointer(o->file, distance, nullptr, FILE_BEGIN);
    return at == INVALID_SET_FILE_POINTER ? -1 : static_cast<int32_t>(at);
}

int32_t __cdecl CbGetFileLength(int32_t, int32_t handle) {
    Object* o = FromHandle(handle);
    DWORD size = GetFileSize(o->file, nullptr);
    return size == INVALID_FILE_SIZE ? -1 : static_cast<int32_t>(size);
}

int32_t __cdecl CbSetFileSize(int32_t, int32_t handle, int32_t size) {
    Object* o = FromHandle(handle);
    if (SetFilePointer(o->file, size, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return -1;
    return SetEndOfFile(o->file) ? 0 : -1;
}

int32_t __cdecl CbDeleteFile(int32_t, int32_t nameWord) {
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

const orlix::CallbackSlot* BenchHostTable() {
    if (!g_table[orlix::SlotAlloc].procedure) Fill();
    return g_table;
}

void SetBenchTempFolder(const std::string& folder) { g_tempFolder = folder; }

std::vector<std::string> BenchFiles(const std::string& folder) {
    std::vector<std::string> files;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(folder + "\\" + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return files;
}

long long BenchReadAll(const std::vector<std::string>& files) {
    static char buffer[64 << 10];
    long long total = 0;
    for (const std::string& name : files) {
        HANDLE f = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return -1;
        DWORD done = 0;
        while (ReadFile(f, buffer, sizeof buffer, &done, nullptr) && done > 0) total += done;
        CloseHandle(f);
    }
    return total;
}

orlix::EngineEntryProc LoadBenchEngine(const char* folder) {
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self, n);
    dir = dir.substr(0, dir.find_last_of('\\') + 1);
    HMODULE engine = LoadLibraryA((dir + folder + "orlix32.dll").c_str());
    auto init = engine ? reinterpret_cast<orlix::EngineInitProc>(
                             reinterpret_cast<void*>(GetProcAddress(engine, orlix::kEngineInitExport)))
                       : nullptr;
    if (!init) return nullptr;
    return reinterpret_cast<orlix::EngineEntryProc>(init(BenchHostTable(), orlix::kCallbackSlotCount, nullptr, 0));
}
