#include "reference_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base_lines.h"

namespace refengine {
namespace {

// Longer lines are rejected whole.
constexpr size_t kMaxLineLength = 65536;
constexpr uint32_t kReadChunk = 65536;

// "database PATH" names databases of the open format to load besides the
// file's own records; they load once the file is read.
class RecordLines : public engineboundary::LineTaker {
public:
    explicit RecordLines(Database& database) : database_(database) {}
    bool TakeLine(const std::string& line) override {
        static const char kKeyword[] = "database";
        const size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line.compare(first, sizeof kKeyword - 1, kKeyword) == 0 &&
            line.size() > first + sizeof kKeyword - 1 &&
            (line[first + sizeof kKeyword - 1] == ' ' || line[first + sizeof kKeyword - 1] == '\t')) {
            const size_t from = line.find_first_not_of(" \t", first + sizeof kKeyword - 1);
            const size_t to = line.find_last_not_of(" \t\r");
            if (from == std::string::npos) return false;
            databases.push_back(line.substr(from, to + 1 - from));
            return true;
        }
        return database_.AddLine(line);
    }
    std::vector<std::string> databases;

private:
    Database& database_;
};

// A relative database path is taken from the base file's folder.
std::string Resolve(const std::string& base, const std::string& path) {
    const bool absolute = path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':');
    const size_t slash = base.find_last_of("/\\");
    if (absolute || slash == std::string::npos) return path;
    return base.substr(0, slash + 1) + path;
}

}  // namespace

int32_t ReferenceEngine::LoadBase(const char* path) {
    if (!path) return orlix::kEngineFailure;
    HostFile file(host_);
    if (!file.Open(path, orlix::kOpenRead)) return orlix::kEngineFailure;
    HostBuffer chunk(host_, kReadChunk);
    if (!chunk) return orlix::kEngineFailure;
    int32_t before = database_.records();
    RecordLines taker(database_);
    engineboundary::BaseLineReader lines(taker, kMaxLineLength);
    for (uint64_t offset = 0;;) {
        int32_t got = file.ReadAt(offset, chunk.data(), chunk.size());
        if (got == -1) return orlix::kEngineFailure;
        if (got == 0) break;
        offset += static_cast<uint32_t>(got);
        lines.Feed(chunk.data(), static_cast<size_t>(got));
    }
    lines.Finish();
    rejectedLines_ += lines.rejected();
    ClamLoader loader(host_, database_, clam_);
    for (const std::string& database : taker.databases) loader.LoadPath(Resolve(path, database));
    char trace[400];
    std::snprintf(trace, sizeof trace, "orlix32: %.260s: %d records, %d lines rejected\n", path,
                  database_.records() - before, lines.rejected());
    host_.Trace(trace);
    return database_.records() - before;
}

void ReferenceEngine::StatisticsEx(orlix::BaseStatisticsEx& out) {
    Statistics(&out.records, &out.rejectedLines);
    const ClamCounts& c = clam_.counts;
    out.hashRecords = c.hashRecords;
    out.bodyRecords = c.bodyRecords;
    out.allowRecords = c.allowRecords;
    out.ignoredNames = c.ignoredNames;
    out.databasesLoaded = clam_.databasesLoaded;
    out.databasesRejected = clam_.databasesRejected;
    std::copy(std::begin(c.skipped), std::end(c.skipped), out.skipped);
    out.storeBytes = static_cast<uint32_t>(std::min<size_t>(database_.bytes(), 0xFFFFFFFFu));
    out.databaseCount = static_cast<int32_t>(clam_.databases.size());
    std::copy(clam_.databases.begin(), clam_.databases.end(), out.databases);
}

void ReferenceEngine::FinishLoad() {
    database_.Finish();
    // Which vector instructions the matcher uses in this process.
    char trace[64];
    std::snprintf(trace, sizeof trace, "orlix32: matcher filter: %s\n", FilterPathName(database_.filterPath()));
    host_.Trace(trace);
}

}  // namespace refengine
