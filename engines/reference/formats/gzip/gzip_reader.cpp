#include "gzip_reader.h"

#include <zlib.h>

#include "formats/single_member.h"
#include "formats/unpack.h"
#include "gzip_records.h"
#include "host/source_reads.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

// One gzip member's bytes on their way: its sum and length for the trailer.
class TrailerCheck : public ByteSink {
public:
    explicit TrailerCheck(ByteSink& out) : out_(out) {}
    bool Take(const unsigned char* bytes, uint32_t count) override {
        crc_ = static_cast<uint32_t>(crc32(crc_, bytes, count));
        size_ += count;
        stopped_ = !out_.Take(bytes, count);
        return !stopped_;
    }
    bool Matches(const GzipTrailer& trailer) const {
        return trailer.crc == crc_ && trailer.size == static_cast<uint32_t>(size_);
    }
    bool stopped() const { return stopped_; }

private:
    ByteSink& out_;
    uint32_t crc_ = 0;
    uint64_t size_ = 0;
    bool stopped_ = false;
};

// The name gunzip would give the member: the archive's without ".gz".
const SuffixRule kGzipSuffixes[] = {{".tgz", ".tar"}, {".gz", ""}};

std::unique_ptr<ArchiveReader> OpenGzip(Host& host, std::unique_ptr<ByteSource> source, const std::string& name) {
    return std::unique_ptr<ArchiveReader>(new GzipReader(host, std::move(source), name));
}

}  // namespace

const ArchiveFormat kGzipFormat = {"GZIP", LooksLikeGzip, OpenGzip, nullptr, nullptr};

GzipReader::GzipReader(Host& host, std::unique_ptr<ByteSource> source, const std::string& archiveName)
    : host_(host), source_(std::move(source)), archiveName_(archiveName), headerBuffer_(host, kGzipHeaderBuffer) {}

uint32_t GzipReader::Next(std::string& name) {
    if (announced_) return orlix::ResultNoMoreMembers;
    GzipHeader header;
    if (uint32_t failure = ReadGzipHeader(headerBuffer_, *source_, 0, header, kMaxMemberNameKept)) return failure;
    announced_ = true;
    name = header.name.empty() ? SingleMemberName(archiveName_, kGzipSuffixes, 2) : header.name;
    return 0;
}

uint32_t GzipReader::Unpack(ByteSink& out, CheckBudget& budget) {
    uint32_t damage = 0;
    uint64_t size = source_->Size();
    for (uint64_t offset = 0;;) {
        // Empty members unpack nothing the budget would count: each costs time.
        if (!budget.Spend(0)) return orlix::ResultUnpackError;
        GzipHeader header;
        if (uint32_t failure = ReadGzipHeader(headerBuffer_, *source_, offset, header, 0)) {
            // Bytes after the last member that do not start another are
            // ignored, as gunzip ignores them; a cut header is not.
            return offset == 0 || failure != orlix::ResultBadArchiveHeader ? failure : damage;
        }
        if (header.headerCrcBad && !damage) damage = orlix::ResultCrcError;
        uint64_t data = offset + header.length;
        uint64_t used = 0;
        TrailerCheck check(out);
        uint32_t failure = InflateRaw(host_, *source_, data, size - data, check, &used);
        if (check.stopped()) return damage;
        if (failure) return failure;
        unsigned char bytes[kGzipTrailerSize];
        int32_t read = ReadFully(*source_, data + used, bytes, kGzipTrailerSize);
        if (read != 1) return read == -1 ? orlix::ResultReadError : orlix::ResultUnpackError;
        GzipTrailer trailer;
        ParseGzipTrailer(bytes, trailer);
        if (!check.Matches(trailer) && !damage) damage = orlix::ResultCrcError;
        offset = data + used + kGzipTrailerSize;
        // Zeros that pad the stream to a block are no member.
        unsigned char pad[4096];
        for (int32_t got; offset < size && (got = source_->ReadAt(offset, pad, sizeof pad)) > 0;) {
            int32_t zeros = 0;
            while (zeros < got && pad[zeros] == 0) ++zeros;
            offset += static_cast<uint32_t>(zeros);
            if (zeros < got) break;
        }
        if (offset >= size) return damage;
    }
}

uint32_t GzipReader::Extract(MemberChecks& checks) {
    CheckBudget& budget = checks.budget();
    // The length decides size-bound records and hashes: it is measured
    // first, and a bomb ends there, before anything is matched.
    MeasureSink measure(budget);
    uint32_t damage = Unpack(measure, budget);
    if (measure.over()) return orlix::ResultUnpackError;
    std::unique_ptr<MemberCheck> check = checks.Begin({measure.size(), 0, false});
    uint32_t again = Unpack(*check, budget);
    return check->Settle(damage ? damage : again);
}

}  // namespace refengine
