#include "gzip_records.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "host/source_reads.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

constexpr uint8_t kFlagHeaderCrc = 0x02, kFlagExtra = 0x04, kFlagName = 0x08, kFlagComment = 0x10;
constexpr uint32_t kFixedHeaderSize = 10;
constexpr uint32_t kFirstRead = 256;

// Reads a header's bytes in order through a buffer, summing them for
// FHCRC: a name or comment of megabytes costs a few reads, not one a byte.
class HeaderBytes {
public:
    HeaderBytes(ByteSource& source, uint64_t offset, HostBuffer& buffer)
        : source_(source), at_(offset), buffer_(buffer) {}
    uint64_t at() const { return at_; }
    uint32_t crc() const { return crc_; }
    // 0, 0x80 at the object's end, 0x20 on a read failure.
    uint32_t Read(unsigned char* bytes, uint32_t count) {
        for (uint32_t done = 0; done < count;) {
            if (uint32_t failure = Fill()) return failure;
            uint32_t take = std::min(count - done, filled_ - used_);
            std::memcpy(bytes + done, buffer_.data() + used_, take);
            Use(take);
            done += take;
        }
        return 0;
    }
    // Passes over count bytes.
    uint32_t Skip(uint32_t count) {
        for (uint32_t done = 0; done < count;) {
            if (uint32_t failure = Fill()) return failure;
            uint32_t take = std::min(count - done, filled_ - used_);
            Use(take);
            done += take;
        }
        return 0;
    }
    // A zero-terminated field; its text kept up to room bytes.
    uint32_t ReadText(std::string* keep, size_t room) {
        for (;;) {
            if (uint32_t failure = Fill()) return failure;
            const unsigned char* start = buffer_.data() + used_;
            const void* zero = std::memchr(start, 0, filled_ - used_);
            uint32_t length =
                zero ? static_cast<uint32_t>(static_cast<const unsigned char*>(zero) - start) : filled_ - used_;
            if (keep && keep->size() < room)
                keep->append(reinterpret_cast<const char*>(start), std::min<size_t>(length, room - keep->size()));
            Use(zero ? length + 1 : length);
            if (zero) return 0;
        }
    }

private:
    // At least one unused byte in the buffer, or why not. Reads start
    // small and grow: most headers are a few bytes, and a stream may hold
    // many members.
    uint32_t Fill() {
        if (used_ < filled_) return 0;
        if (!buffer_) return orlix::ResultUnpackError;
        int32_t got = source_.ReadAt(at_, buffer_.data(), chunk_);
        chunk_ = std::min(chunk_ * 2, buffer_.size());
        if (got <= 0) return got == -1 ? orlix::ResultReadError : orlix::ResultUnpackError;
        filled_ = static_cast<uint32_t>(got);
        used_ = 0;
        return 0;
    }
    void Use(uint32_t count) {
        crc_ = static_cast<uint32_t>(crc32(crc_, buffer_.data() + used_, count));
        used_ += count;
        at_ += count;
    }

    ByteSource& source_;
    uint64_t at_;
    HostBuffer& buffer_;
    uint32_t chunk_ = std::min<uint32_t>(kFirstRead, buffer_.size());
    uint32_t filled_ = 0;
    uint32_t used_ = 0;
    uint32_t crc_ = 0;
};

}  // namespace

// Reserved flag bits are ignored, as Python's gzip ignores them: gzip
// refuses such a member, but an extractor that reads it must not read
// past the engine.
bool LooksLikeGzip(const unsigned char* head, size_t count) {
    return count >= 3 && head[0] == 0x1f && head[1] == 0x8b && head[2] == Z_DEFLATED;
}

uint32_t ReadGzipHeader(HostBuffer& buffer, ByteSource& source, uint64_t offset, GzipHeader& header, size_t nameRoom) {
    header = GzipHeader();
    HeaderBytes in(source, offset, buffer);
    unsigned char fixed[kFixedHeaderSize];
    if (uint32_t failure = in.Read(fixed, kFixedHeaderSize)) return failure;
    if (!LooksLikeGzip(fixed, kFixedHeaderSize)) return orlix::ResultBadArchiveHeader;
    header.flags = fixed[3];
    if (header.flags & kFlagExtra) {
        unsigned char length[2];
        if (uint32_t failure = in.Read(length, 2)) return failure;
        if (uint32_t failure = in.Skip(Get16(length))) return failure;
    }
    if (header.flags & kFlagName) {
        if (uint32_t failure = in.ReadText(&header.name, nameRoom)) return failure;
    }
    if (header.flags & kFlagComment) {
        if (uint32_t failure = in.ReadText(nullptr, 0)) return failure;
    }
    if (header.flags & kFlagHeaderCrc) {
        uint32_t expected = in.crc() & 0xFFFF;
        unsigned char stored[2];
        if (uint32_t failure = in.Read(stored, 2)) return failure;
        header.headerCrcBad = Get16(stored) != expected;
    }
    header.length = in.at() - offset;
    return 0;
}

void ParseGzipTrailer(const unsigned char (&bytes)[kGzipTrailerSize], GzipTrailer& trailer) {
    trailer.crc = Get32(bytes);
    trailer.size = Get32(bytes + 4);
}

}  // namespace refengine
