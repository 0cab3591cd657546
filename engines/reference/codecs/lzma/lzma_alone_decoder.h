// The .lzma format: a 13-byte header (properties, dictionary size, and the
// decoded size or all ones for "up to the end marker") and one LZMA run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/codec.h"
#include "codecs/lzma/lzma_decoder.h"

namespace refengine {

class LzmaAloneDecoder : public StreamDecoder {
public:
    explicit LzmaAloneDecoder(uint64_t memoryLimit);

    CodecStatus Feed(const unsigned char* in, size_t count, size_t* used, ByteSink& out) override;
    CodecStatus Finish(ByteSink& out) override;
    bool checksumMismatch() const override { return false; }

private:
    static constexpr uint32_t kHeaderSize = 13;

    struct Header {
        lzma::LzmaProperties props;
        uint32_t dictionarySize = 0;
        uint64_t size = lzma::LzmaDecoder::kUnknownSize;
    };
    static bool ParseHeader(const unsigned char* bytes, Header* out);
    CodecStatus Start();
    CodecStatus Map(lzma::LzmaResult result);

    lzma::LzmaDecoder lzma_;
    unsigned char header_[kHeaderSize];
    uint32_t headerLength_ = 0;
    CodecStatus failure_ = CodecStatus::More;
};

}  // namespace refengine
