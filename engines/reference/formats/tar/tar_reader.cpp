#include "tar_reader.h"

#include <algorithm>
#include <cstring>

#include "formats/member_readings.h"
#include "formats/unpack.h"
#include "host/source_reads.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

// Long names and pax records larger than this are passed over unread.
constexpr uint64_t kMaxTextData = 1 << 20;

uint64_t Blocks(uint64_t size) { return (size + kTarBlock - 1) / kTarBlock * kTarBlock; }

// Types with no data of their own: links, devices, directories, FIFOs.
bool HasNoData(char type) { return type >= '1' && type <= '6'; }

// A damaged header is skipped to a valid one at most this far behind it.
constexpr uint64_t kMaxSkippedBytes = 100ull << 20;
constexpr uint32_t kChunk = 65536;

std::unique_ptr<ArchiveReader> OpenTar(Host& host, std::unique_ptr<ByteSource> source, const std::string&) {
    return std::unique_ptr<ArchiveReader>(new TarReader(host, std::move(source)));
}

// Hands bytes on and remembers whether the check wanted no more.
class Forward : public ByteSink {
public:
    explicit Forward(ByteSink& out) : out_(out) {}
    bool Take(const unsigned char* bytes, uint32_t count) override {
        stopped_ = stopped_ || !out_.Take(bytes, count);
        return !stopped_;
    }
    bool stopped() const { return stopped_; }

private:
    ByteSink& out_;
    bool stopped_ = false;
};

// Regions in order, apart, inside the file, and no more than is stored.
bool FitsTogether(const SparseMap& map, uint64_t stored) {
    uint64_t end = 0, total = 0;
    for (const SparseRegion& r : map.regions) {
        if (r.offset < end || r.size > map.realSize || r.offset > map.realSize - r.size) return false;
        end = r.offset + r.size;
        total += r.size;
        if (total > stored) return false;
    }
    return map.valid;
}

}  // namespace

const ArchiveFormat kTarFormat = {"TAR", LooksLikeTar, OpenTar, nullptr, nullptr};

uint32_t TarReader::ReadText(uint64_t at, uint64_t size, std::string& text) {
    text.clear();
    if (size > kMaxTextData) return 0;
    text.resize(static_cast<size_t>(size));
    int32_t read =
        size ? ReadFully(*source_, at, reinterpret_cast<unsigned char*>(&text[0]), static_cast<uint32_t>(size)) : 1;
    if (read != 1) return read == -1 ? orlix::ResultReadError : orlix::ResultUnpackError;
    return 0;
}

bool TarReader::SkipToNextHeader() {
    HostBuffer buffer(host_, kChunk);
    if (!buffer) return false;
    uint64_t size = source_->Size();
    for (uint64_t at = cursor_ + kTarBlock; at < size && at - cursor_ <= kMaxSkippedBytes;) {
        uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(kChunk, size - at));
        int32_t got = source_->ReadAt(at, buffer.data(), want);
        if (got < static_cast<int32_t>(kTarBlock)) return false;
        for (uint32_t b = 0; b + kTarBlock <= static_cast<uint32_t>(got); b += kTarBlock) {
            unsigned char block[kTarBlock];
            std::memcpy(block, buffer.data() + b, kTarBlock);
            TarHeader header;
            if (IsZeroBlock(block) || ParseTarHeader(block, header)) {
                cursor_ = at + b;
                return true;
            }
        }
        at += static_cast<uint32_t>(got) / kTarBlock * kTarBlock;
    }
    return false;
}

uint32_t TarReader::Next(std::string& name) {
    std::string longName;
    PaxRecords pax;
    for (;;) {
        if (error_) return error_;
        uint64_t size = source_->Size();
        uint32_t end = damage_ ? damage_ : uint32_t{orlix::ResultNoMoreMembers};
        // Archives may end without their two zero blocks.
        if (cursor_ == size) return error_ = end;
        unsigned char block[kTarBlock];
        int32_t read = cursor_ < size ? ReadFully(*source_, cursor_, block, kTarBlock) : 0;
        if (read != 1)
            return error_ = read == -1 ? orlix::ResultReadError : damage_ ? damage_ : orlix::ResultUnpackError;
        if (IsZeroBlock(block)) return error_ = end;
        TarHeader header;
        if (!ParseTarHeader(block, header)) {
            // GNU tar skips a bad header block by block to a valid one: the
            // members behind it are walked, the damage reported after them.
            damage_ = orlix::ResultBadArchiveHeader;
            longName.clear();
            pax = PaxRecords();
            if (!SkipToNextHeader()) return error_ = damage_;
            continue;
        }
        cursor_ += kTarBlock;
        // An old GNU sparse member's map may go on in blocks before its data.
        for (bool more = header.sparseExtended; more;) {
            if ((read = ReadFully(*source_, cursor_, block, kTarBlock)) != 1)
                return error_ = read == -1 ? orlix::ResultReadError : orlix::ResultUnpackError;
            more = ParseSparseExtension(block, header.sparse);
            cursor_ += kTarBlock;
        }
        uint64_t dataSize = pax.hasSize ? pax.size : header.size;
        if (HasNoData(header.type)) {
            longName.clear();
            pax = PaxRecords();
            continue;
        }
        if (header.type == 'L' || header.type == 'x') {
            std::string text;
            if (uint32_t failure = ReadText(cursor_, header.size, text)) return error_ = failure;
            if (header.type == 'L') {
                longName = text.substr(0, std::min(text.find('\0'), kMaxMemberNameKept));
            } else if (!ParsePaxRecords(text, pax)) {
                return error_ = orlix::ResultBadArchiveHeader;
            }
            cursor_ += Blocks(header.size);
            continue;
        }
        if (header.type == 'K' || header.type == 'g') {
            cursor_ += Blocks(header.size);
            continue;
        }
        // Regular and contiguous files, sparse members, and any type
        // unknown here: extractors hand those out as files too.
        name = !pax.path.empty() ? pax.path : !longName.empty() ? longName : header.name;
        data_ = cursor_;
        size_ = dataSize;
        sparse_ = Sparse::None;
        if (header.type == 'S') {
            sparse_ = Sparse::MapKnown;
            map_ = std::move(header.sparse);
        } else if (pax.sparseMajor == 1 || pax.sparseInRecords) {
            sparse_ = pax.sparseMajor == 1 ? Sparse::MapInData : Sparse::MapKnown;
            map_ = std::move(pax.sparse);
        }
        cursor_ += Blocks(dataSize);
        if (cursor_ < data_) return error_ = orlix::ResultBadArchiveHeader;
        return 0;
    }
}

uint32_t TarReader::CheckStored(MemberChecks& checks) {
    if (size_ > checks.budget().limits().memberBytes) return orlix::ResultUnpackError;
    // A member that claims more than the archive holds is checked as far as
    // it goes and is never clean.
    uint64_t available = source_->Size() > data_ ? source_->Size() - data_ : 0;
    std::unique_ptr<MemberCheck> check = checks.Begin({size_, 0, false});
    uint32_t failure = CopyStored(checks.host(), *source_, data_, std::min(size_, available), *check);
    if (!failure && available < size_) failure = orlix::ResultUnpackError;
    return check->Settle(failure);
}

// The file an extractor writes: the stored regions where the map puts
// them, zeros between them and up to the file's size.
uint32_t TarReader::CheckExpanded(MemberChecks& checks) {
    uint64_t stored = data_, storedSize = size_;
    SparseMap map = map_;
    if (sparse_ == Sparse::MapInData) {
        std::string text;
        if (uint32_t failure = ReadText(data_, std::min<uint64_t>(size_, kMaxTextData), text)) return failure;
        size_t used = ParseSparseMapText(text, map);
        if (used == 0 || used > size_) return orlix::ResultBadArchiveHeader;
        stored += used;
        storedSize -= used;
    }
    if (!FitsTogether(map, storedSize)) return orlix::ResultBadArchiveHeader;
    if (map.realSize > checks.budget().limits().memberBytes || stored + storedSize > source_->Size())
        return orlix::ResultUnpackError;
    HostBuffer zeros(checks.host(), kChunk);
    if (!zeros) return orlix::ResultUnpackError;
    std::memset(zeros.data(), 0, kChunk);
    std::unique_ptr<MemberCheck> check = checks.Begin({map.realSize, 0, false});
    Forward out(*check);
    auto holes = [&](uint64_t count) {
        for (; count > 0 && !out.stopped(); count -= std::min<uint64_t>(count, kChunk))
            out.Take(zeros.data(), static_cast<uint32_t>(std::min<uint64_t>(count, kChunk)));
        return !out.stopped();
    };
    uint32_t failure = 0;
    uint64_t written = 0;
    for (const SparseRegion& r : map.regions) {
        if (!holes(r.offset - written)) break;
        failure = CopyStored(checks.host(), *source_, stored, r.size, out);
        if (failure || out.stopped()) break;
        stored += r.size;
        written = r.offset + r.size;
    }
    if (!failure && !out.stopped()) holes(map.realSize - written);
    return check->Settle(failure);
}

uint32_t TarReader::Extract(MemberChecks& checks) {
    if (sparse_ == Sparse::None) return CheckStored(checks);
    // Extractors write the file with its holes; a record of the stored
    // bytes alone still counts.
    MemberReading readings[] = {[this](MemberChecks& c) { return CheckStored(c); },
                                [this](MemberChecks& c) { return CheckExpanded(c); }};
    return CheckEachReading(checks, readings, 2);
}

}  // namespace refengine
