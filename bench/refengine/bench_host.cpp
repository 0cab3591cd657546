#include "bench_host.h"

#include <windows.h>

#include "callbacks/callbacks.h"

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
    return reinterpret_cast<orlix::EngineEntryProc>(init(EngineFileCallbacks(), orlix::kCallbackSlotCount, nullptr, 0));
}
