#include "gzip_records.h"

#include <zlib.h>

#include "host/source_reads.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

constexpr uint8_t kFlagHeaderCrc = 0x02, kFlagExtra = 0x04, kFlagName = 0x08, kFlagComment = 0x10;
constexpr uint8_t kReservedFlags = 0xE0;
constexpr uint32_t kFixedHeaderSize = 10;

// Reads a header's bytes in order, summing them for FHCRC.
class HeaderBytes {
public:
    HeaderBytes(ByteSource& source, uint64_t offset) : source_(source), at_(offset) {}
    uint64_t at() const { return at_; }
    uint32_t crc() const { return crc_; }
    // 0, 0x80 at the object's end, 0x20 on a read failure.
    uint32_t Read(unsigned char* bytes, uint32_t count) {
        int32_t got = ReadFully(source_, at_, bytes, count);
        if (got != 1) return got == -1 ? orlix::ResultReadError : orlix::ResultUnpackError;
        crc_ = static_cast<uint32_t>(crc32(crc_, bytes, count));
        at_ += count;
        return 0;
    }
    // A zero-terminated field; its text kept up to room bytes.
    uint32_t ReadText(std::string* keep, size_t room) {
        for (;;) {
            unsigned char c;
            if (uint32_t failure = Read(&c, 1)) return failure;
            if (c == 0) return 0;
            if (keep && keep->size() < room) *keep += static_cast<char>(c);
        }
    }

private:
    ByteSource& source_;
    uint64_t at_;
    uint32_t crc_ = 0;
};

}  // namespace

bool LooksLikeGzip(const unsigned char* head, size_t count) {
    return count >= 4 && head[0] == 0x1f && head[1] == 0x8b && head[2] == Z_DEFLATED && !(head[3] & kReservedFlags);
}

uint32_t ReadGzipHeader(ByteSource& source, uint64_t offset, GzipHeader& header, size_t nameRoom) {
    header = GzipHeader();
    HeaderBytes in(source, offset);
    unsigned char fixed[kFixedHeaderSize];
    if (uint32_t failure = in.Read(fixed, kFixedHeaderSize)) return failure;
    if (!LooksLikeGzip(fixed, kFixedHeaderSize)) return orlix::ResultBadArchiveHeader;
    header.flags = fixed[3];
    if (header.flags & kFlagExtra) {
        unsigned char length[2];
        if (uint32_t failure = in.Read(length, 2)) return failure;
        unsigned char skip[256];
        for (uint32_t left = Get16(length); left > 0;) {
            uint32_t take = left < sizeof skip ? left : sizeof skip;
            if (uint32_t failure = in.Read(skip, take)) return failure;
            left -= take;
        }
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
