#include "amsi_engine.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base_lines.h"
#include "host/host_io.h"

namespace amsiengine {
namespace {

constexpr size_t kMaxLineLength = 4096;
constexpr uint32_t kReadChunk = 4096;

class SettingLines : public engineboundary::LineTaker {
public:
    explicit SettingLines(Settings& settings) : settings_(settings) {}
    bool TakeLine(const std::string& line) override { return ApplyConfigLine(line, settings_); }

private:
    Settings& settings_;
};

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A required provider by its CLSID or its registered name.
bool Matches(const Provider& provider, const std::string& wanted) {
    return SameText(provider.clsid, wanted) || (!provider.name.empty() && SameText(provider.name, wanted));
}

}  // namespace

refengine::ObjectWalk& AmsiEngine::Walk() {
    if (!walk_) {
        refengine::UnpackLimits limits = refengine::kUnpackLimits;
        limits.checkMilliseconds = std::max(limits.checkMilliseconds, settings_.checkMilliseconds);
        walk_.reset(new refengine::ObjectWalk(host_, detector_, limits));
    }
    return *walk_;
}

int32_t AmsiEngine::LoadBase(const char* path) {
    if (!path) return orlix::kEngineFailure;
    refengine::HostFile file(host_);
    if (!file.Open(path, orlix::kOpenRead)) return orlix::kEngineFailure;
    unsigned char chunk[kReadChunk];
    SettingLines taker(settings_);
    engineboundary::BaseLineReader lines(taker, kMaxLineLength);
    for (uint64_t offset = 0;;) {
        const int32_t got = file.ReadAt(offset, chunk, sizeof chunk);
        if (got == -1) return orlix::kEngineFailure;
        if (got == 0) break;
        offset += static_cast<uint32_t>(got);
        lines.Feed(chunk, static_cast<size_t>(got));
    }
    lines.Finish();
    rejectedLines_ += lines.rejected();
    std::string text = std::string(path).substr(0, 260) + ": " + std::to_string(lines.rejected()) + " lines rejected";
    if (lines.rejected()) text += " (the first is line " + std::to_string(lines.firstRejected()) + ")";
    Trace(text);
    // The walk is made again with the settings read.
    walk_.reset();

    found_.clear();
    std::string why;
    if (!providers_.List(found_, why)) {
        found_.clear();
        Trace("no anti-malware provider: " + why);
    }
    for (const Provider& provider : found_)
        Trace("provider " + provider.clsid + " \"" + provider.name + "\" (" + provider.path + ")");
    records_ = static_cast<int32_t>(found_.size());
    for (const std::string& wanted : settings_.requiredProviders) {
        if (std::none_of(found_.begin(), found_.end(), [&](const Provider& p) { return Matches(p, wanted); })) {
            Trace("required provider " + wanted + " is not registered: no checks");
            records_ = 0;
        }
    }
    if (found_.empty()) Trace("no anti-malware provider registered with AMSI: no checks");
    detector_.SetReady(records_ > 0);
    return records_;
}

int32_t AmsiEngine::ScanFile(int32_t mode, const char* name) {
    refengine::ObjectWalk& walk = Walk();
    int32_t answer = walk.ScanObject(mode, name);
    // Members off: the whole object was the provider's to judge; its
    // archives are not walked.
    if (!settings_.members && answer == static_cast<int32_t>(orlix::ResultArchive)) {
        walk.CloseArchive();
        answer = orlix::ResultClean;
    }
    return answer;
}

void AmsiEngine::LastVirusName(char* buffer) {
    if (walk_) {
        walk_->CopyLastVirusName(buffer);
    } else {
        buffer[0] = 0;
    }
}

}  // namespace amsiengine
