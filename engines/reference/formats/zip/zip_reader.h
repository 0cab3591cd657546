// Walks a ZIP archive through its central directory and unpacks members
// (stored, Deflate, Deflate64, bzip2, LZMA, xz) in bounded chunks.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "formats/archive_reader.h"
#include "zip_directory.h"

namespace refengine {

class ZipReader : public ArchiveReader {
public:
    ZipReader(Host& host, std::unique_ptr<ByteSource> source);
    uint32_t Next(std::string& name) override;
    uint32_t Extract(MemberChecks& checks) override;

private:
    struct Entry {
        std::string name;
        uint16_t flags = 0;
        uint16_t method = 0;
        uint32_t crc = 0;
        uint64_t packedSize = 0;
        uint64_t size = 0;
        uint32_t disk = 0;
        uint64_t start = 0;  // the local header in the object
        bool startValid = false;
    };
    // Reads the entry at the cursor; false at the end of the reading.
    bool ReadEntry(uint32_t& failure);
    // Damage of a finished reading: counts that disagree with the entries.
    uint32_t Tally() const;
    static bool Unpacks(uint16_t method);
    // The current member's packed bytes at data by method into out: the
    // stream's own failure, or 0.
    uint32_t Unpack(MemberChecks& checks, uint16_t method, uint16_t flags, uint64_t data, ByteSink& out);

    std::unique_ptr<ByteSource> source_;
    ZipDirectory directory_;
    uint32_t error_ = 0;
    uint32_t damage_ = 0;
    uint32_t reading_ = 0;
    uint64_t cursor_ = 0;
    uint64_t seen_ = 0;
    Entry entry_;
    std::set<uint64_t> announced_;         // local headers the first directory named
    std::map<uint64_t, uint64_t> ranges_;  // members' bytes in this reading so far: start to end
};

extern const ArchiveFormat kZipFormat;

}  // namespace refengine
