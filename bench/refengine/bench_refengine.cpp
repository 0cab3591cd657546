// The reference engine's throughput on a folder of clean files with one
// base, side by side with a raw read of the same files in the same process:
//
//   bench_refengine.exe <data folder> <base file> <canary file>
//
// Every file of the folder is read once raw (64 KB ReadFile calls), then
// checked by the engine through the plug-in's callback table and read raw again,
// three rounds in turn; each figure is the best of its passes. The canary
// holds one of the base's records and must be reported. One line of results on the standard
// output (key=value) for bench/refengine/run.sh; exit code 0 when every data
// file was clean and the canary was found, 1 otherwise, 2 on a setup error.
// heap_mb is the growth of the private memory committed across loading.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_host.h"
#include "orlix/contract.h"
#include "engine_run.h"

namespace {

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
    const std::vector<std::string> files = BenchFiles(argv[1]);
    orlix::EngineEntryProc entry = LoadBenchEngine("..\\refengine\\");
    if (files.empty() || !entry) {
        std::fprintf(stderr, "no data files in %s or orlix32.dll not found beside ..\\refengine\n", argv[1]);
        return 2;
    }
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    SetCurrentDirectoryA(temp);

    const EngineBenchPlatform platform = {BenchReadAll, CommittedMegabytes, CheckEach};
    return RunEngineBench(entry, files, argv[2], argv[3], platform);
}
