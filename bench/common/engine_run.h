// What the engine benchmarks share, under Wine and natively: the measurement of one engine binding on a folder of clean
// files (raw read, base load, checks and raw reads in turn, the canary) printed as the one key=value line
// bench/refengine/run.sh reads. The platform supplies the raw reads, the memory figure and the loop of checks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "orlix/contract.h"

// Checks every file; counts finds and failures.
inline void CheckEach(orlix::EngineEntryProc entry, const std::vector<std::string>& files, int& found, int& failed) {
    for (const std::string& name : files) {
        int32_t answer = entry(0, orlix::EngineScanFile, orlix::kScanModeCheck, 1, name.c_str(), 0);
        found += answer > 0 && (answer & orlix::kVirusFoundBits);
        failed += answer < 0;
    }
}

struct EngineBenchPlatform {
    // Reads every file in 64 KB calls; the bytes read, or -1 on an error.
    long long (*readAll)(const std::vector<std::string>& files);
    // What the process holds, in megabytes: the base's share is the growth.
    double (*memoryMegabytes)();
    void (*checkAll)(orlix::EngineEntryProc entry, const std::vector<std::string>& files, int& found, int& failed);
};

// Exit code: 0 when every data file was clean and the canary was found.
inline int RunEngineBench(orlix::EngineEntryProc entry, const std::vector<std::string>& files, const char* base,
                          const char* canary, const EngineBenchPlatform& platform) {
    double t0 = BenchSeconds();
    const long long bytes = platform.readAll(files);
    const double rawFirst = BenchSeconds() - t0;

    const double memoryBefore = platform.memoryMegabytes();
    t0 = BenchSeconds();
    const int32_t records = entry(0, orlix::EngineLoadBase, base);
    entry(0, orlix::EngineFinishLoad);
    const double load = BenchSeconds() - t0;
    const double memory = platform.memoryMegabytes() - memoryBefore;

    // Best of three rounds of checks and raw reads taken in turn: on a
    // shared machine a single pass measures the neighbours as much as us.
    int found = 0, failed = 0;
    double engine = 0, raw = rawFirst;
    long long again = bytes;
    for (int round = 0; round < 3; ++round) {
        int roundFound = 0, roundFailed = 0;
        t0 = BenchSeconds();
        platform.checkAll(entry, files, roundFound, roundFailed);
        const double checks = BenchSeconds() - t0;
        engine = round == 0 || checks < engine ? checks : engine;
        found += roundFound;
        failed += roundFailed;
        t0 = BenchSeconds();
        const long long read = platform.readAll(files);
        const double rawRound = BenchSeconds() - t0;
        raw = rawRound < raw ? rawRound : raw;
        if (read != bytes) again = read;
    }

    const int32_t canaryAnswer = entry(0, orlix::EngineScanFile, orlix::kScanModeCheck, 1, canary, 0);
    std::printf(
        "records=%d files=%u bytes=%lld load_s=%.3f engine_s=%.3f raw_s=%.3f heap_mb=%.1f found=%d failed=%d "
        "canary=%d\n",
        records, static_cast<unsigned>(files.size()), bytes, load, engine, raw, memory, found, failed, canaryAnswer);
    const bool ok = bytes > 0 && again == bytes && found == 0 && failed == 0 && canaryAnswer > 0 &&
                    (canaryAnswer & orlix::kVirusFoundBits);
    return ok ? 0 : 1;
}
