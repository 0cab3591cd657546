#include "member_sink.h"

#include <zlib.h>

#include <algorithm>

#include "engine/contract.h"
#include "zip_directory.h"

namespace refengine {

MemberSink::MemberSink(const MemberExpectation& expected, const Database& db, CheckBudget& budget)
    : expected_(expected), scanner_(db, expected.size, true), budget_(budget) {}

bool MemberSink::Take(const unsigned char* bytes, uint32_t count) {
    produced_ += count;
    if (produced_ > expected_.size || produced_ > budget_.limits().memberBytes || !budget_.Spend(count))
        return Fail(orlix::ResultUnpackError);
    crc_ = crc32(crc_, bytes, count);
    uint32_t used = 0;
    while (headLength_ < 4 && used < count) head_[headLength_++] = bytes[used++];
    if (headLength_ == 4 && !decided_) {
        decided_ = true;
        // Executables are kept too: a self-extractor is a ZIP behind a stub.
        if (LooksLikeZip(head_, 4) || (head_[0] == 'M' && head_[1] == 'Z')) {
            spool_.reset(new Spool(static_cast<uint32_t>(std::min<uint64_t>(expected_.size, kSpoolMemoryLimit))));
            if (!spool_->Append(head_, 4)) return Fail(orlix::ResultWriteError);
        }
    }
    if (spool_ && used < count && !spool_->Append(bytes + used, count - used)) return Fail(orlix::ResultWriteError);
    // A nested archive's own bytes are matched too, as a file's are.
    return scanner_.Feed(bytes, count);
}

MemberOutcome MemberSink::Settle(uint32_t streamFailure) {
    MemberOutcome outcome;
    if (!failure_ && !scanner_.found()) {
        failure_ = streamFailure;
        if (!failure_ && produced_ != expected_.size) failure_ = orlix::ResultUnpackError;
        if (!failure_ && crc_ != expected_.crc) failure_ = orlix::ResultCrcError;
        if (!failure_) scanner_.Finish();
    }
    if (failure_) {
        outcome.flags = failure_;
    } else if (scanner_.found()) {
        outcome.flags = scanner_.verdict().flags;
        outcome.virusName = scanner_.verdict().name;
    } else if (spool_ && (LooksLikeZip(head_, 4) || EndsInZip(*spool_))) {
        outcome.flags = orlix::ResultArchive;
        outcome.nestedArchive = std::move(spool_);
    }
    return outcome;
}

}  // namespace refengine
