// Walks the BinHex 4.0 blocks of a text: each block's data fork is a
// member named after its file, its resource fork (when it has one) a
// second one; the sums of the header and of each fork are checked.
#pragma once

#include <memory>
#include <string>

#include "binhex_records.h"
#include "formats/archive_reader.h"

namespace refengine {

class BinHexReader : public ArchiveReader {
public:
    BinHexReader(Host& host, std::shared_ptr<ByteSource> source) : host_(host), source_(std::move(source)) {}
    uint32_t Next(std::string& name) override;
    uint32_t Extract(MemberChecks& checks) override;

private:
    // Decodes the block's text into out; the decoder's state at its end.
    BinHexDecoder::State Decode(ByteSink& out, uint32_t& readFailure);
    // Finds the next block's data after cursor_; false when there is none.
    uint32_t FindBlock(bool& found);

    Host& host_;
    std::shared_ptr<ByteSource> source_;
    uint64_t cursor_ = 0;
    uint64_t data_ = 0;  // the block's first character after ':'
    BinHexHeader header_;
    bool resourceNext_ = false;  // the block's resource fork is announced next
    bool resource_ = false;      // the announced member is the resource fork
    uint32_t error_ = 0;
};

bool LooksLikeBinHex(const unsigned char* head, size_t count);


}  // namespace refengine
