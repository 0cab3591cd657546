// What the walk asks of every format's reader, and what a reader needs of
// the walk: member names in order, and each member unpacked into a check
// within the check's budget.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "check_budget.h"
#include "codecs/codec.h"
#include "host/host_io.h"
#include "orlix/contract.h"

namespace refengine {

// Names stored apart from their headers (gzip, tar long names) are kept up
// to this length: the walk reports 512 bytes at most.
constexpr size_t kMaxMemberNameKept = 1024;

// What the archive declares about a member's unpacked bytes.
struct MemberExpectation {
    uint64_t size = 0;
    uint32_t crc = 0;
    bool crcKnown = true;  // formats that check their own sums leave it to the reader
};

// One member's unpacked bytes on their way to the check; Take answers
// false once a limit was hit or the answer is settled.
class MemberCheck : public ByteSink {
public:
    // The member's answer once its bytes are in; streamFailure: what the
    // unpacking itself reported.
    virtual uint32_t Settle(uint32_t streamFailure) = 0;
};

// What a reader unpacks members with.
class MemberChecks {
public:
    virtual ~MemberChecks() = default;
    virtual Host& host() = 0;
    virtual CheckBudget& budget() = 0;
    virtual std::unique_ptr<MemberCheck> Begin(const MemberExpectation& expected) = 0;
};

class ArchiveReader {
public:
    virtual ~ArchiveReader() = default;
    // 0: the next member's name is in name; 0x8000: no further member;
    // else error bits.
    virtual uint32_t Next(std::string& name) = 0;
    // Unpacks the member Next announced last into a check of checks; the
    // member's answer.
    virtual uint32_t Extract(MemberChecks& checks) = 0;
};

// A format the walk opens: how its head looks, how it is read, and for a
// format that may sit behind other bytes (ZIP), how it is found at the end.
struct ArchiveFormat {
    const char* archiverName;
    bool (*looksLike)(const unsigned char* head, size_t count);
    std::unique_ptr<ArchiveReader> (*open)(Host& host, std::unique_ptr<ByteSource> source, const std::string& name);
    // A marker whose presence anywhere makes endsIn worth its reads; and
    // whether the object ends in this format. Null for formats told by
    // their head alone.
    const unsigned char* endMarker;
    bool (*endsIn)(Host& host, ByteSource& source);
};

// An object that is two archives at once (a tar or gzip with a ZIP behind
// it): extractors of either format unpack their own, so both are walked,
// the first reader's members, then the second's.
class ChainedReader : public ArchiveReader {
public:
    ChainedReader(std::unique_ptr<ArchiveReader> first, std::unique_ptr<ArchiveReader> second)
        : first_(std::move(first)), second_(std::move(second)) {}
    uint32_t Next(std::string& name) override {
        if (!onSecond_) {
            uint32_t answer = first_->Next(name);
            if (answer != orlix::ResultNoMoreMembers) return answer;
            onSecond_ = true;
        }
        return second_->Next(name);
    }
    uint32_t Extract(MemberChecks& checks) override { return (onSecond_ ? second_ : first_)->Extract(checks); }

private:
    std::unique_ptr<ArchiveReader> first_;
    std::unique_ptr<ArchiveReader> second_;
    bool onSecond_ = false;
};

}  // namespace refengine
