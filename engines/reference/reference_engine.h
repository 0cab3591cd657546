// The reference engine of one binding: the host it was bound to, the
// records its bases loaded, the signature matcher over them as the walk's
// detector, and the walk.
#pragma once

#include <cstdint>

#include "clamdb/clam_loader.h"
#include "engine_boundary.h"
#include "host/callback_host.h"
#include "match/database.h"
#include "match/signature_detector.h"
#include "walk/object_walk.h"

namespace refengine {

class ReferenceEngine : public engineboundary::Engine {
public:
    ReferenceEngine() : detector_(database_), walk_(host_, detector_) {}

    bool Bind(const orlix::CallbackSlot* table, int32_t count) override { return host_.Bind(table, count); }
    int32_t LoadBase(const char* path) override;
    void FinishLoad() override;
    int32_t ScanFile(int32_t mode, const char* name) override { return walk_.ScanObject(mode, name); }
    void LastVirusName(char* buffer) override { walk_.CopyLastVirusName(buffer); }
    int32_t LastArchiverName(char* buffer) override { return walk_.CopyLastArchiverName(buffer); }
    int32_t OpenArchive() override { return walk_.OpenArchive(); }
    int32_t NextMemberHeader(orlix::ArchiveMemberHeader* header, int32_t room) override {
        return walk_.NextMemberHeader(header, room);
    }
    int32_t ExtractMember(orlix::ArchiveMemberHeader* header) override { return walk_.ExtractMember(header); }
    void CloseArchive() override { walk_.CloseArchive(); }
    void Statistics(int32_t* records, int32_t* rejected) override {
        *records = database_.records();
        *rejected = rejectedLines_ + clam_.counts.rejectedLines;
    }
    void StatisticsEx(orlix::BaseStatisticsEx& out) override;

    // For programs that link the engine natively: the records and the
    // matcher's path.
    Database& database() { return database_; }

private:
    CallbackHost host_;
    Database database_;
    SignatureDetector detector_;
    ObjectWalk walk_;
    int32_t rejectedLines_ = 0;
    ClamStatistics clam_;
};

}  // namespace refengine
