// LZMA2: a chain of chunks, each stored or LZMA-coded, over one window.
// Chunks may reset the dictionary, the state, or the properties; the
// chain ends with a zero control byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/codec.h"
#include "codecs/lzma/lzma_decoder.h"

namespace refengine {
namespace lzma {

// The dictionary size one LZMA2 properties byte gives; false for the
// values no encoder may write (above 40).
bool Lzma2DictionarySize(unsigned char byte, uint32_t* size);

class Lzma2Decoder : public StreamDecoder {
public:
    // The window is allocated on the first Feed, within memoryLimit.
    Lzma2Decoder(uint64_t memoryLimit, uint32_t dictionarySize);

    // Starts over for a new LZMA2 stream, keeping the window where it is
    // big enough.
    void Restart(uint32_t dictionarySize);

    CodecStatus Feed(const unsigned char* in, size_t count, size_t* used, ByteSink& out) override;
    CodecStatus Finish(ByteSink& out) override;
    bool checksumMismatch() const override { return false; }

private:
    enum class Phase { Control, Unpacked1, Unpacked2, Packed1, Packed2, Properties, Lzma, Stored, End };

    // One header byte of a chunk; a failure or More.
    CodecStatus Header(unsigned char byte);
    CodecStatus Fail(CodecStatus status) {
        failure_ = status;
        return status;
    }

    LzmaDecoder lzma_;
    uint32_t dictionarySize_;
    bool configured_ = false;
    Phase phase_ = Phase::Control;
    unsigned char control_ = 0;
    uint32_t unpacked_ = 0;  // bytes the chunk decodes to (left, while stored)
    uint32_t packed_ = 0;    // coded bytes of the chunk left
    bool needDictionaryReset_ = true;
    bool needProperties_ = true;
    CodecStatus failure_ = CodecStatus::More;
};

}  // namespace lzma
}  // namespace refengine
