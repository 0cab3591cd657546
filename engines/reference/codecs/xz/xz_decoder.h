// The .xz container: streams of blocks, each block LZMA2 behind at most
// three simple filters, with an index and a footer that repeat what the
// blocks were. Damage anywhere in the framing is reported; a check that
// does not match is only noted, and the bytes are delivered regardless.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/codec.h"
#include "codecs/lzma/lzma2_decoder.h"
#include "codecs/xz/xz_block.h"
#include "codecs/xz/xz_index.h"
#include "codecs/xz/xz_records.h"

namespace refengine {

class XzDecoder : public StreamDecoder {
public:
    // concatenated: streams may follow one another with zero padding
    // between them, as in a .xz file; otherwise End comes with the first
    // stream's footer and what follows is not taken.
    explicit XzDecoder(uint64_t memoryLimit, bool concatenated = true);

    CodecStatus Feed(const unsigned char* in, size_t count, size_t* used, ByteSink& out) override;
    CodecStatus Finish(ByteSink& out) override;
    bool checksumMismatch() const override { return mismatch_; }

private:
    enum class Phase {
        StreamHeader,
        BlockStart,
        BlockHeader,
        BlockData,
        BlockPadding,
        BlockCheck,
        Index,
        StreamFooter,
        StreamPadding,
    };

    // Gathers a fixed-size record into record_; true once it is whole.
    bool Gather(const unsigned char* in, size_t count, size_t* used);
    void Expect(Phase phase, uint32_t bytes);
    CodecStatus StartBlock();
    CodecStatus BlockData(const unsigned char* in, size_t count, size_t* used, ByteSink& out);
    CodecStatus EndBlock();
    CodecStatus EndStream();
    CodecStatus Fail(CodecStatus status) {
        failure_ = status;
        return status;
    }
    static CodecStatus FromParse(xz::ParseResult result) {
        return result == xz::ParseResult::Unsupported ? CodecStatus::Unsupported : CodecStatus::Damaged;
    }

    bool concatenated_;
    Phase phase_ = Phase::StreamHeader;
    unsigned char record_[1024];
    uint32_t recordLength_ = 0;
    uint32_t recordSize_ = xz::kStreamHeaderSize;

    xz::StreamHeader stream_;
    xz::BlockRecords blocks_;
    xz::IndexParser index_;
    xz::BlockHeader block_;
    xz::BlockOutput output_;
    xz::FilterChain chain_;
    lzma::Lzma2Decoder lzma2_;
    uint64_t blockCompressed_ = 0;
    uint32_t paddingLeft_ = 0;
    uint64_t streamPadding_ = 0;
    bool mismatch_ = false;
    CodecStatus failure_ = CodecStatus::More;
};

}  // namespace refengine
