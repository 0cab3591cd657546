#include "member_check.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "formats/zip/zip_records.h"
#include "orlix/contract.h"

namespace refengine {

MemberSink::MemberSink(Host& host, const MemberExpectation& expected, std::unique_ptr<Inspection> inspection,
                       CheckBudget& budget, MemberOutcome& outcome)
    : host_(host),
      expected_(expected),
      inspection_(std::move(inspection)),
      budget_(budget),
      outcome_(outcome),
      localHeader_(kLocalMarker) {}

bool MemberSink::Take(const unsigned char* bytes, uint32_t count) {
    produced_ += count;
    if (produced_ > expected_.size || produced_ > budget_.limits().memberBytes || !budget_.Spend(count))
        return Fail(orlix::ResultUnpackError);
    if (expected_.crcKnown) crc_ = crc32(crc_, bytes, count);
    uint32_t before = probe_.headLength();
    probe_.Feed(bytes, count);
    if (!decided_) {
        if (probe_.headComplete() && !Decide()) return Fail(orlix::ResultWriteError);
        // The head itself went to the spool or the pass when it was decided.
        uint32_t used = probe_.headLength() - before;
        if (decided_ && used < count && !Pass(bytes + used, count - used)) return Fail(orlix::ResultWriteError);
    } else if (!Pass(bytes, count)) {
        return Fail(orlix::ResultWriteError);
    }
    // A nested archive's own bytes are inspected too, as a file's are.
    return inspection_->Feed(bytes, count);
}

// Archives told by their head are kept whole, and so are executables: a
// self-extractor is a ZIP behind a stub. Other members are kept from the
// first ZIP signature on, should one follow leading bytes.
bool MemberSink::Decide() {
    decided_ = true;
    if (probe_.keepWhole()) return StartSpool(probe_.head(), probe_.headLength());
    return Pass(probe_.head(), probe_.headLength());
}

bool MemberSink::StartSpool(const unsigned char* bytes, uint32_t count) {
    spool_.reset(new Spool(host_, static_cast<uint32_t>(std::min<uint64_t>(expected_.size, kSpoolMemoryLimit))));
    return spool_->Append(bytes, count);
}

bool MemberSink::Pass(const unsigned char* bytes, uint32_t count) {
    if (spool_) return spool_->Append(bytes, count);
    uint32_t end = localHeader_.Feed(bytes, count);
    if (end == 0) return true;
    return StartSpool(kLocalMarker, 4) && spool_->Append(bytes + end, count - end);
}

uint32_t MemberSink::Settle(uint32_t streamFailure) {
    if (!failure_ && !inspection_->found()) {
        failure_ = streamFailure;
        if (!failure_ && produced_ != expected_.size) failure_ = orlix::ResultUnpackError;
        if (!failure_ && expected_.crcKnown && crc_ != expected_.crc) failure_ = orlix::ResultCrcError;
        // A member shorter than a head is decided once it is all in.
        if (!failure_ && !decided_ && !Decide()) failure_ = orlix::ResultWriteError;
        if (!failure_) failure_ = inspection_->Finish();
    }
    if (failure_) {
        outcome_.flags = failure_;
    } else if (const Finding* finding = inspection_->found()) {
        outcome_.flags = finding->flags;
        outcome_.virusName = finding->name;
    } else if (spool_) {
        // An executable or leading bytes: a ZIP only when its directory is
        // found at the end.
        ProbedFormats nested = probe_.Settle(host_, *spool_);
        if (nested.format) {
            outcome_.flags = orlix::ResultArchive;
            outcome_.nested = nested;
            outcome_.nestedArchive = std::move(spool_);
        }
    }
    return outcome_.flags;
}

std::unique_ptr<MemberCheck> WalkMemberChecks::Begin(const MemberExpectation& expected) {
    outcome_ = MemberOutcome();
    InspectedObject object;
    object.name = path_;
    object.size = expected.size;
    object.sizeKnown = true;
    object.member = true;
    return std::unique_ptr<MemberCheck>(new MemberSink(host_, expected, detector_.Inspect(object), budget_, outcome_));
}

}  // namespace refengine
