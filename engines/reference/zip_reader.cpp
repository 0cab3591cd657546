#include "zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/contract.h"
#include "stream_scanner.h"

namespace refengine {
namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kSpanSignature = 0x08074b50;
constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kZip64EndRecordSize = 56;
constexpr uint32_t kZip64LocatorSize = 20;
constexpr uint32_t kCentralHeaderSize = 46;
constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint32_t kMaxCommentLength = 65535;
constexpr uint32_t kChunk = 65536;
constexpr uint16_t kFlagEncrypted = 0x1;
constexpr uint16_t kZip64ExtraId = 0x0001;

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t Get64(const unsigned char* p) { return Get32(p) | uint64_t(Get32(p + 4)) << 32; }

// 1: all count bytes read; 0: the source ends first; -1: a read failure.
int32_t ReadFully(ByteSource& source, uint64_t offset, unsigned char* buffer, uint32_t count) {
    int32_t got = source.ReadAt(offset, buffer, count);
    if (got == -1) return -1;
    return got == static_cast<int32_t>(count) ? 1 : 0;
}

bool HasSignature(ByteSource& source, uint64_t offset, uint32_t signature) {
    unsigned char bytes[4];
    return ReadFully(source, offset, bytes, 4) == 1 && Get32(bytes) == signature;
}

voidpf ZlibAlloc(voidpf, uInt items, uInt size) {
    if (size && items > 0xFFFFFFFFu / size) return Z_NULL;
    return HostAlloc(items * size);
}
void ZlibFree(voidpf, voidpf block) { HostFree(block); }

// Reads the end record (and the ZIP64 one it points to) and finds the
// central directory: where the archive says, or, when a stub in front
// shifted everything, right before the end records.
ZipDirectory LocateDirectory(ByteSource& source) {
    ZipDirectory found;
    uint64_t size = source.Size();
    bool spanned = HasSignature(source, 0, kSpanSignature);
    uint32_t tailLength = static_cast<uint32_t>(std::min<uint64_t>(size, kEndRecordSize + kMaxCommentLength));
    HostBuffer tail(tailLength ? tailLength : 1);
    if (!tail) {
        found.error = orlix::ResultReadError;
        return found;
    }
    int32_t read = ReadFully(source, size - tailLength, tail.data(), tailLength);
    if (read == -1) {
        found.error = orlix::ResultReadError;
        return found;
    }
    const unsigned char* end = nullptr;
    for (uint32_t at = tailLength >= kEndRecordSize ? tailLength - kEndRecordSize + 1 : 0; read == 1 && at-- > 0;) {
        const unsigned char* p = tail.data() + at;
        if (Get32(p) == kEndSignature && at + kEndRecordSize + Get16(p + 20) <= tailLength) {
            end = p;
            break;
        }
    }
    if (!end) {
        // The first volume of a split set has no end record of its own.
        found.error = spanned ? orlix::ResultSplitArchive : orlix::ResultBadArchiveHeader;
        return found;
    }
    uint64_t endOffset = size - tailLength + static_cast<uint64_t>(end - tail.data());
    uint32_t disk = Get16(end + 4), directoryDisk = Get16(end + 6);
    uint64_t entriesHere = Get16(end + 8), entries = Get16(end + 10);
    uint64_t directorySize = Get32(end + 12), directoryOffset = Get32(end + 16);
    found.limit = endOffset;

    unsigned char locator[kZip64LocatorSize];
    if (endOffset >= kZip64LocatorSize &&
        ReadFully(source, endOffset - kZip64LocatorSize, locator, kZip64LocatorSize) == 1 &&
        Get32(locator) == kZip64LocatorSignature) {
        // The record sits where the locator says, or right before the
        // locator when a stub in front shifted it.
        uint64_t record = Get64(locator + 8);
        uint64_t beforeLocator =
            endOffset - kZip64LocatorSize - std::min<uint64_t>(endOffset - kZip64LocatorSize, kZip64EndRecordSize);
        if (record > endOffset || !HasSignature(source, record, kZip64EndSignature)) record = beforeLocator;
        unsigned char z[kZip64EndRecordSize];
        if (ReadFully(source, record, z, kZip64EndRecordSize) != 1 || Get32(z) != kZip64EndSignature) {
            found.error = orlix::ResultBadArchiveHeader;
            return found;
        }
        disk = Get32(z + 16);
        directoryDisk = Get32(z + 20);
        entriesHere = Get64(z + 24);
        entries = Get64(z + 32);
        directorySize = Get64(z + 40);
        directoryOffset = Get64(z + 48);
        found.limit = record;
        found.zip64 = true;
    }
    if (directoryDisk != disk || entriesHere != entries) {
        found.error = orlix::ResultSplitArchive;
        return found;
    }
    if (directorySize > found.limit || directoryOffset > found.limit) {
        found.error = orlix::ResultBadArchiveHeader;
        return found;
    }
    uint64_t shifted = found.limit - directorySize;
    if (directorySize == 0 || HasSignature(source, directoryOffset, kCentralSignature)) {
        found.start = directoryOffset;
    } else if (shifted > directoryOffset && HasSignature(source, shifted, kCentralSignature)) {
        found.start = shifted;
        found.bias = shifted - directoryOffset;
    } else {
        found.error = orlix::ResultBadArchiveHeader;
        return found;
    }
    found.end = found.start + directorySize;
    found.entries = entries;
    found.disk = disk;
    return found;
}

// Reads a member's packed bytes chunk by chunk.
class PackedInput {
public:
    PackedInput(ByteSource& source, uint64_t offset, uint64_t length, HostBuffer& buffer)
        : source_(source), offset_(offset), left_(length), buffer_(buffer) {}
    bool done() const { return left_ == 0; }
    // Bytes of the next chunk in the buffer (0 when all are read), or -1.
    int32_t Next() {
        uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(left_, buffer_.size()));
        if (take == 0) return 0;
        if (ReadFully(source_, offset_, buffer_.data(), take) != 1) return -1;
        offset_ += take;
        left_ -= take;
        return static_cast<int32_t>(take);
    }

private:
    ByteSource& source_;
    uint64_t offset_;
    uint64_t left_;
    HostBuffer& buffer_;
};

// Receives a member's unpacked bytes: CRC, size limits, the signature scan,
// and the spool when the member is itself an archive.
class MemberSink {
public:
    MemberSink(const ZipEntry& entry, const Database& db, CheckBudget& budget)
        : entry_(entry), scanner_(db, entry.size, true), budget_(budget) {}

    // False to stop: a limit was hit, the spool failed or a find settled it.
    bool Take(const unsigned char* bytes, uint32_t count) {
        produced_ += count;
        if (produced_ > entry_.size || produced_ > budget_.limits().memberBytes || !budget_.Spend(count))
            return Fail(orlix::ResultUnpackError);
        crc_ = crc32(crc_, bytes, count);
        uint32_t used = 0;
        while (headLength_ < 4 && used < count) head_[headLength_++] = bytes[used++];
        if (headLength_ == 4 && !decided_) {
            decided_ = true;
            // Executables are kept too: a self-extractor is a ZIP behind a stub.
            if (LooksLikeZip(head_, 4) || (head_[0] == 'M' && head_[1] == 'Z')) {
                spool_.reset(new Spool(static_cast<uint32_t>(std::min<uint64_t>(entry_.size, kSpoolMemoryLimit))));
                if (!spool_->Append(head_, 4)) return Fail(orlix::ResultWriteError);
            }
        }
        if (spool_ && used < count && !spool_->Append(bytes + used, count - used)) return Fail(orlix::ResultWriteError);
        // A nested archive's own bytes are matched too, as a file's are.
        return scanner_.Feed(bytes, count);
    }

    MemberOutcome Settle(uint32_t streamFailure) {
        MemberOutcome outcome;
        if (!failure_ && !scanner_.found()) {
            failure_ = streamFailure;
            if (!failure_ && produced_ != entry_.size) failure_ = orlix::ResultUnpackError;
            if (!failure_ && crc_ != entry_.crc) failure_ = orlix::ResultCrcError;
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

private:
    bool Fail(uint32_t flags) {
        failure_ = flags;
        return false;
    }

    const ZipEntry& entry_;
    StreamScanner scanner_;
    CheckBudget& budget_;
    uint64_t produced_ = 0;
    uint32_t crc_ = 0;
    uint32_t failure_ = 0;
    unsigned char head_[4] = {};
    uint32_t headLength_ = 0;
    bool decided_ = false;
    std::unique_ptr<Spool> spool_;
};

}  // namespace

bool LooksLikeZip(const unsigned char* head, size_t count) {
    if (count < 4) return false;
    uint32_t signature = Get32(head);
    return signature == kLocalSignature || signature == kEndSignature || signature == kSpanSignature;
}

bool EndsInZip(ByteSource& source) {
    ZipDirectory directory = LocateDirectory(source);
    return directory.error == 0 && directory.end > directory.start;
}

void CheckBudget::Restart() {
    unpacked_ = 0;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits_.checkMilliseconds);
}

bool CheckBudget::Spend(uint64_t bytes) {
    unpacked_ += bytes;
    return unpacked_ <= limits_.checkBytes && std::chrono::steady_clock::now() < deadline_;
}

ZipReader::ZipReader(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {
    directory_ = LocateDirectory(*source_);
    error_ = directory_.error;
    cursor_ = directory_.start;
}

uint32_t ZipReader::ReadZip64Fields(ZipEntry& entry, const unsigned char* extra, uint32_t length) const {
    for (uint32_t at = 0; at + 4 <= length;) {
        uint32_t id = Get16(extra + at), size = Get16(extra + at + 2);
        if (at + 4 + size > length) break;
        if (id == kZip64ExtraId) {
            // Only the fields whose 32-bit slots are full are present, in this order.
            const unsigned char* p = extra + at + 4;
            const unsigned char* stop = p + size;
            for (uint64_t* field : {&entry.size, &entry.packedSize, &entry.localOffset}) {
                if (*field != 0xFFFFFFFFu) continue;
                if (p + 8 > stop) return orlix::ResultBadArchiveHeader;
                *field = Get64(p);
                p += 8;
            }
            if (entry.disk == 0xFFFF && p + 4 <= stop) entry.disk = Get32(p);
            return 0;
        }
        at += 4 + size;
    }
    return 0;
}

uint32_t ZipReader::Next(ZipEntry& entry) {
    if (error_) return error_;
    if (finished_) return orlix::ResultNoMoreMembers;
    // Entries are walked as found: counts that disagree with them are damage
    // to report once they are all checked, not a reason to skip any.
    unsigned char h[kCentralHeaderSize];
    int32_t read =
        cursor_ + kCentralHeaderSize <= directory_.limit ? ReadFully(*source_, cursor_, h, kCentralHeaderSize) : 0;
    if (read == -1) return error_ = orlix::ResultReadError;
    if (read == 0 || Get32(h) != kCentralSignature) {
        finished_ = true;
        bool counted = directory_.zip64 ? seen_ == directory_.entries : (seen_ & 0xFFFF) == directory_.entries;
        if (!counted || cursor_ != directory_.end) return error_ = orlix::ResultBadArchiveHeader;
        return orlix::ResultNoMoreMembers;
    }
    uint32_t nameLength = Get16(h + 28), extraLength = Get16(h + 30), commentLength = Get16(h + 32);
    uint64_t next = cursor_ + kCentralHeaderSize + nameLength + extraLength + commentLength;
    if (next > directory_.limit) return error_ = orlix::ResultBadArchiveHeader;
    std::vector<unsigned char> variable(nameLength + extraLength + 1);
    read = ReadFully(*source_, cursor_ + kCentralHeaderSize, variable.data(), nameLength + extraLength);
    if (read != 1) return error_ = read == -1 ? orlix::ResultReadError : orlix::ResultBadArchiveHeader;
    entry = ZipEntry();
    entry.name.assign(reinterpret_cast<const char*>(variable.data()), nameLength);
    entry.flags = Get16(h + 8);
    entry.method = Get16(h + 10);
    entry.crc = Get32(h + 16);
    entry.packedSize = Get32(h + 20);
    entry.size = Get32(h + 24);
    entry.disk = Get16(h + 34);
    entry.localOffset = Get32(h + 42);
    if (uint32_t damage = ReadZip64Fields(entry, variable.data() + nameLength, extraLength)) return error_ = damage;
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
    unsigned char local[kLocalHeaderSize];
    int32_t read = start < entry.localOffset ? 0 : ReadFully(*source_, start, local, kLocalHeaderSize);
    if (read != 1 || Get32(local) != kLocalSignature) {
        outcome.flags = read == -1 ? orlix::ResultReadError : orlix::ResultBadArchiveHeader;
        return outcome;
    }
    uint64_t data = start + kLocalHeaderSize + Get16(local + 26) + Get16(local + 28);
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
    return Unpack(data, entry, db, budget);
}

MemberOutcome ZipReader::Unpack(uint64_t data, const ZipEntry& entry, const Database& db, CheckBudget& budget) {
    MemberOutcome outcome;
    HostBuffer input(kChunk), output(kChunk);
    if (!input || !output) {
        outcome.flags = orlix::ResultUnpackError;
        return outcome;
    }
    MemberSink sink(entry, db, budget);
    PackedInput packed(*source_, data, entry.packedSize, input);
    if (entry.method == 0) {
        int32_t got;
        while ((got = packed.Next()) > 0 && sink.Take(input.data(), static_cast<uint32_t>(got))) {
        }
        return sink.Settle(got == -1 ? orlix::ResultReadError : 0);
    }

    z_stream z;
    std::memset(&z, 0, sizeof z);
    z.zalloc = ZlibAlloc;
    z.zfree = ZlibFree;
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
        outcome.flags = orlix::ResultUnpackError;
        return outcome;
    }
    uint32_t streamFailure = 0;
    for (;;) {
        if (z.avail_in == 0 && !packed.done()) {
            int32_t got = packed.Next();
            if (got == -1) {
                streamFailure = orlix::ResultReadError;
                break;
            }
            z.next_in = input.data();
            z.avail_in = static_cast<uint32_t>(got);
        }
        // Called again after the input is used up: it may still hold output.
        z.next_out = output.data();
        z.avail_out = kChunk;
        int status = inflate(&z, Z_NO_FLUSH);
        uint32_t produced = kChunk - z.avail_out;
        if (produced && !sink.Take(output.data(), produced)) break;
        if (status == Z_STREAM_END) break;
        // No progress is possible: the data ends before the stream does.
        if ((status != Z_OK && status != Z_BUF_ERROR) || (status == Z_BUF_ERROR && packed.done())) {
            streamFailure = orlix::ResultUnpackError;
            break;
        }
    }
    inflateEnd(&z);
    return sink.Settle(streamFailure);
}

}  // namespace refengine
