// Checks one 64 MiB object with bases of 10, 1000 and 10000 records and
// prints each time relative to the smallest base: with one automaton over
// all anchors the ratios stay near 1. Run from build/bin under Wine.
#include <windows.h>

#include <cstdio>
#include <random>
#include <string>

#include "engine/contract.h"
#include "refengine/test_host.h"

namespace {

std::string RandomBase(int records, std::mt19937& random) {
    std::string base;
    char hex[3];
    for (int r = 0; r < records; ++r) {
        base += "Bench." + std::to_string(r) + ":0:*:";
        for (int k = 0; k < 12; ++k) {
            std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned>(random() & 0xFF));
            base += hex;
        }
        base += (r % 3 == 0) ? "*" : "{0-32}";
        for (int k = 0; k < 6; ++k) {
            std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned>(random() & 0xFF));
            base += hex;
        }
        base += "\n";
    }
    return base;
}

}  // namespace

int main() {
    char folder[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, folder, MAX_PATH);
    std::string dir(folder, n);
    dir = dir.substr(0, dir.find_last_of('\\') + 1);
    HMODULE engine = LoadLibraryA((dir + "..\\refengine\\orlix32.dll").c_str());
    auto init = engine ? reinterpret_cast<orlix::EngineInitProc>(
                             reinterpret_cast<void*>(GetProcAddress(engine, orlix::kEngineInitExport)))
                       : nullptr;
    if (!init) {
        std::printf("orlix32.dll not found beside ..\\refengine\n");
        return 2;
    }
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string basePath = std::string(temp) + "bench_refengine.vdb";
    std::string object = std::string(kSyntheticPrefix) + std::to_string(64u << 20) + ":-1";
    std::mt19937 random(7);
    double first = 0;
    for (int records : {10, 1000, 10000}) {
        auto entry =
            reinterpret_cast<orlix::EngineEntryProc>(init(TestHostTable(), orlix::kCallbackSlotCount, nullptr, 0));
        std::string base = RandomBase(records, random);
        HANDLE f = CreateFileA(basePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(f, base.data(), static_cast<DWORD>(base.size()), &written, nullptr);
        CloseHandle(f);
        entry(0, orlix::EngineLoadBase, basePath.c_str());
        entry(0, orlix::EngineFinishLoad);
        LARGE_INTEGER start, end, frequency;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        int32_t answer = entry(0, orlix::EngineScanFile, 0, 1, object.c_str(), 0);
        QueryPerformanceCounter(&end);
        double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
        if (first == 0) first = seconds;
        std::printf("%6d records: answer %d, %.3f s, %.2f x the 10-record time, %.0f MiB/s\n", records, answer, seconds,
                    seconds / first, 64 / seconds);
    }
    DeleteFileA(basePath.c_str());
    return 0;
}
