// A compound file's sector tables and directory, loaded once and checked as
// they are followed: every chain is bounded by the file's sectors, and a
// sector claimed twice (a loop, or a chain crossing into another) is damage.
#pragma once

#include <cstdint>
#include <vector>

#include "codecs/codec.h"
#include "host/host_io.h"
#include "ole2_records.h"

namespace refengine {

// Directories larger than this are damage: no writer makes them, and each
// entry costs memory.
constexpr uint32_t kMaxDirectoryEntries = 1 << 17;

// One bit per sector.
class SectorMarks {
public:
    explicit SectorMarks(Host& host) : bits_(host) {}
    bool Allocate(uint64_t count);
    // False when the sector was marked before.
    bool Mark(uint64_t sector);

private:
    HostBuffer bits_;
};

// A table of sector numbers (the FAT, the mini FAT), free where unset.
class SectorTable {
public:
    explicit SectorTable(Host& host) : entries_(host) {}
    bool Allocate(uint64_t count);
    uint64_t count() const { return count_; }
    uint32_t at(uint64_t i) const { return i < count_ ? Get(i) : kFreeSector; }
    void Set(uint64_t i, uint32_t value);

private:
    uint32_t Get(uint64_t i) const;
    HostBuffer entries_;
    uint64_t count_ = 0;
};

class CompoundFile {
public:
    CompoundFile(Host& host, ByteSource& source);
    CompoundFile(const CompoundFile&) = delete;
    CompoundFile& operator=(const CompoundFile&) = delete;

    // 0; 0x4000 for damaged tables or directory; 0x80 when the file ends
    // inside them; 0x20 on a read failure.
    uint32_t Load();
    const std::vector<DirectoryEntry>& entries() const { return entries_; }
    // Writers write whole sectors: a file that ends inside one was cut.
    bool cut() const { return cut_; }
    // Each entry's storage in the tree (the root's children: 0); kNoEntry
    // for the root and for entries the tree does not reach.
    uint32_t parentOf(uint32_t entry) const { return parents_[entry]; }
    // Up to length bytes of a stream into out; claim marks its sectors, as
    // a member's are, so that a later chain through them is damage.
    uint32_t ReadStream(const DirectoryEntry& entry, uint64_t length, ByteSink& out, bool claim);

private:
    uint64_t SectorOffset(uint32_t sector) const { return (uint64_t{sector} + 1) * header_.sectorSize; }
    uint32_t ReadSector(uint32_t sector, unsigned char* bytes);
    uint32_t LoadFatSector(uint32_t index, uint32_t sector, unsigned char* bytes);
    uint32_t LoadFat();
    // Claims a chain's sectors from start until its end, at most limit.
    uint32_t ClaimChain(uint32_t start, uint64_t limit, std::vector<uint32_t>& sectors);
    uint32_t LoadDirectory();
    uint32_t LoadMiniStream();
    uint32_t BuildTree();
    uint32_t ReadRegular(uint32_t start, uint64_t length, ByteSink& out, bool claim);
    uint32_t ReadMini(uint32_t start, uint64_t length, ByteSink& out, bool claim);

    Host& host_;
    ByteSource& source_;
    CfbHeader header_;
    uint64_t sectorCount_ = 0;
    uint32_t perSector_ = 0;  // table entries in a sector
    SectorTable fat_, miniFat_;
    SectorMarks claimed_, miniClaimed_;
    std::vector<DirectoryEntry> entries_;
    std::vector<uint32_t> parents_;
    std::vector<uint32_t> miniStream_;  // the root's sectors
    uint64_t miniSectorCount_ = 0;
    bool cut_ = false;
};

}  // namespace refengine
