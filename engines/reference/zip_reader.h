// Walks a ZIP archive through its central directory and unpacks members
// (stored or deflated) in bounded chunks.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "check_budget.h"
#include "database.h"
#include "host_io.h"
#include "member_sink.h"
#include "zip_directory.h"

namespace refengine {

constexpr char kZipArchiverName[] = "ZIP";

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

class ZipReader {
public:
    explicit ZipReader(std::unique_ptr<ByteSource> source);
    // 0: the next entry was read; 0x8000: no further member; else error bits.
    uint32_t Next(ZipEntry& entry);
    // Unpacks and checks one member within the check's budget.
    MemberOutcome Extract(const ZipEntry& entry, const Database& db, CheckBudget& budget);

private:
    std::unique_ptr<ByteSource> source_;
    ZipDirectory directory_;
    uint32_t error_ = 0;
    uint64_t cursor_ = 0;
    uint64_t seen_ = 0;
    bool finished_ = false;
    std::map<uint64_t, uint64_t> ranges_;  // members' bytes so far: start to end
};

}  // namespace refengine
