// Walks a 7z archive: its header database (read from the end, decoded
// first when it is packed itself), then the files in their folders' order,
// each folder unpacked once through its coders.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/archive_reader.h"
#include "sevenzip_folder.h"
#include "sevenzip_records.h"

namespace refengine {

class SevenZipReader : public ArchiveReader {
public:
    SevenZipReader(Host& host, std::unique_ptr<ByteSource> source);
    uint32_t Next(std::string& name) override;
    uint32_t Extract(MemberChecks& checks) override;

private:
    uint32_t Open(CheckBudget& budget);
    uint32_t ReadDatabase(CheckBudget& budget);
    // Unpacks a folder of streams whole into bytes (an encoded header).
    uint32_t UnpackWhole(const SevenZipStreams& streams, CheckBudget& budget, std::vector<unsigned char>& out);
    // Brings the folder stream to the start of file index file.
    uint32_t Reach(size_t file, CheckBudget& budget);

    struct Placed {
        size_t folder = 0;  // for files with a stream
        size_t stream = 0;  // index into the substreams
    };

    std::unique_ptr<ByteSource> source_;
    CheckBudget openBudget_;
    SevenZipDatabase db_;
    std::vector<Placed> placed_;
    std::vector<uint64_t> packOffsets_;  // each pack stream's offset in the object
    uint32_t error_ = 0;
    bool opened_ = false;
    size_t next_ = 0;     // the file Next announces next
    size_t current_ = 0;  // the one it announced last
    bool announced_ = false;
    // The folder being unpacked, and the next stream of it to hand out.
    std::unique_ptr<SevenZipFolderStream> folder_;
    size_t folderIndex_ = 0;
    size_t folderStream_ = 0;
};

extern const ArchiveFormat kSevenZipFormat;

}  // namespace refengine
