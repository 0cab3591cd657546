// A bzip2 decoder: stream header, blocks, end-of-stream record and CRCs,
// and further streams that follow the first one, as "bzip2 -d" reads a
// file. Blocks in the long obsolete randomised form are Unsupported.
// Input may arrive in pieces of any size; the heap used (the block of up
// to 900 000 links and the output chunk) is checked against the limit
// before it is allocated.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/bit_reader.h"
#include "codecs/codec.h"
#include "bzip2_block.h"
#include "bzip2_symbols.h"
#include "bzip2_tables.h"

namespace refengine {

class Bzip2Decoder : public StreamDecoder {
public:
    explicit Bzip2Decoder(size_t memoryLimit) : memoryLimit_(memoryLimit) {}
    Bzip2Decoder(const Bzip2Decoder&) = delete;
    Bzip2Decoder& operator=(const Bzip2Decoder&) = delete;

    CodecStatus Feed(const unsigned char* in, size_t count, size_t* used, ByteSink& out) override;
    CodecStatus Finish(ByteSink& out) override;
    bool checksumMismatch() const override { return checksumMismatch_; }

    // The heap a stream of block size level (1 to 9) needs.
    static size_t MemoryFor(unsigned level) { return Bzip2Block::MemoryFor(level); }

private:
    enum class Item { StreamMagic, BlockMagic, BlockCrc, BlockOrigin, Tables, Symbols, StreamCrc, Over };
    CodecStatus Run(ByteSink& out, bool finishing);
    // One item; Done moves on to the next, anything else ends the run.
    ParseStep Next(ByteSink& out, CodecStatus* stop);
    ParseStep StreamMagic(CodecStatus* stop);
    ParseStep EndBlock(ByteSink& out, CodecStatus* stop);
    CodecStatus Fail(CodecStatus status);

    size_t memoryLimit_;
    MsbBitReader bits_;
    Item item_ = Item::StreamMagic;
    CodecStatus final_ = CodecStatus::More;
    bool checksumMismatch_ = false;
    unsigned streams_ = 0;    // streams completed
    unsigned magicHave_ = 0;  // bytes of the next stream's header matched
    size_t magicStart_ = 0;   // where in this input that header began
    unsigned level_ = 0;
    uint32_t blockCrc_ = 0;
    uint32_t origin_ = 0;
    uint32_t streamCrc_ = 0;
    Bzip2Tables tables_;
    Bzip2Symbols symbols_;
    Bzip2Block block_;
};

}  // namespace refengine
