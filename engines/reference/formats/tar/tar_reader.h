// Walks a tar archive header by header: regular members are announced,
// GNU long names and pax records applied to the member they precede, links
// and directories passed over. A header whose checksum is wrong is skipped
// to the next valid one, as GNU tar does, and reported as damage at the
// end. Sparse members are checked as stored and expanded with their holes.
#pragma once

#include <memory>
#include <string>

#include "formats/archive_reader.h"
#include "tar_records.h"

namespace refengine {

class TarReader : public ArchiveReader {
public:
    TarReader(Host& host, std::unique_ptr<ByteSource> source) : host_(host), source_(std::move(source)) {}
    uint32_t Next(std::string& name) override;
    uint32_t Extract(MemberChecks& checks) override;

private:
    enum class Sparse { None, MapKnown, MapInData };

    // A header's data read as text (long names, pax records), up to a bound.
    uint32_t ReadText(uint64_t at, uint64_t size, std::string& text);
    // Moves the cursor past a bad header to the next block that is a valid
    // header or a zero block; false when none follows within the bound.
    bool SkipToNextHeader();
    uint32_t CheckStored(MemberChecks& checks);
    uint32_t CheckExpanded(MemberChecks& checks);

    Host& host_;
    std::unique_ptr<ByteSource> source_;
    uint32_t error_ = 0;
    uint32_t damage_ = 0;  // reported once the members behind it are walked
    uint64_t cursor_ = 0;  // the next header
    uint64_t data_ = 0;    // the announced member's data
    uint64_t size_ = 0;
    Sparse sparse_ = Sparse::None;
    SparseMap map_;
};

extern const ArchiveFormat kTarFormat;

}  // namespace refengine
