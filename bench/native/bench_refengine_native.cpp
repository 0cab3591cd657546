// The reference engine built natively, on a folder of clean files with one
// base, side by side with a raw read of the same files in the same process:
//
//   bench_refengine_native <data folder> <base file> <canary file> [--paths]
//
// Like bench_refengine.exe under Wine: every file is read raw (64 KB read
// calls), checked by the engine through the native host's callback table,
// and read raw again, three rounds in turn (each figure the best); the
// canary must be reported. It also prints the heap the loaded base holds.
// One key=value line for run.sh; exit code 0 when every data file was clean
// and the canary was found, 1 otherwise, 2 on a setup error. The line
// names the matcher's filter path first; with --paths, a line for each
// path follows, all measured in turns in this process. Under
// callgrind, --toggle-collect=ScanAll counts the checks alone.
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine_run.h"
#include "host/engine_driver.h"
#include "host/native_host.h"
#include "match/wide_filter.h"

namespace {

std::vector<std::string> FilesOf(const std::string& folder) {
    std::vector<std::string> files;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            std::string path = folder + "/" + e->d_name;
            struct stat st;
            if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) files.push_back(path);
        }
        closedir(dir);
    }
    return files;
}

long long ReadAll(const std::vector<std::string>& files) {
    static char buffer[64 << 10];
    long long total = 0;
    for (const std::string& name : files) {
        int f = open(name.c_str(), O_RDONLY);
        if (f < 0) return -1;
        ssize_t done;
        while ((done = read(f, buffer, sizeof buffer)) > 0) total += done;
        close(f);
    }
    return total;
}

// Blocks in use, the large ones malloc maps apart included.
double HeapMegabytes() {
    const struct mallinfo2 m = mallinfo2();
    return (m.uordblks + m.hblkhd) / 1048576.0;
}

// Kept out of line so that callgrind can count it alone.
__attribute__((noinline)) void ScanAll(orlix::EngineEntryProc entry, const std::vector<std::string>& files, int& found,
                                       int& failed) {
    CheckEach(entry, files, found, failed);
}

// Every filter path the processor has, in turns within this process, five
// rounds with a raw read in each (best of each): the paths side by side,
// free of the drift between separate runs on a shared machine.
void ComparePaths(orlix::EngineEntryProc entry, const std::vector<std::string>& files) {
    using namespace refengine;
    Database& db = nativehost::BoundDatabase();
    const FilterPath own = db.filterPath();
    double best[4] = {1e9, 1e9, 1e9, 1e9}, raw = 1e9;
    long long bytes = 0;
    for (int round = 0; round < 5; ++round) {
        for (FilterPath path : kFilterPaths) {
            if (!db.UseFilterPath(path)) continue;
            int found = 0, failed = 0;
            const double t0 = BenchSeconds();
            ScanAll(entry, files, found, failed);
            best[static_cast<int>(path)] = std::min(best[static_cast<int>(path)], BenchSeconds() - t0);
        }
        const double t0 = BenchSeconds();
        bytes = ReadAll(files);
        raw = std::min(raw, BenchSeconds() - t0);
    }
    db.UseFilterPath(own);
    const double mb = double(bytes) / 1048576.0;
    for (FilterPath path : kFilterPaths) {
        if (!FilterPathAvailable(path)) continue;
        const double t = best[static_cast<int>(path)];
        std::printf("%-6s %8.1f MB/s  raw read %8.1f MB/s  share %.2f  against scalar %.2f\n", FilterPathName(path),
                    mb / t, mb / raw, raw / t, best[0] / t);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool comparePaths = argc == 5 && std::string(argv[4]) == "--paths";
    if (argc != 4 && !comparePaths) {
        std::fprintf(stderr, "usage: bench_refengine_native <data folder> <base file> <canary file> [--paths]\n");
        return 2;
    }
    const std::vector<std::string> files = FilesOf(argv[1]);
    orlix::EngineEntryProc entry = nativehost::BindEngine();
    if (files.empty() || !entry) {
        std::fprintf(stderr, "no data files in %s or the engine did not bind\n", argv[1]);
        return 2;
    }
    nativehost::SetTempFolder("/tmp");
    // The filter path this process uses (ORLIX_MATCHER_PATH forces one).
    std::printf("path=%s ", refengine::FilterPathName(nativehost::BoundDatabase().filterPath()));

    const EngineBenchPlatform platform = {ReadAll, HeapMegabytes, ScanAll};
    const int status = RunEngineBench(entry, files, argv[2], argv[3], platform);
    if (comparePaths) ComparePaths(entry, files);
    return status;
}
