// The .lzma decoder against liblzma on every input. liblzma refuses
// headers with lc + lp above 4, which the format allows and we decode.
#include "codec_compare.h"
#include "codecs/lzma/lzma_alone_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    refengine::LzmaAloneDecoder decoder(fuzz::kMemoryLimit);
    fuzz::Ours ours = fuzz::DecodeOurs(decoder, data, size);
    oracle::Result theirs = oracle::LzmaAloneDecode(std::string(reinterpret_cast<const char*>(data), size),
                                                    fuzz::kOutputLimit, fuzz::kMemoryLimit);
    bool wideLiterals = size > 0 && data[0] < 225 && data[0] % 9 + data[0] / 9 % 5 > 4;
    fuzz::Compare(ours, theirs, wideLiterals);
    return 0;
}
