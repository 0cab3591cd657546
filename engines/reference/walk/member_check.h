// Where a member's unpacked bytes go, whatever archive they come from: the
// size and checksum checks, the check's budget, the detector, and the spool
// that keeps a member which is itself an archive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "detect/detector.h"
#include "format_probe.h"
#include "formats/archive_reader.h"
#include "host/host_io.h"

namespace refengine {

// Nested archives up to this size are kept in memory, larger ones in a
// temporary file of the host.
constexpr uint32_t kSpoolMemoryLimit = 256 * 1024;

// What the walk keeps of a member's check.
struct MemberOutcome {
    uint32_t flags = 0;
    std::string virusName;
    std::unique_ptr<Spool> nestedArchive;  // set with the archive bit
    ProbedFormats nested;
};

class MemberSink : public MemberCheck {
public:
    MemberSink(Host& host, const MemberExpectation& expected, std::unique_ptr<Inspection> inspection,
               CheckBudget& budget, MemberOutcome& outcome);
    MemberSink(const MemberSink&) = delete;
    MemberSink& operator=(const MemberSink&) = delete;

    bool Take(const unsigned char* bytes, uint32_t count) override;
    uint32_t Settle(uint32_t streamFailure) override;

private:
    bool Fail(uint32_t flags) {
        failure_ = flags;
        return false;
    }
    bool Decide();
    bool Pass(const unsigned char* bytes, uint32_t count);
    bool StartSpool(const unsigned char* bytes, uint32_t count);

    Host& host_;
    MemberExpectation expected_;
    std::unique_ptr<Inspection> inspection_;
    CheckBudget& budget_;
    MemberOutcome& outcome_;
    uint64_t produced_ = 0;
    uint32_t crc_ = 0;
    uint32_t failure_ = 0;
    FormatProbe probe_;
    bool decided_ = false;
    MarkerFinder localHeader_;  // a ZIP after leading bytes
    std::unique_ptr<Spool> spool_;
};

// The walk's side of a reader's Extract: each member is inspected under its
// path in the walk and its outcome kept for the walk.
class WalkMemberChecks : public MemberChecks {
public:
    WalkMemberChecks(Host& host, Detector& detector, CheckBudget& budget, const std::string& path,
                     MemberOutcome& outcome)
        : host_(host), detector_(detector), budget_(budget), path_(path), outcome_(outcome) {}
    Host& host() override { return host_; }
    CheckBudget& budget() override { return budget_; }
    std::unique_ptr<MemberCheck> Begin(const MemberExpectation& expected) override;

private:
    Host& host_;
    Detector& detector_;
    CheckBudget& budget_;
    const std::string& path_;
    MemberOutcome& outcome_;
};

}  // namespace refengine
