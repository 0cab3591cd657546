// What the codec tests share: input fed in pieces of several sizes, output
// collected (or only counted) by a sink that may refuse after a limit, and
// the test data every decoder is tried on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codecs/codec.h"

namespace codectest {

// Whole input (0) and pieces small enough to split every item of a stream.
extern const size_t kPieceSizes[4];

class CollectSink : public refengine::ByteSink {
public:
    // Refuses bytes once more than limit would have been taken.
    explicit CollectSink(uint64_t limit = UINT64_MAX, bool keep = true) : limit_(limit), keep_(keep) {}
    bool Take(const unsigned char* bytes, uint32_t count) override;

    std::string bytes;
    uint64_t total = 0;
    uint32_t largestPiece = 0;

private:
    uint64_t limit_;
    bool keep_;
};

struct Decoded {
    refengine::CodecStatus status;
    std::string output;
    size_t used = 0;  // input the decoder took, over all pieces
    bool checksumMismatch = false;
    uint32_t largestPiece = 0;
    // More without taking all of a piece, more taken than given, or More from Finish.
    bool brokeContract = false;
};

// Feeds input piece by piece (piece 0: all at once) while the decoder asks
// for more, then calls Finish. The sink refuses output past maxOutput.
Decoded DecodeInPieces(refengine::StreamDecoder& decoder, const std::string& input, size_t piece,
                       uint64_t maxOutput = UINT64_MAX);

// Deterministic bytes, so a failure repeats.
std::string RandomBytes(size_t count, uint32_t seed);
// Words from a small vocabulary: compressible like text.
std::string TextLike(size_t count, uint32_t seed);

struct Sample {
    std::string name;
    std::string data;
};
// Empty, one byte, all byte values, repetitive, incompressible, runs of
// every length to 300 between other bytes, and a mixture larger than
// one 100 kB block.
std::vector<Sample> StandardSamples();

const char* StatusName(refengine::CodecStatus status);

}  // namespace codectest
