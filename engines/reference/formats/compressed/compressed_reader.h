// The compressed streams mail carries besides gzip (bzip2, xz, .lzma), each
// walked as an archive of one member named after the archive, as their
// decompressors name the file they write: a .tar.bz2 is two levels.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "formats/archive_reader.h"
#include "formats/single_member.h"

namespace refengine {

// What tells one such format from another.
struct CompressedKind {
    const SuffixRule* suffixes;
    size_t suffixCount;
    size_t headSize;  // bytes headFailure reads
    // 0 for a sound head; 0x4000 for a damaged one, 0x80 for one we do not
    // decode. count is less than headSize when the object is shorter.
    uint32_t (*headFailure)(const unsigned char* head, size_t count);
    std::unique_ptr<StreamDecoder> (*decoder)(uint64_t memoryLimit);
};

class CompressedReader : public ArchiveReader {
public:
    CompressedReader(Host& host, std::unique_ptr<ByteSource> source, const std::string& archiveName,
                     const CompressedKind& kind);
    uint32_t Next(std::string& name) override;
    uint32_t Extract(MemberChecks& checks) override;

private:
    Host& host_;
    std::unique_ptr<ByteSource> source_;
    std::string archiveName_;
    const CompressedKind& kind_;
    bool announced_ = false;
};

extern const ArchiveFormat kBzip2Format;
extern const ArchiveFormat kXzFormat;
extern const ArchiveFormat kLzmaFormat;

}  // namespace refengine
