// Walks a gzip stream as an archive of one member: its members' data, one
// after the other, as gunzip writes it.
#pragma once

#include <memory>
#include <string>

#include "formats/archive_reader.h"

namespace refengine {

class GzipReader : public ArchiveReader {
public:
    // archiveName names the member when the stream stores no name.
    GzipReader(Host& host, std::unique_ptr<ByteSource> source, const std::string& archiveName);
    uint32_t Next(std::string& name) override;
    uint32_t Extract(MemberChecks& checks) override;

private:
    // Unpacks every gzip member into out; the first damage found (0x2000
    // for a checksum, 0x80 for a stream cut short or out of time), or 0.
    uint32_t Unpack(ByteSink& out, CheckBudget& budget);

    Host& host_;
    std::unique_ptr<ByteSource> source_;
    std::string archiveName_;
    HostBuffer headerBuffer_;  // what member headers are read through
    bool announced_ = false;
};

extern const ArchiveFormat kGzipFormat;

}  // namespace refengine
