// Where a member's unpacked bytes go, whatever archive they come from: the
// size and checksum checks, the check's budget, the signature scan, and the
// spool that keeps a member which is itself an archive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive_format.h"
#include "check_budget.h"
#include "database.h"
#include "host_io.h"
#include "signature_watch.h"
#include "stream_scanner.h"
#include "unpack.h"

namespace refengine {

// Nested archives up to this size are kept in memory, larger ones in a
// temporary file of the host.
constexpr uint32_t kSpoolMemoryLimit = 256 * 1024;

struct MemberOutcome {
    uint32_t flags = 0;
    std::string virusName;
    std::unique_ptr<Spool> nestedArchive;  // set with the archive bit
    ArchiveFormat nestedFormat = ArchiveFormat::None;
    bool nestedAlsoZip = false;  // a ZIP ends the nested gzip or tar too
};

// What the archive declares about a member's unpacked bytes.
struct MemberExpectation {
    uint64_t size = 0;
    uint32_t crc = 0;
    bool crcKnown = true;  // formats that check their own sums leave it to the reader
};

class MemberSink : public ByteConsumer {
public:
    MemberSink(const MemberExpectation& expected, const Database& db, CheckBudget& budget);
    MemberSink(const MemberSink&) = delete;
    MemberSink& operator=(const MemberSink&) = delete;

    // False to stop: a limit was hit, the spool failed or a find settled it.
    bool Take(const unsigned char* bytes, uint32_t count) override;
    // The member's answer once its bytes are in; streamFailure: what the
    // unpacking itself reported.
    MemberOutcome Settle(uint32_t streamFailure);

private:
    bool Fail(uint32_t flags) {
        failure_ = flags;
        return false;
    }
    bool Decide();
    bool Pass(const unsigned char* bytes, uint32_t count);
    bool StartSpool(const unsigned char* bytes, uint32_t count);
    ArchiveFormat NestedFormat();
    bool AlsoZip();

    MemberExpectation expected_;
    StreamScanner scanner_;
    CheckBudget& budget_;
    uint64_t produced_ = 0;
    uint32_t crc_ = 0;
    uint32_t failure_ = 0;
    unsigned char head_[kFormatHeadBytes] = {};
    uint32_t headLength_ = 0;
    ArchiveFormat headFormat_ = ArchiveFormat::None;
    bool decided_ = false;
    SignatureWatch localHeader_;  // a ZIP after leading bytes
    SignatureWatch endRecord_;    // a ZIP behind another archive
    bool endSeen_ = false;
    std::unique_ptr<Spool> spool_;
};

}  // namespace refengine
