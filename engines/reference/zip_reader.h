// Walks a ZIP archive through its central directory and unpacks members
// (stored or deflated) in bounded chunks.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "database.h"
#include "host_io.h"

namespace refengine {

constexpr char kZipArchiverName[] = "ZIP";

// The first bytes of every ZIP this engine walks: a local header, an empty
// archive's end record, or the marker of a split archive's first volume.
bool LooksLikeZip(const unsigned char* head, size_t count);
// True when an archive's directory is found at the end of an object that
// does not start like one: a self-extractor or any stub in front of a ZIP.
bool EndsInZip(ByteSource& source);

struct ZipEntry {
    std::string name;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint64_t packedSize = 0;
    uint64_t size = 0;
    uint32_t disk = 0;
    uint64_t localOffset = 0;
};

// What one check may unpack, in all its archives and levels together. A
// member past a bound is answered as not unpacked (0x80), never as clean.
struct UnpackLimits {
    uint64_t memberBytes;
    uint64_t checkBytes;
    uint32_t checkMilliseconds;
};
constexpr UnpackLimits kUnpackLimits = {100ull << 20, 400ull << 20, 30000};

class CheckBudget {
public:
    explicit CheckBudget(const UnpackLimits& limits = kUnpackLimits) : limits_(limits) { Restart(); }
    // A new check: nothing unpacked yet, and its time starts now.
    void Restart();
    // False once the check has unpacked more than its bound or run out of time.
    bool Spend(uint64_t bytes);
    const UnpackLimits& limits() const { return limits_; }

private:
    UnpackLimits limits_;
    uint64_t unpacked_ = 0;
    std::chrono::steady_clock::time_point deadline_;
};

// Nested archives up to this size are kept in memory, larger ones in a
// temporary file of the host.
constexpr uint32_t kSpoolMemoryLimit = 256 * 1024;

struct MemberOutcome {
    uint32_t flags = 0;
    std::string virusName;
    std::unique_ptr<Spool> nestedArchive;  // set with the archive bit
};

// Where the central directory is and what the end records say about it.
struct ZipDirectory {
    uint32_t error = 0;
    uint64_t start = 0;  // the first central header
    uint64_t end = 0;    // start plus the declared size
    uint64_t limit = 0;  // the end records: no header reaches past here
    uint64_t entries = 0;
    uint64_t bias = 0;  // bytes in front of the archive that its offsets leave out
    uint32_t disk = 0;
    bool zip64 = false;
};

class ZipReader {
public:
    explicit ZipReader(std::unique_ptr<ByteSource> source);
    // 0: the next entry was read; 0x8000: no further member; else error bits.
    uint32_t Next(ZipEntry& entry);
    // Unpacks and checks one member within the check's budget.
    MemberOutcome Extract(const ZipEntry& entry, const Database& db, CheckBudget& budget);

private:
    uint32_t ReadZip64Fields(ZipEntry& entry, const unsigned char* extra, uint32_t length) const;
    MemberOutcome Unpack(uint64_t data, const ZipEntry& entry, const Database& db, CheckBudget& budget);

    std::unique_ptr<ByteSource> source_;
    ZipDirectory directory_;
    uint32_t error_ = 0;
    uint64_t cursor_ = 0;
    uint64_t seen_ = 0;
    bool finished_ = false;
    std::map<uint64_t, uint64_t> ranges_;  // members' bytes so far: start to end
};

}  // namespace refengine
