// The AMSI engine of one binding: the host it was bound to, the settings
// its base file (amsi.vdb) gave, the providers found then, the AMSI
// detector and the reference engine's walk over it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "amsi_api.h"
#include "amsi_config.h"
#include "amsi_detector.h"
#include "engine_boundary.h"
#include "host/callback_host.h"
#include "walk/object_walk.h"

namespace amsiengine {

class AmsiEngine : public engineboundary::Engine {
public:
    AmsiEngine(AmsiApi& api, ProviderList& providers, TraceSink& trace)
        : providers_(providers), trace_(trace), detector_(api, settings_, trace) {}

    bool Bind(const orlix::CallbackSlot* table, int32_t count) override { return host_.Bind(table, count); }
    // Reads the settings, then lists the providers: their number is the
    // answer, 0 when none (or a required one is missing).
    int32_t LoadBase(const char* path) override;
    int32_t ScanFile(int32_t mode, const char* name) override;
    void LastVirusName(char* buffer) override;
    int32_t LastArchiverName(char* buffer) override { return Walk().CopyLastArchiverName(buffer); }
    int32_t OpenArchive() override { return Walk().OpenArchive(); }
    int32_t NextMemberHeader(orlix::ArchiveMemberHeader* header, int32_t room) override {
        return Walk().NextMemberHeader(header, room);
    }
    int32_t ExtractMember(orlix::ArchiveMemberHeader* header) override { return Walk().ExtractMember(header); }
    void CloseArchive() override { Walk().CloseArchive(); }
    void Statistics(int32_t* records, int32_t* rejected) override {
        *records = records_;
        *rejected = rejectedLines_;
    }

    const Settings& settings() const { return settings_; }
    const std::vector<Provider>& providers() const { return found_; }

private:
    // The walk's time bound follows the check's, so it is made once the
    // settings are known.
    refengine::ObjectWalk& Walk();
    void Trace(const std::string& text) { trace_.Line(text); }

    ProviderList& providers_;
    TraceSink& trace_;
    refengine::CallbackHost host_;
    Settings settings_;
    AmsiDetector detector_;
    std::unique_ptr<refengine::ObjectWalk> walk_;
    std::vector<Provider> found_;
    int32_t records_ = 0;
    int32_t rejectedLines_ = 0;
};

}  // namespace amsiengine
