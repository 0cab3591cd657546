// Drives a stream decoder over an input cut into pieces of a given size,
// the way a format reader hands it what it reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "codec_test_support.h"
#include "codecs/codec.h"

namespace codec_test {

// Collects what a decoder hands on; refuses bytes past limit.
class CollectSink : public refengine::ByteSink {
public:
    explicit CollectSink(size_t limit = SIZE_MAX) : limit_(limit) {}
    bool Take(const unsigned char* bytes, uint32_t count) override;

    std::string bytes;
    size_t largestChunk = 0;
    bool refused = false;

private:
    size_t limit_;
};

struct Decoded {
    refengine::CodecStatus status = refengine::CodecStatus::More;
    std::string bytes;
    bool mismatch = false;
    size_t taken = 0;  // input bytes the decoder took before it answered
    size_t largestChunk = 0;
    bool lostInput = false;  // a More that did not take all it was given
};

// piece: bytes per Feed (SIZE_MAX: all at once). Finish follows when all
// input was taken and the decoder still wants more.
Decoded DecodeInPieces(refengine::StreamDecoder& decoder, const std::string& input, size_t piece,
                       size_t sinkLimit = SIZE_MAX);

using DecoderFactory = std::function<std::unique_ptr<refengine::StreamDecoder>()>;

// The piece sizes every differential case is fed in.
constexpr size_t kPieceSizes[] = {1, 7, 4096, SIZE_MAX};

// Decodes input in every piece size; each must end with End, exactly
// expected and no checksum noted. Failures name the piece size.
void ExpectDecodesTo(const DecoderFactory& make, const std::string& input, const std::string& expected);

using codectest::StatusName;

}  // namespace codec_test
