#include "zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "engine/contract.h"
#include "stream_scanner.h"

namespace refengine {
namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kSpanSignature = 0x08074b50;
constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kCentralHeaderSize = 46;
constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint32_t kMaxCommentLength = 65535;
constexpr uint32_t kChunk = 65536;
constexpr uint16_t kFlagEncrypted = 0x1;

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

voidpf ZlibAlloc(voidpf, uInt items, uInt size) {
    if (size && items > 0xFFFFFFFFu / size) return Z_NULL;
    return HostAlloc(items * size);
}
void ZlibFree(voidpf, voidpf block) { HostFree(block); }

// Receives a member's unpacked bytes: CRC, size limits, the signature scan,
// and the spool when the member is itself an archive.
class MemberSink {
public:
    MemberSink(const ZipEntry& entry, const Database& db, uint64_t& unpacked)
        : entry_(entry), scanner_(db, entry.size, true), unpacked_(unpacked) {}

    // False to stop: a limit was hit, the spool failed or a find settled it.
    bool Take(const unsigned char* bytes, uint32_t count) {
        produced_ += count;
        unpacked_ += count;
        if (produced_ > entry_.size || produced_ > kMaxMemberSize || unpacked_ > kMaxCheckUnpacked ||
            (produced_ > kRatioFloor && produced_ / std::max<uint64_t>(entry_.packedSize, 1) > kMaxRatio)) {
            failure_ = orlix::ResultUnpackError;
            return false;
        }
        crc_ = crc32(crc_, bytes, count);
        uint32_t used = 0;
        while (headLength_ < 4 && used < count) head_[headLength_++] = bytes[used++];
        if (headLength_ == 4 && !decided_) {
            decided_ = true;
            if (LooksLikeZip(head_, 4)) {
                spool_.reset(new Spool(static_cast<uint32_t>(std::min<uint64_t>(entry_.size, kSpoolMemoryLimit))));
                if (!spool_->Append(head_, 4)) return Fail(orlix::ResultWriteError);
            } else if (!scanner_.Feed(head_, 4)) {
                return false;
            }
        }
        if (used == count) return true;
        if (spool_) return spool_->Append(bytes + used, count - used) || Fail(orlix::ResultWriteError);
        return scanner_.Feed(bytes + used, count - used);
    }

    MemberOutcome Settle(uint32_t streamFailure) {
        MemberOutcome outcome;
        if (!failure_ && !scanner_.found()) {
            if (!decided_ && headLength_ > 0) scanner_.Feed(head_, headLength_);
            failure_ = streamFailure;
            if (!failure_ && produced_ != entry_.size) failure_ = orlix::ResultUnpackError;
            if (!failure_ && crc_ != entry_.crc) failure_ = orlix::ResultCrcError;
        }
        if (failure_) {
            outcome.flags = failure_;
        } else if (scanner_.found()) {
            outcome.flags = scanner_.verdict().flags;
            outcome.virusName = scanner_.verdict().name;
        } else if (spool_) {
            outcome.flags = orlix::ResultArchive;
            outcome.nestedArchive = std::move(spool_);
        } else {
            scanner_.Finish();
            if (scanner_.found()) {
                outcome.flags = scanner_.verdict().flags;
                outcome.virusName = scanner_.verdict().name;
            }
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
    uint64_t& unpacked_;
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

ZipReader::ZipReader(std::unique_ptr<ByteSource> source) : source_(std::move(source)) { Locate(); }

int32_t ZipReader::ReadFully(uint64_t offset, unsigned char* buffer, uint32_t count) {
    int32_t got = source_->ReadAt(offset, buffer, count);
    if (got == -1) return -1;
    return got == static_cast<int32_t>(count) ? 1 : 0;
}

void ZipReader::Locate() {
    uint64_t size = source_->Size();
    unsigned char head[4] = {};
    bool spanned = ReadFully(0, head, 4) == 1 && Get32(head) == kSpanSignature;
    uint32_t tailLength = static_cast<uint32_t>(std::min<uint64_t>(size, kEndRecordSize + kMaxCommentLength));
    HostBuffer tail(tailLength ? tailLength : 1);
    if (!tail) {
        error_ = orlix::ResultReadError;
        return;
    }
    int32_t read = ReadFully(size - tailLength, tail.data(), tailLength);
    if (read == -1) {
        error_ = orlix::ResultReadError;
        return;
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
        error_ = spanned ? orlix::ResultSplitArchive : orlix::ResultBadArchiveHeader;
        return;
    }
    uint64_t endOffset = size - tailLength + static_cast<uint64_t>(end - tail.data());
    disk_ = Get16(end + 4);
    uint16_t directoryDisk = Get16(end + 6);
    uint16_t entriesHere = Get16(end + 8), entries = Get16(end + 10);
    uint32_t directorySize = Get32(end + 12), directoryOffset = Get32(end + 16);
    if (directoryDisk != disk_ || entriesHere != entries) {
        error_ = orlix::ResultSplitArchive;
        return;
    }
    // ZIP64 archives (sizes past 4 GB) are outside what the host's 32-bit
    // callbacks can reach; their markers read as a damaged header.
    if (entries == 0xFFFF || directoryOffset == 0xFFFFFFFFu ||
        static_cast<uint64_t>(directoryOffset) + directorySize > endOffset) {
        error_ = orlix::ResultBadArchiveHeader;
        return;
    }
    cursor_ = directoryOffset;
    directoryEnd_ = static_cast<uint64_t>(directoryOffset) + directorySize;
    remaining_ = entries;
}

uint32_t ZipReader::Next(ZipEntry& entry) {
    if (error_) return error_;
    if (remaining_ == 0) return orlix::ResultNoMoreMembers;
    unsigned char h[kCentralHeaderSize];
    if (cursor_ + kCentralHeaderSize > directoryEnd_) return error_ = orlix::ResultBadArchiveHeader;
    int32_t read = ReadFully(cursor_, h, kCentralHeaderSize);
    if (read == -1) return error_ = orlix::ResultReadError;
    if (read == 0 || Get32(h) != kCentralSignature) return error_ = orlix::ResultBadArchiveHeader;
    uint32_t nameLength = Get16(h + 28), extraLength = Get16(h + 30), commentLength = Get16(h + 32);
    uint64_t next = cursor_ + kCentralHeaderSize + nameLength + extraLength + commentLength;
    if (next > directoryEnd_) return error_ = orlix::ResultBadArchiveHeader;
    entry = ZipEntry();
    entry.name.resize(nameLength);
    if (nameLength) {
        read = ReadFully(cursor_ + kCentralHeaderSize, reinterpret_cast<unsigned char*>(&entry.name[0]), nameLength);
        if (read != 1) return error_ = read == -1 ? orlix::ResultReadError : orlix::ResultBadArchiveHeader;
    }
    entry.flags = Get16(h + 8);
    entry.method = Get16(h + 10);
    entry.crc = Get32(h + 16);
    entry.packedSize = Get32(h + 20);
    entry.size = Get32(h + 24);
    entry.disk = Get16(h + 34);
    entry.localOffset = Get32(h + 42);
    cursor_ = next;
    --remaining_;
    return 0;
}

MemberOutcome ZipReader::Extract(const ZipEntry& entry, const Database& db, uint64_t& unpacked) {
    MemberOutcome outcome;
    if (entry.flags & kFlagEncrypted) {
        outcome.flags = orlix::ResultPasswordProtected;
        return outcome;
    }
    if (entry.disk != disk_) {
        outcome.flags = orlix::ResultSplitArchive;
        return outcome;
    }
    unsigned char local[kLocalHeaderSize];
    int32_t read = ReadFully(entry.localOffset, local, kLocalHeaderSize);
    if (read != 1 || Get32(local) != kLocalSignature) {
        outcome.flags = read == -1 ? orlix::ResultReadError : orlix::ResultBadArchiveHeader;
        return outcome;
    }
    if (entry.method != 0 && entry.method != Z_DEFLATED) {
        outcome.flags = orlix::ResultUnpackError;
        return outcome;
    }
    uint64_t data = static_cast<uint64_t>(entry.localOffset) + kLocalHeaderSize + Get16(local + 26) + Get16(local + 28);
    if (data + entry.packedSize > source_->Size()) {
        outcome.flags = orlix::ResultUnpackError;
        return outcome;
    }

    HostBuffer input(kChunk), output(kChunk);
    if (!input || !output) {
        outcome.flags = orlix::ResultUnpackError;
        return outcome;
    }
    MemberSink sink(entry, db, unpacked);
    uint64_t left = entry.packedSize;
    uint32_t streamFailure = 0;
    if (entry.method == 0) {
        while (left > 0) {
            uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(left, kChunk));
            if (ReadFully(data, input.data(), take) != 1) {
                streamFailure = orlix::ResultReadError;
                break;
            }
            data += take;
            left -= take;
            if (!sink.Take(input.data(), take)) break;
        }
        return sink.Settle(streamFailure);
    }

    z_stream z;
    std::memset(&z, 0, sizeof z);
    z.zalloc = ZlibAlloc;
    z.zfree = ZlibFree;
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
        outcome.flags = orlix::ResultUnpackError;
        return outcome;
    }
    bool finished = false, stopped = false;
    while (!finished && !stopped && !streamFailure) {
        if (z.avail_in == 0) {
            if (left == 0) {
                streamFailure = orlix::ResultUnpackError;  // data ends before the stream does
                break;
            }
            uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(left, kChunk));
            if (ReadFully(data, input.data(), take) != 1) {
                streamFailure = orlix::ResultReadError;
                break;
            }
            data += take;
            left -= take;
            z.next_in = input.data();
            z.avail_in = take;
        }
        z.next_out = output.data();
        z.avail_out = kChunk;
        int status = inflate(&z, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
            streamFailure = orlix::ResultUnpackError;
            break;
        }
        uint32_t produced = kChunk - z.avail_out;
        if (produced && !sink.Take(output.data(), produced)) stopped = true;
        finished = status == Z_STREAM_END;
    }
    inflateEnd(&z);
    return sink.Settle(streamFailure);
}

}  // namespace refengine
