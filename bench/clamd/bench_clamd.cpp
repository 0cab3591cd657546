// The clamd bridge alone under Wine, without the plug-in in between: it is
// loaded with the plug-in's callback table and checks every
// file of each folder given, timed in this process.
//
//   bench_clamd.exe <clamd.vdb> <folder>...
//
// One line a folder on the standard output (key=value) for run.sh; exit
// code 0 when every check answered clean, 1 otherwise, 2 on a setup error.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_host.h"
#include "orlix/contract.h"
#include "engine_run.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_clamd <clamd.vdb> <folder>...\n");
        return 2;
    }
    orlix::EngineEntryProc entry = LoadBenchEngine("..\\clamd-engine\\");
    if (!entry || entry(0, orlix::EngineLoadBase, argv[1]) < 1) {
        std::fprintf(stderr, "the bridge (..\\clamd-engine\\orlix32.dll) or its server in %s is missing\n", argv[1]);
        return 2;
    }
    bool ok = true;
    for (int i = 2; i < argc; ++i) {
        const std::vector<std::string> files = BenchFiles(argv[i]);
        int notClean = 0;
        double t0 = BenchSeconds();
        for (const std::string& name : files)
            notClean += entry(0, orlix::EngineScanFile, orlix::kScanModeCheck, 1, name.c_str(), 0) != 0;
        double seconds = BenchSeconds() - t0;
        // The same files opened and read whole in this process: the part of
        // each check that is the host's file I/O under Wine, not the bridge's.
        t0 = BenchSeconds();
        ok = ok && BenchReadAll(files) >= 0;
        double reading = BenchSeconds() - t0;
        std::printf("files=%u seconds=%.6f read_seconds=%.6f not_clean=%d\n", static_cast<unsigned>(files.size()),
                    seconds, reading, notClean);
        ok = ok && !files.empty() && notClean == 0;
    }
    return ok ? 0 : 1;
}
