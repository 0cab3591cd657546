// Walks a tar archive header by header: regular members are announced,
// GNU long names and pax records applied to the member they precede, links
// and directories passed over, sparse members read as their stored data.
#pragma once

#include <memory>
#include <string>

#include "formats/archive_reader.h"

namespace refengine {

class TarReader : public ArchiveReader {
public:
    explicit TarReader(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {}
    uint32_t Next(std::string& name) override;
    uint32_t Extract(MemberChecks& checks) override;

private:
    // A header's data read as text (long names, pax records), up to a bound.
    uint32_t ReadText(uint64_t size, std::string& text);

    std::unique_ptr<ByteSource> source_;
    uint32_t error_ = 0;
    uint64_t cursor_ = 0;  // the next header
    uint64_t data_ = 0;    // the announced member's data
    uint64_t size_ = 0;
};

extern const ArchiveFormat kTarFormat;

}  // namespace refengine
