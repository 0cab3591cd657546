#include "compressed_reader.h"

#include <algorithm>

#include "formats/unpack.h"
#include "host/source_reads.h"
#include "orlix/contract.h"

namespace refengine {

CompressedReader::CompressedReader(Host& host, std::unique_ptr<ByteSource> source, const std::string& archiveName,
                                   const CompressedKind& kind)
    : host_(host), source_(std::move(source)), archiveName_(archiveName), kind_(kind) {}

uint32_t CompressedReader::Next(std::string& name) {
    if (announced_) return orlix::ResultNoMoreMembers;
    unsigned char head[32];
    size_t want = static_cast<size_t>(std::min<uint64_t>(std::min(kind_.headSize, sizeof head), source_->Size()));
    if (ReadFully(*source_, 0, head, static_cast<uint32_t>(want)) != 1) return orlix::ResultReadError;
    if (uint32_t failure = kind_.headFailure(head, want)) return failure;
    announced_ = true;
    name = SingleMemberName(archiveName_, kind_.suffixes, kind_.suffixCount);
    return 0;
}

uint32_t CompressedReader::Extract(MemberChecks& checks) {
    CheckBudget& budget = checks.budget();
    const uint64_t memory = budget.limits().decoderMemory;
    const uint64_t size = source_->Size();
    // The length decides size-bound records and hashes: it is measured
    // first, and a bomb ends there, before anything is matched.
    MeasureSink measure(budget);
    uint32_t damage = DecodeRange(host_, *source_, 0, size, *kind_.decoder(memory), measure);
    if (measure.over()) return orlix::ResultUnpackError;
    std::unique_ptr<MemberCheck> check = checks.Begin({measure.size(), 0, false});
    uint32_t again = DecodeRange(host_, *source_, 0, size, *kind_.decoder(memory), *check);
    return check->Settle(damage ? damage : again);
}

}  // namespace refengine
