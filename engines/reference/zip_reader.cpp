#include "zip_reader.h"

#include <zlib.h>

#include <vector>

#include "engine/contract.h"
#include "source_reads.h"
#include "unpack.h"
#include "zip_records.h"

namespace refengine {

ZipReader::ZipReader(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {
    directory_ = LocateDirectory(*source_);
    error_ = directory_.error;
    cursor_ = directory_.start;
}

uint32_t ZipReader::Next(ZipEntry& entry) {
    if (error_) return error_;
    if (finished_) return orlix::ResultNoMoreMembers;
    // Entries are walked as found: counts that disagree with them are damage
    // to report once they are all checked, not a reason to skip any.
    unsigned char bytes[kCentralHeaderSize];
    CentralHeader h;
    int32_t read =
        cursor_ + kCentralHeaderSize <= directory_.limit ? ReadFully(*source_, cursor_, bytes, kCentralHeaderSize) : 0;
    if (read == -1) return error_ = orlix::ResultReadError;
    if (read == 0 || !ParseCentralHeader(bytes, h)) {
        finished_ = true;
        bool counted = directory_.zip64 ? seen_ == directory_.entries : (seen_ & 0xFFFF) == directory_.entries;
        if (!counted || cursor_ != directory_.end) return error_ = orlix::ResultBadArchiveHeader;
        return orlix::ResultNoMoreMembers;
    }
    uint64_t next = cursor_ + kCentralHeaderSize + h.nameLength + h.extraLength + h.commentLength;
    if (next > directory_.limit) return error_ = orlix::ResultBadArchiveHeader;
    std::vector<unsigned char> variable(h.nameLength + h.extraLength + 1);
    read = ReadFully(*source_, cursor_ + kCentralHeaderSize, variable.data(), h.nameLength + h.extraLength);
    if (read != 1) return error_ = read == -1 ? orlix::ResultReadError : orlix::ResultBadArchiveHeader;
    if (uint32_t damage = ApplyZip64Extra(variable.data() + h.nameLength, h.extraLength, h)) return error_ = damage;
    entry = ZipEntry();
    entry.name.assign(reinterpret_cast<const char*>(variable.data()), h.nameLength);
    entry.flags = h.flags;
    entry.method = h.method;
    entry.crc = h.crc;
    entry.packedSize = h.packedSize;
    entry.size = h.size;
    entry.disk = h.disk;
    entry.localOffset = h.localOffset;
    cursor_ = next;
    ++seen_;
    return 0;
}

MemberOutcome ZipReader::Extract(const ZipEntry& entry, const Database& db, CheckBudget& budget) {
    MemberOutcome outcome;
    // Members of earlier volumes are elsewhere; a single volume has none,
    // whatever disk its entries name.
    if (entry.disk < directory_.disk) {
        outcome.flags = orlix::ResultSplitArchive;
        return outcome;
    }
    uint64_t start = entry.localOffset + directory_.bias;
    unsigned char bytes[kLocalHeaderSize];
    LocalHeader local;
    int32_t read = start < entry.localOffset ? 0 : ReadFully(*source_, start, bytes, kLocalHeaderSize);
    if (read != 1 || !ParseLocalHeader(bytes, local)) {
        outcome.flags = read == -1 ? orlix::ResultReadError : orlix::ResultBadArchiveHeader;
        return outcome;
    }
    uint64_t data = start + kLocalHeaderSize + local.nameLength + local.extraLength;
    uint64_t end = data + entry.packedSize;
    if (end < data || end > source_->Size()) {
        outcome.flags = orlix::ResultUnpackError;
        return outcome;
    }
    // Members that share bytes are how small archives unpack to gigabytes;
    // no tool writes them.
    auto after = ranges_.lower_bound(end);
    if (after != ranges_.begin() && std::prev(after)->second > start) {
        outcome.flags = orlix::ResultBadArchiveHeader;
        return outcome;
    }
    ranges_.emplace(start, end);
    if (entry.flags & kFlagEncrypted) {
        outcome.flags = orlix::ResultPasswordProtected;
        return outcome;
    }
    if ((entry.method != 0 && entry.method != Z_DEFLATED) || entry.size > budget.limits().memberBytes) {
        outcome.flags = orlix::ResultUnpackError;
        return outcome;
    }
    MemberSink sink({entry.size, entry.crc}, db, budget);
    uint32_t streamFailure = entry.method == 0 ? CopyStored(*source_, data, entry.packedSize, sink)
                                               : InflateRaw(*source_, data, entry.packedSize, sink);
    return sink.Settle(streamFailure);
}

}  // namespace refengine
