// The reference engine's throughput on a folder of clean files with one
// base, side by side with a raw read of the same files in the same process:
//
//   bench_refengine.exe <data folder> <base file> <canary file>
//
// Every file of the folder is read once raw (64 KB ReadFile calls), then
// checked by the engine through a host callback table, then read raw again;
// the raw figure is the mean of the two passes. The canary holds one of the
// base's records and must be reported. One line of results on the standard
// output (key=value) for bench/refengine/run.sh; exit code 0 when every data
// file was clean and the canary was found, 1 otherwise, 2 on a setup error.
// heap_mb is the growth of the private memory committed across loading.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/contract.h"
#include "bench_host.h"

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(frequency.QuadPart);
}

std::vector<std::string> FilesOf(const std::string& folder) {
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

// Reads every file in 64 KB calls; the bytes read, or -1 on an error.
long long ReadAll(const std::vector<std::string>& files) {
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

orlix::EngineEntryProc LoadEngine() {
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self, n);
    dir = dir.substr(0, dir.find_last_of('\\') + 1);
    HMODULE engine = LoadLibraryA((dir + "..\\refengine\\orlix32.dll").c_str());
    auto init = engine ? reinterpret_cast<orlix::EngineInitProc>(
                             reinterpret_cast<void*>(GetProcAddress(engine, orlix::kEngineInitExport)))
                       : nullptr;
    if (!init) return nullptr;
    return reinterpret_cast<orlix::EngineEntryProc>(init(BenchHostTable(), orlix::kCallbackSlotCount, nullptr, 0));
}

// Private memory the process has committed: what the engine holds is the
// growth of this across loading the base (Wine reports no private bytes).
double CommittedMegabytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return double(total) / 1048576.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_refengine <data folder> <base file> <canary file>\n");
        return 2;
    }
    const std::vector<std::string> files = FilesOf(argv[1]);
    orlix::EngineEntryProc entry = LoadEngine();
    if (files.empty() || !entry) {
        std::fprintf(stderr, "no data files in %s or orlix32.dll not found beside ..\\refengine\n", argv[1]);
        return 2;
    }
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    SetBenchTempFolder(temp);

    double t0 = Now();
    const long long bytes = ReadAll(files);
    double rawFirst = Now() - t0;

    const double memoryBefore = CommittedMegabytes();
    t0 = Now();
    const int32_t records = entry(0, orlix::EngineLoadBase, argv[2]);
    entry(0, orlix::EngineFinishLoad);
    const double load = Now() - t0;
    const double memory = CommittedMegabytes() - memoryBefore;

    int found = 0, failed = 0;
    t0 = Now();
    for (const std::string& name : files) {
        int32_t answer = entry(0, orlix::EngineScanFile, orlix::kScanModeCheck, 1, name.c_str(), 0);
        found += answer > 0 && (answer & 0x7);
        failed += answer < 0;
    }
    const double engine = Now() - t0;

    t0 = Now();
    const long long again = ReadAll(files);
    const double raw = (rawFirst + Now() - t0) / 2;

    const int32_t canary = entry(0, orlix::EngineScanFile, orlix::kScanModeCheck, 1, argv[3], 0);
    std::printf(
        "records=%d files=%u bytes=%lld load_s=%.3f engine_s=%.3f raw_s=%.3f heap_mb=%.1f found=%d failed=%d "
        "canary=%d\n",
        records, static_cast<unsigned>(files.size()), bytes, load, engine, raw, memory, found, failed, canary);
    const bool ok = bytes > 0 && again == bytes && found == 0 && failed == 0 && canary > 0 && (canary & 0x7);
    return ok ? 0 : 1;
}
