#include "reference_engine.h"

#include <cstdio>
#include <string>

#include "base_lines.h"

namespace refengine {
namespace {

// Longer lines are rejected whole.
constexpr size_t kMaxLineLength = 65536;
constexpr uint32_t kReadChunk = 65536;

class RecordLines : public engineboundary::LineTaker {
public:
    explicit RecordLines(Database& database) : database_(database) {}
    bool TakeLine(const std::string& line) override { return database_.AddLine(line); }

private:
    Database& database_;
};

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
    char trace[400];
    std::snprintf(trace, sizeof trace, "orlix32: %.260s: %d records, %d lines rejected\n", path,
                  database_.records() - before, lines.rejected());
    host_.Trace(trace);
    return database_.records() - before;
}

void ReferenceEngine::FinishLoad() {
    database_.Finish();
    // Which vector instructions the matcher uses in this process.
    char trace[64];
    std::snprintf(trace, sizeof trace, "orlix32: matcher filter: %s\n", FilterPathName(database_.filterPath()));
    host_.Trace(trace);
}

}  // namespace refengine
