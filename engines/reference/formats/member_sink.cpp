#include "member_sink.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "orlix/contract.h"
#include "zip_directory.h"

namespace refengine {
namespace {

const unsigned char kLocalHeaderBytes[4] = {'P', 'K', 3, 4};
const unsigned char kEndRecordBytes[4] = {'P', 'K', 5, 6};

}  // namespace

MemberSink::MemberSink(const MemberExpectation& expected, const Database& db, CheckBudget& budget)
    : expected_(expected),
      scanner_(db, expected.size, true),
      budget_(budget),
      localHeader_(kLocalHeaderBytes),
      endRecord_(kEndRecordBytes) {}

bool MemberSink::Take(const unsigned char* bytes, uint32_t count) {
    produced_ += count;
    if (produced_ > expected_.size || produced_ > budget_.limits().memberBytes || !budget_.Spend(count))
        return Fail(orlix::ResultUnpackError);
    if (expected_.crcKnown) crc_ = crc32(crc_, bytes, count);
    if (!endSeen_) endSeen_ = endRecord_.Feed(bytes, count) != 0;
    uint32_t used = 0;
    if (!decided_) {
        used = std::min(count, kFormatHeadBytes - headLength_);
        std::memcpy(head_ + headLength_, bytes, used);
        headLength_ += used;
        if (headLength_ == kFormatHeadBytes && !Decide()) return Fail(orlix::ResultWriteError);
    }
    if (decided_ && used < count && !Pass(bytes + used, count - used)) return Fail(orlix::ResultWriteError);
    // A nested archive's own bytes are matched too, as a file's are.
    return scanner_.Feed(bytes, count);
}

// Archives told by their head are kept whole, and so are executables: a
// self-extractor is a ZIP behind a stub. Other members are kept from the
// first ZIP signature on, should one follow leading bytes.
bool MemberSink::Decide() {
    decided_ = true;
    headFormat_ = DetectArchiveHead(head_, headLength_);
    bool executable = headLength_ >= 2 && head_[0] == 'M' && head_[1] == 'Z';
    if (headFormat_ != ArchiveFormat::None || executable) return StartSpool(head_, headLength_);
    return Pass(head_, headLength_);
}

bool MemberSink::StartSpool(const unsigned char* bytes, uint32_t count) {
    spool_.reset(new Spool(static_cast<uint32_t>(std::min<uint64_t>(expected_.size, kSpoolMemoryLimit))));
    return spool_->Append(bytes, count);
}

bool MemberSink::Pass(const unsigned char* bytes, uint32_t count) {
    if (spool_) return spool_->Append(bytes, count);
    uint32_t end = localHeader_.Feed(bytes, count);
    if (end == 0) return true;
    return StartSpool(kLocalHeaderBytes, 4) && spool_->Append(bytes + end, count - end);
}

ArchiveFormat MemberSink::NestedFormat() {
    if (!spool_) return ArchiveFormat::None;
    if (headFormat_ != ArchiveFormat::None) return headFormat_;
    // An executable or leading bytes: a ZIP only when its directory is found
    // (searched for only when the member holds an end record's signature).
    return endSeen_ && EndsInZip(*spool_) ? ArchiveFormat::Zip : ArchiveFormat::None;
}

bool MemberSink::AlsoZip() {
    bool other = headFormat_ == ArchiveFormat::Gzip || headFormat_ == ArchiveFormat::Tar;
    return other && endSeen_ && EndsInZip(*spool_);
}

MemberOutcome MemberSink::Settle(uint32_t streamFailure) {
    MemberOutcome outcome;
    if (!failure_ && !scanner_.found()) {
        failure_ = streamFailure;
        if (!failure_ && produced_ != expected_.size) failure_ = orlix::ResultUnpackError;
        if (!failure_ && expected_.crcKnown && crc_ != expected_.crc) failure_ = orlix::ResultCrcError;
        // A member shorter than a head is decided once it is all in.
        if (!failure_ && !decided_ && !Decide()) failure_ = orlix::ResultWriteError;
        if (!failure_) scanner_.Finish();
    }
    if (failure_) {
        outcome.flags = failure_;
    } else if (scanner_.found()) {
        outcome.flags = scanner_.verdict().flags;
        outcome.virusName = scanner_.verdict().name;
    } else if (ArchiveFormat format = NestedFormat(); format != ArchiveFormat::None) {
        outcome.flags = orlix::ResultArchive;
        outcome.nestedAlsoZip = AlsoZip();
        outcome.nestedArchive = std::move(spool_);
        outcome.nestedFormat = format;
    }
    return outcome;
}

}  // namespace refengine
