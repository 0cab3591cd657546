// Our inflater as plain Deflate against zlib's raw inflate on every input:
// the same answer and the same bytes. The same input goes through the
// Deflate64 form as well, which has no reference here but must agree with
// itself fed in pieces.
#include <cstdint>

#include "codec_fuzz.h"
#include "codecs/inflate/inflate_decoder.h"
#include "reference_codecs.h"

namespace {
constexpr size_t kMaxOutput = 1u << 20;
constexpr size_t kMemory = 1u << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace codecfuzz;
    using refengine::CodecStatus;
    using refengine::InflateDecoder;
    using refengine::InflateFormat;
    std::string input(reinterpret_cast<const char*>(data), size);
    codectest::ReferenceDecoded reference = codectest::InflateReference(input, kMaxOutput);

    InflateDecoder whole(InflateFormat::Deflate, kMemory);
    codectest::Decoded ours = codectest::DecodeInPieces(whole, input, 0, kMaxOutput);
    InflateDecoder split(InflateFormat::Deflate, kMemory);
    RequireSameInPieces(ours, codectest::DecodeInPieces(split, input, 1 + size % 11, kMaxOutput));

    using codectest::ReferenceEnd;
    if (reference.end == ReferenceEnd::Capped || ours.status == CodecStatus::Stopped) {
        Require(reference.end == ReferenceEnd::Capped && ours.status == CodecStatus::Stopped, "one ran past the cap");
        Require(SamePrefix(ours.output, reference.output), "other bytes than zlib");
    } else {
        Require((ours.status == CodecStatus::End) == (reference.end == ReferenceEnd::End), "zlib ends, we do not");
        // zlib reads on through a block whose code-length code has no codes
        // and fails at its end; we fail at once. So zlib may want more where
        // we already know the stream is damaged, never the other way round.
        if (ours.status == CodecStatus::Truncated) {
            Require(reference.end == ReferenceEnd::Truncated, "we want more, zlib does not");
        }
        if (reference.end == ReferenceEnd::Truncated) {
            Require(ours.status == CodecStatus::Truncated || ours.status == CodecStatus::Damaged,
                    "zlib wants more, we do not");
        }
        Require(ours.output == reference.output, "other bytes than zlib");
        if (ours.status == CodecStatus::End) Require(ours.used == reference.used, "another end than zlib's");
    }

    InflateDecoder whole64(InflateFormat::Deflate64, kMemory);
    codectest::Decoded ours64 = codectest::DecodeInPieces(whole64, input, 0, kMaxOutput);
    InflateDecoder split64(InflateFormat::Deflate64, kMemory);
    RequireSameInPieces(ours64, codectest::DecodeInPieces(split64, input, 1 + size % 5, kMaxOutput));
    return 0;
}
