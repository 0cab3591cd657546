// Walks a ZIP archive through its central directory and unpacks members
// (stored or deflated) in bounded chunks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "database.h"
#include "host_io.h"

namespace refengine {

constexpr char kZipArchiverName[] = "ZIP";

// The first bytes of every ZIP this engine walks: a local header, an empty
// archive's end record, or the marker of a split archive's first volume.
bool LooksLikeZip(const unsigned char* head, size_t count);

struct ZipEntry {
    std::string name;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint32_t packedSize = 0;
    uint32_t size = 0;
    uint16_t disk = 0;
    uint32_t localOffset = 0;
};

// Limits that stop decompression bombs: no member grows past kMaxMemberSize
// or past its declared size, a member that expands more than kMaxRatio times
// beyond kRatioFloor stops, and one check unpacks at most kMaxCheckUnpacked.
constexpr uint64_t kMaxMemberSize = 1ull << 30;
constexpr uint64_t kMaxCheckUnpacked = 2ull << 30;
constexpr uint64_t kRatioFloor = 1ull << 20;
constexpr uint64_t kMaxRatio = 250;
// Nested archives up to this size are kept in memory, larger ones in a
// temporary file of the host.
constexpr uint32_t kSpoolMemoryLimit = 256 * 1024;

struct MemberOutcome {
    uint32_t flags = 0;
    std::string virusName;
    std::unique_ptr<Spool> nestedArchive;  // set with the archive bit
};

class ZipReader {
public:
    explicit ZipReader(std::unique_ptr<ByteSource> source);
    // 0: the next entry was read; 0x8000: no further member; else error bits.
    uint32_t Next(ZipEntry& entry);
    // Unpacks and checks one member; unpacked counts bytes across a check.
    MemberOutcome Extract(const ZipEntry& entry, const Database& db, uint64_t& unpacked);

private:
    void Locate();
    int32_t ReadFully(uint64_t offset, unsigned char* buffer, uint32_t count);

    std::unique_ptr<ByteSource> source_;
    uint32_t error_ = 0;
    uint64_t cursor_ = 0;
    uint64_t directoryEnd_ = 0;
    uint32_t remaining_ = 0;
    uint16_t disk_ = 0;
};

}  // namespace refengine
