// The .xz decoder against liblzma on every input: what one decodes whole,
// the other must decode whole to the same bytes.
#include "codec_compare.h"
#include "codecs/xz/xz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    refengine::XzDecoder decoder(fuzz::kMemoryLimit);
    fuzz::Ours ours = fuzz::DecodeOurs(decoder, data, size);
    oracle::Result theirs = oracle::XzDecode(std::string(reinterpret_cast<const char*>(data), size), fuzz::kOutputLimit,
                                             fuzz::kMemoryLimit);
    fuzz::Compare(ours, theirs, false);
    return 0;
}
