// Our bzip2 decoder against libbz2 on every input: a stream libbz2 reads
// to its end must come out the same, one we pass as good must be good to
// libbz2 too, and before either stops the bytes agree.
#include <cstdint>

#include "codecs/bzip2/bzip2_decoder.h"
#include "codec_fuzz.h"
#include "reference_codecs.h"

namespace {
constexpr size_t kMaxOutput = 1u << 20;
constexpr size_t kMemory = 8u << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace codecfuzz;
    using refengine::CodecStatus;
    std::string input(reinterpret_cast<const char*>(data), size);
    codectest::ReferenceDecoded reference = codectest::Bzip2Reference(input, kMaxOutput);

    refengine::Bzip2Decoder whole(kMemory);
    codectest::Decoded ours = codectest::DecodeInPieces(whole, input, 0, kMaxOutput);
    refengine::Bzip2Decoder split(kMemory);
    RequireSameInPieces(ours, codectest::DecodeInPieces(split, input, 1 + size % 11, kMaxOutput));

    Require(SamePrefix(ours.output, reference.output), "other bytes than libbz2");
    bool oursGood = ours.status == CodecStatus::End && !ours.checksumMismatch;
    if (reference.end == codectest::ReferenceEnd::End) {
        // Randomised blocks, which libbz2 still reads, are all we refuse.
        Require(oursGood || ours.status == CodecStatus::Unsupported, "libbz2 read it to the end, we did not");
        if (oursGood) Require(ours.output == reference.output, "other bytes than libbz2");
    }
    if (oursGood) Require(reference.end == codectest::ReferenceEnd::End, "we passed a stream libbz2 refuses");
    if (ours.status == CodecStatus::End && ours.checksumMismatch) {
        Require(reference.end != codectest::ReferenceEnd::End, "a checksum mismatch libbz2 did not see");
    }
    return 0;
}
