// What the plug-in adds to the work it wraps, each measured side by side with
// the bare operation in the same run:
//   1. BAV_CheckFile of a small clean file, report log off, an engine that
//      answers at once, against that engine operation called directly;
//   2. the same with the report log on, against the open/append/close per
//      line that the log requires;
//   3. a memory object read through OrlixReadFile in 64 KB reads, against
//      memcpy of the same bytes;
//   4. a file read through the callbacks, against ReadFile, warm cache;
//   5. an archive walk of many members and a 65-level nesting, against the
//      engine's own operations called directly.
// Usage: bench_plugin [--short]   (run from build/bin under Wine)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "common/scratch.h"
#include "common/test_engine_setup.h"
#include "orlix/contract.h"
#include "plugin_loader.h"

namespace {

struct Sizes {
    int checks;
    uint32_t memoryBytes;
    uint32_t fileBytes;
    int members;
};

uint32_t Word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// The engine's entry, got the way the plug-in got it.
orlix::EngineEntryProc EntryOf(TestEngineApi& te) {
    uint32_t table = 0;
    int32_t count = 0;
    int32_t version[3];
    int32_t reserved = 0;
    te.InitArguments(&table, &count, version, &reserved);
    auto init = reinterpret_cast<orlix::EngineInitProc>(
        reinterpret_cast<void*>(GetProcAddress(te.module, orlix::kEngineInitExport)));
    return reinterpret_cast<orlix::EngineEntryProc>(
        init(reinterpret_cast<const void*>(static_cast<uintptr_t>(table)), count, version, 0));
}

struct Bench {
    Sizes sizes;
    SettingsKeyScratch key;
    TestEngineSetup engine;
    PluginApi plugin;
    TempDir data;
    char status[512];

    bool Start(bool log) {
        plugin.Unload();
        engine.WriteSettings(key);
        key.Flag(setting::kLogEnabled, log ? 1 : 0);
        if (!plugin.Load()) return false;
        engine->SetRecording(0);
        return plugin.Initialize() == 0;
    }

    void CheckOverhead() {
        const std::string file = data.File("small.txt");
        WriteFileBytes(file, "small clean file");
        if (!Start(false)) return;
        orlix::EngineEntryProc entry = EntryOf(engine.api());
        const int n = sizes.checks;
        for (int i = 0; i < n / 10 + 1; ++i) plugin.CheckFile(file.c_str(), status);
        double t0 = BenchSeconds();
        for (int i = 0; i < n; ++i) plugin.CheckFile(file.c_str(), status);
        const double viaPlugin = (BenchSeconds() - t0) / n;
        t0 = BenchSeconds();
        for (int i = 0; i < n; ++i) entry(0, orlix::EngineScanFile, 0, 1, file.c_str(), 0);
        const double direct = (BenchSeconds() - t0) / n;
        // The three trace lines of a check go to the debugger output whether
        // or not a debugger listens.
        const std::string traces[3] = {"Orlix for TheBAT!: BAV_CheckFile: " + file + "\r\n",
                                       "Orlix for TheBAT!: CheckFile #0: Result = 0\r\n",
                                       "Orlix for TheBAT!: CheckFile #1: Result = 0\r\n"};
        t0 = BenchSeconds();
        for (int i = 0; i < n; ++i)
            for (const std::string& t : traces) OutputDebugStringA(t.c_str());
        const double traced = (BenchSeconds() - t0) / n;
        printf("%-44s %10.2f us  engine alone %8.2f us  plug-in overhead %8.2f us  (goal < 5 us)\n",
               "BAV_CheckFile, log off", viaPlugin * 1e6, direct * 1e6, (viaPlugin - direct) * 1e6);
        printf("%-44s %10.2f us  overhead without them %8.2f us\n", "  of which 3 trace lines (OutputDebugStringA)",
               traced * 1e6, (viaPlugin - direct - traced) * 1e6);

        // With the log: a clean check writes its heading and its verdict line.
        // Rounds alternate so both files grow alike.
        if (!Start(true)) return;
        const std::string log = data.File("bare.log");
        const std::string line = "12/8/2026 3:25:00 AM  CheckFile: " + file + " - Ok\r\n";
        double logged = 0;
        double bareLines = 0;
        const int rounds = 10;
        for (int round = 0; round < rounds; ++round) {
            t0 = BenchSeconds();
            for (int i = 0; i < n / rounds; ++i) plugin.CheckFile(file.c_str(), status);
            logged += BenchSeconds() - t0;
            t0 = BenchSeconds();
            for (int i = 0; i < 2 * (n / rounds); ++i) {
                HANDLE f = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
                SetFilePointer(f, 0, nullptr, FILE_END);
                DWORD written = 0;
                WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
                CloseHandle(f);
            }
            bareLines += BenchSeconds() - t0;
        }
        logged /= rounds * (n / rounds);
        bareLines /= rounds * (n / rounds);
        printf("%-44s %10.2f us  engine + 2 bare log lines %8.2f us  beyond those %8.2f us  (goal ~0)\n",
               "BAV_CheckFile, log on", logged * 1e6, (direct + bareLines) * 1e6, (logged - direct - bareLines) * 1e6);
        printf("%-44s %10.2f us\n", "  beyond the lines and the 3 trace lines",
               (logged - direct - bareLines - traced) * 1e6);
    }

    // Reads the memory object the engine is asked about, 64 KB at a time.
    struct MemoryRead {
        TestEngineApi* te;
        uint32_t buffer;
        double seconds = 0;
        uint64_t bytes = 0;
    };
    static void __cdecl ReadMemoryObject(int32_t, const char* name, void* context) {
        MemoryRead* m = static_cast<MemoryRead*>(context);
        const uint32_t h = m->te->Call(orlix::SlotOpenFile, {Word(name), 0});
        if (h == 0xFFFFFFFFu) return;
        const double t0 = BenchSeconds();
        for (;;) {
            const uint32_t got = m->te->Call(orlix::SlotReadFile, {h, m->buffer, 64u << 10});
            if (got == 0 || got == 0xFFFFFFFFu) break;
            m->bytes += got;
        }
        m->seconds = BenchSeconds() - t0;
        m->te->Call(orlix::SlotCloseFile, {h});
    }

    void MemoryReads() {
        if (!Start(false)) return;
        const uint32_t size = sizes.memoryBytes;
        std::vector<char> block(size, 'm');
        std::vector<char> chunk(64u << 10);
        MemoryRead m = {&engine.api(), Word(chunk.data())};
        engine->SetHook(orlix::EngineScanFile, &Bench::ReadMemoryObject, &m);
        plugin.CheckMemory(Word(block.data()), static_cast<int32_t>(size), status);  // warm
        m.seconds = 0;
        m.bytes = 0;
        plugin.CheckMemory(Word(block.data()), static_cast<int32_t>(size), status);
        engine->SetHook(orlix::EngineScanFile, nullptr, nullptr);
        const double t0 = BenchSeconds();
        for (uint32_t at = 0; at < size; at += static_cast<uint32_t>(chunk.size()))
            memcpy(chunk.data(), block.data() + at, chunk.size() < size - at ? chunk.size() : size - at);
        const double copy = BenchSeconds() - t0;
        printf("%-44s %10.1f MB/s  memcpy %10.1f MB/s  share of memcpy %6.3f  (goal >= 0.9)\n",
               ("OrlixReadFile, memory, " + std::to_string(size >> 20) + " MB").c_str(),
               m.bytes / m.seconds / 1048576.0, size / copy / 1048576.0, copy / m.seconds);
    }

    void FileReads() {
        if (!Start(false)) return;
        const std::string file = data.File("big.bin");
        {
            HANDLE f = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            std::vector<char> chunk(1u << 20, 'f');
            DWORD written = 0;
            for (uint32_t at = 0; at < sizes.fileBytes; at += 1u << 20)
                WriteFile(f, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr);
            CloseHandle(f);
        }
        std::vector<char> chunk(64u << 10);
        auto viaReadFile = [&] {
            HANDLE f = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            DWORD got = 0;
            uint64_t total = 0;
            while (ReadFile(f, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) && got) total += got;
            CloseHandle(f);
            return total;
        };
        auto viaCallbacks = [&] {
            TestEngineApi& te = engine.api();
            const uint32_t h = te.Call(orlix::SlotOpenFile, {Word(file.c_str()), 0});
            uint64_t total = 0;
            for (;;) {
                const uint32_t got = te.Call(orlix::SlotReadFile, {h, Word(chunk.data()), 64u << 10});
                if (got == 0 || got == 0xFFFFFFFFu) break;
                total += got;
            }
            te.Call(orlix::SlotCloseFile, {h});
            return total;
        };
        viaReadFile();  // warm the cache
        viaCallbacks();
        double best[2] = {1e9, 1e9};
        uint64_t bytes = 0;
        for (int round = 0; round < 3; ++round) {
            double t0 = BenchSeconds();
            bytes = viaCallbacks();
            best[0] = std::min(best[0], BenchSeconds() - t0);
            t0 = BenchSeconds();
            viaReadFile();
            best[1] = std::min(best[1], BenchSeconds() - t0);
        }
        printf("%-44s %10.1f MB/s  ReadFile %10.1f MB/s  share of ReadFile %6.3f  (goal >= 0.95)\n",
               ("OrlixReadFile, file, " + std::to_string(sizes.fileBytes >> 20) + " MB").c_str(),
               bytes / best[0] / 1048576.0, bytes / best[1] / 1048576.0, best[1] / best[0]);
        DeleteFileA(file.c_str());
    }

    void ArchiveWalk() {
        TestEngineApi& te = engine.api();
        const std::string wide = data.File("wide.zip");
        const std::string deep = data.File("deep.zip");
        te.SetScanFallback(wide.c_str(), 0, 0x1000);
        te.SetScanFallback(deep.c_str(), 0, 0x1000);
        te.DefineArchive(wide.c_str(), 0, 0);
        for (int i = 0; i < sizes.members; ++i) te.Member(wide, "member" + std::to_string(i) + ".txt", 0, 0);
        std::string current = deep;
        te.DefineArchive(deep.c_str(), 0, 0);
        for (int level = 1; level < 65; ++level) {
            const std::string next = "level" + std::to_string(level);
            te.Member(current, next + ".zip", 0, 0x1000, next.c_str());
            te.DefineArchive(next.c_str(), 0, 0);
            current = next;
        }
        te.Member(current, "bottom.txt", 0, 0);
        for (bool log : {false, true}) {
            if (!Start(log)) return;
            orlix::EngineEntryProc entry = EntryOf(te);
            orlix::ArchiveMemberHeader header;
            char name[orlix::kArchiverNameBufferSize];
            // The engine's own work: the same operations in the same order.
            auto direct = [&](const std::string& object, int levels) {
                entry(0, orlix::EngineScanFile, 0, 1, object.c_str(), 0);
                for (int l = 0; l < levels; ++l) {
                    entry(0, orlix::EngineLastArchiverName, name);
                    memset(&header, 0, sizeof header);
                    entry(0, orlix::EngineOpenArchive, 1);
                    for (;;) {
                        const int32_t h = entry(0, orlix::EngineGetNextFileHeader, &header, 512);
                        if (h != 0) break;
                        const int32_t e = entry(0, orlix::EngineExtractNextFile, &header, 1);
                        if (e & 0x1000) break;  // goes one level down
                    }
                }
                for (int l = 0; l < levels; ++l) entry(0, orlix::EngineCloseArchive, &header);
            };
            double t0 = BenchSeconds();
            const int32_t wideResult = plugin.CheckFile(wide.c_str(), status);
            const double walk = BenchSeconds() - t0;
            t0 = BenchSeconds();
            direct(wide, 1);
            const double engineAlone = BenchSeconds() - t0;
            t0 = BenchSeconds();
            const int32_t deepResult = plugin.CheckFile(deep.c_str(), status);
            const double deepWalk = BenchSeconds() - t0;
            t0 = BenchSeconds();
            direct(deep, 65);
            const double deepAlone = BenchSeconds() - t0;
            printf("%-44s %10.2f us/member  engine alone %8.2f us/member  overhead %8.2f us/member  (answer %d)\n",
                   (std::to_string(sizes.members) + "-member archive, log " + (log ? "on" : "off")).c_str(),
                   walk / sizes.members * 1e6, engineAlone / sizes.members * 1e6,
                   (walk - engineAlone) / sizes.members * 1e6, wideResult);
            printf("%-44s %10.2f us/level   engine alone %8.2f us/level   overhead %8.2f us/level   (answer %d)\n",
                   (std::string("65-level nesting, log ") + (log ? "on" : "off")).c_str(), deepWalk / 65 * 1e6,
                   deepAlone / 65 * 1e6, (deepWalk - deepAlone) / 65 * 1e6, deepResult);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    const bool shortMode = argc > 1 && strcmp(argv[1], "--short") == 0;
    Bench bench;
    bench.sizes = shortMode ? Sizes{200, 4u << 20, 4u << 20, 100} : Sizes{20000, 256u << 20, 256u << 20, 10000};
    if (!bench.engine.ok()) {
        printf("test engine not found at %s\n", TestEngineBuildPath().c_str());
        return 2;
    }
    bench.engine.AddBase("main.vdb", 5);
    if (!bench.Start(false)) {
        printf("plug-in did not start\n");
        return 2;
    }
    printf("bench_plugin%s: plug-in costs against the bare operations, one run\n", shortMode ? " (short)" : "");
    bench.CheckOverhead();
    bench.MemoryReads();
    bench.FileReads();
    bench.ArchiveWalk();
    bench.plugin.Uninitialize();
    bench.plugin.Unload();
    return 0;
}
