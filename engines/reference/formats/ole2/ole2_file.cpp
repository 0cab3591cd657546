#include "ole2_file.h"

#include <algorithm>
#include <cstring>

#include "host/source_reads.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

constexpr uint32_t kMaxSectorSize = 4096;
constexpr uint32_t kRunLimit = 65536;  // bytes of adjacent sectors read at once

constexpr uint32_t kDamage = orlix::ResultBadArchiveHeader;

uint32_t ReadFailure(int32_t read) { return read == -1 ? orlix::ResultReadError : orlix::ResultUnpackError; }

// Adjacent pieces of a stream read in one go and handed on.
class RunReader {
public:
    RunReader(ByteSource& source, HostBuffer& buffer, ByteSink& out) : source_(source), buffer_(buffer), out_(out) {}
    // 0, or the failure; stopped() once the sink refused bytes.
    uint32_t Add(uint64_t offset, uint32_t length) {
        if (length_ && offset == offset_ + length_ && length_ + length <= buffer_.size()) {
            length_ += length;
            return 0;
        }
        if (uint32_t failure = Flush()) return failure;
        offset_ = offset;
        length_ = length;
        return 0;
    }
    uint32_t Flush() {
        if (!length_ || stopped_) return 0;
        int32_t read = ReadFully(source_, offset_, buffer_.data(), length_);
        if (read != 1) return ReadFailure(read);
        stopped_ = !out_.Take(buffer_.data(), length_);
        length_ = 0;
        return 0;
    }
    bool stopped() const { return stopped_; }

private:
    ByteSource& source_;
    HostBuffer& buffer_;
    ByteSink& out_;
    uint64_t offset_ = 0;
    uint32_t length_ = 0;
    bool stopped_ = false;
};

}  // namespace

bool SectorMarks::Allocate(uint64_t count) {
    uint64_t bytes = (count + 7) / 8;
    if (bytes > 0xFFFFFFFFu || !bits_.Allocate(static_cast<uint32_t>(std::max<uint64_t>(bytes, 1)))) return false;
    std::memset(bits_.data(), 0, bits_.size());
    return true;
}

bool SectorMarks::Mark(uint64_t sector) {
    unsigned char& byte = bits_.data()[sector / 8];
    unsigned char bit = static_cast<unsigned char>(1u << (sector % 8));
    if (byte & bit) return false;
    byte |= bit;
    return true;
}

bool SectorTable::Allocate(uint64_t count) {
    if (count > 0xFFFFFFFFu / 4 || !entries_.Allocate(static_cast<uint32_t>(std::max<uint64_t>(count, 1) * 4)))
        return false;
    std::memset(entries_.data(), 0xFF, entries_.size());
    count_ = count;
    return true;
}

void SectorTable::Set(uint64_t i, uint32_t value) {
    if (i >= count_) return;
    unsigned char* p = entries_.data() + i * 4;
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    p[2] = static_cast<unsigned char>(value >> 16);
    p[3] = static_cast<unsigned char>(value >> 24);
}

uint32_t SectorTable::Get(uint64_t i) const { return refengine::Get32(entries_.data() + i * 4); }

CompoundFile::CompoundFile(Host& host, ByteSource& source)
    : host_(host), source_(source), fat_(host), miniFat_(host), claimed_(host), miniClaimed_(host) {}

uint32_t CompoundFile::ReadSector(uint32_t sector, unsigned char* bytes) {
    int32_t read = ReadFully(source_, SectorOffset(sector), bytes, header_.sectorSize);
    return read == 1 ? 0 : ReadFailure(read);
}

uint32_t CompoundFile::Load() {
    unsigned char bytes[kCfbHeaderSize];
    int32_t read = ReadFully(source_, 0, bytes, kCfbHeaderSize);
    if (read != 1) return ReadFailure(read);
    if (!ParseCfbHeader(bytes, header_)) return kDamage;
    uint64_t size = source_.Size();
    // A last sector the file holds only in part is still read as far as it goes.
    sectorCount_ = size > header_.sectorSize ? (size - 1) / header_.sectorSize : 0;
    sectorCount_ = std::min<uint64_t>(sectorCount_, kMaxRegularSector);
    cut_ = size < header_.sectorSize || size % header_.sectorSize != 0;
    perSector_ = header_.sectorSize / 4;
    if (!claimed_.Allocate(sectorCount_) || !fat_.Allocate(sectorCount_)) return orlix::ResultUnpackError;
    if (uint32_t failure = LoadFat()) return failure;
    if (uint32_t failure = LoadDirectory()) return failure;
    if (uint32_t failure = LoadMiniStream()) return failure;
    return BuildTree();
}

uint32_t CompoundFile::LoadFatSector(uint32_t index, uint32_t sector, unsigned char* bytes) {
    if (sector >= sectorCount_ || !claimed_.Mark(sector)) return kDamage;
    if (uint32_t failure = ReadSector(sector, bytes)) return failure;
    for (uint32_t i = 0; i < perSector_; ++i) fat_.Set(uint64_t{index} * perSector_ + i, Get32(bytes + 4 * i));
    return 0;
}

uint32_t CompoundFile::LoadFat() {
    if (header_.fatSectors > sectorCount_) return kDamage;
    unsigned char bytes[kMaxSectorSize], difat[kMaxSectorSize];
    uint32_t loaded = 0;
    for (; loaded < header_.fatSectors && loaded < kHeaderDifatEntries; ++loaded) {
        if (uint32_t failure = LoadFatSector(loaded, header_.difat[loaded], bytes)) return failure;
    }
    // The rest are listed in DIFAT sectors, each ending in the next one's
    // number; claiming each bounds the chain.
    for (uint32_t next = header_.firstDifatSector; loaded < header_.fatSectors;) {
        if (next >= sectorCount_ || !claimed_.Mark(next)) return kDamage;
        if (uint32_t failure = ReadSector(next, difat)) return failure;
        for (uint32_t i = 0; i + 1 < perSector_ && loaded < header_.fatSectors; ++i, ++loaded) {
            if (uint32_t failure = LoadFatSector(loaded, Get32(difat + 4 * i), bytes)) return failure;
        }
        next = Get32(difat + 4 * (perSector_ - 1));
    }
    return 0;
}

uint32_t CompoundFile::ClaimChain(uint32_t start, uint64_t limit, std::vector<uint32_t>& sectors) {
    sectors.clear();
    for (uint32_t sector = start; sector != kEndOfChain && sectors.size() < limit; sector = fat_.at(sector)) {
        if (sector >= sectorCount_ || !claimed_.Mark(sector)) return kDamage;
        sectors.push_back(sector);
    }
    return 0;
}

uint32_t CompoundFile::LoadDirectory() {
    const uint32_t entriesPerSector = header_.sectorSize / kDirectoryEntrySize;
    if (header_.majorVersion == 4 && header_.directorySectors > sectorCount_) return kDamage;
    std::vector<uint32_t> sectors;
    uint64_t limit = kMaxDirectoryEntries / entriesPerSector;
    if (uint32_t failure = ClaimChain(header_.firstDirectorySector, limit + 1, sectors)) return failure;
    if (sectors.empty() || sectors.size() > limit) return kDamage;
    unsigned char bytes[kMaxSectorSize];
    for (uint32_t sector : sectors) {
        if (uint32_t failure = ReadSector(sector, bytes)) return failure;
        for (uint32_t i = 0; i < entriesPerSector; ++i) {
            DirectoryEntry entry;
            if (!ParseDirectoryEntry(bytes + i * kDirectoryEntrySize, header_.majorVersion, entry)) return kDamage;
            entries_.push_back(std::move(entry));
        }
    }
    if (entries_[0].type != static_cast<uint8_t>(EntryType::Root)) return kDamage;
    return 0;
}

uint32_t CompoundFile::LoadMiniStream() {
    // The mini stream is the root's data; the mini FAT chains its 64-byte sectors.
    const DirectoryEntry& root = entries_[0];
    uint64_t needed = (root.size + header_.sectorSize - 1) / header_.sectorSize;
    if (needed > sectorCount_) return kDamage;
    if (uint32_t failure = ClaimChain(root.startSector, needed, miniStream_)) return failure;
    if (miniStream_.size() < needed) return kDamage;
    miniSectorCount_ = (root.size + kMiniSectorSize - 1) / kMiniSectorSize;
    if (!miniClaimed_.Allocate(miniSectorCount_)) return orlix::ResultUnpackError;
    if (header_.miniFatSectors == 0 || header_.firstMiniFatSector == kEndOfChain) return 0;
    if (header_.miniFatSectors > sectorCount_) return kDamage;
    std::vector<uint32_t> sectors;
    if (uint32_t failure = ClaimChain(header_.firstMiniFatSector, header_.miniFatSectors, sectors)) return failure;
    if (!miniFat_.Allocate(std::min<uint64_t>(uint64_t{sectors.size()} * perSector_, miniSectorCount_)))
        return orlix::ResultUnpackError;
    unsigned char bytes[kMaxSectorSize];
    for (size_t s = 0; s < sectors.size(); ++s) {
        if (uint32_t failure = ReadSector(sectors[s], bytes)) return failure;
        for (uint32_t i = 0; i < perSector_; ++i) miniFat_.Set(s * perSector_ + i, Get32(bytes + 4 * i));
    }
    return 0;
}

uint32_t CompoundFile::BuildTree() {
    // The tree only names entries: every stream is walked, reached or not,
    // but an entry reached twice is a loop.
    const uint32_t count = static_cast<uint32_t>(entries_.size());
    parents_.assign(count, kNoEntry);
    std::vector<bool> seen(count, false);
    seen[0] = true;
    std::vector<std::pair<uint32_t, uint32_t>> pending = {{entries_[0].child, 0}};
    while (!pending.empty()) {
        std::pair<uint32_t, uint32_t> at = pending.back();
        pending.pop_back();
        uint32_t index = at.first;
        if (index == kNoEntry) continue;
        if (index >= count || seen[index] || entries_[index].type == static_cast<uint8_t>(EntryType::Unused))
            return kDamage;
        seen[index] = true;
        parents_[index] = at.second;
        const DirectoryEntry& entry = entries_[index];
        pending.push_back({entry.left, at.second});
        pending.push_back({entry.right, at.second});
        if (entry.type == static_cast<uint8_t>(EntryType::Storage)) pending.push_back({entry.child, index});
    }
    return 0;
}

uint32_t CompoundFile::ReadStream(const DirectoryEntry& entry, uint64_t length, ByteSink& out, bool claim) {
    length = std::min(length, entry.size);
    if (length == 0) return 0;
    if (entry.size < kMiniStreamCutoff) return ReadMini(entry.startSector, length, out, claim);
    return ReadRegular(entry.startSector, length, out, claim);
}

uint32_t CompoundFile::ReadRegular(uint32_t start, uint64_t length, ByteSink& out, bool claim) {
    uint64_t needed = (length + header_.sectorSize - 1) / header_.sectorSize;
    // A stream larger than the file runs past its end.
    if (needed > sectorCount_) return kDamage;
    HostBuffer buffer(host_, kRunLimit);
    if (!buffer) return orlix::ResultUnpackError;
    RunReader runs(source_, buffer, out);
    uint32_t sector = start;
    for (uint64_t n = 0; n < needed; ++n) {
        if (sector >= sectorCount_ || (claim && !claimed_.Mark(sector))) return kDamage;
        uint64_t left = length - n * header_.sectorSize;
        if (uint32_t failure =
                runs.Add(SectorOffset(sector), static_cast<uint32_t>(std::min<uint64_t>(left, header_.sectorSize))))
            return failure;
        if (runs.stopped()) return 0;
        sector = fat_.at(sector);
    }
    return runs.Flush();
}

uint32_t CompoundFile::ReadMini(uint32_t start, uint64_t length, ByteSink& out, bool claim) {
    unsigned char bytes[kMiniSectorSize];
    uint32_t sector = start;
    for (uint64_t done = 0; done < length; done += kMiniSectorSize) {
        // Beyond the root's size is no mini sector.
        if (sector >= miniSectorCount_ || (claim && !miniClaimed_.Mark(sector))) return kDamage;
        uint64_t at = uint64_t{sector} * kMiniSectorSize;
        uint64_t offset = SectorOffset(miniStream_[at / header_.sectorSize]) + at % header_.sectorSize;
        uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(length - done, kMiniSectorSize));
        int32_t read = ReadFully(source_, offset, bytes, take);
        if (read != 1) return ReadFailure(read);
        if (!out.Take(bytes, take)) return 0;
        sector = miniFat_.at(sector);
    }
    return 0;
}

}  // namespace refengine
