#include "codecs/lzma/lzma_alone_decoder.h"

#include <cstring>

namespace refengine {

LzmaAloneDecoder::LzmaAloneDecoder(uint64_t memoryLimit) : lzma_(memoryLimit) {}

bool LzmaAloneDecoder::ParseHeader(const unsigned char* bytes, Header* out) {
    if (!lzma::DecodeProperties(bytes[0], &out->props)) return false;
    out->dictionarySize = 0;
    for (int i = 4; i >= 1; --i) out->dictionarySize = (out->dictionarySize << 8) | bytes[i];
    out->size = 0;
    for (int i = 12; i >= 5; --i) out->size = (out->size << 8) | bytes[i];
    return true;
}

CodecStatus LzmaAloneDecoder::Start() {
    Header header;
    if (!ParseHeader(header_, &header)) return CodecStatus::Damaged;
    // Encoders write sizes of the form 2^n or 2^n + 2^(n-1); others are
    // read as the next size of that form above them, as liblzma does.
    uint32_t window = header.dictionarySize;
    if (window > 0 && window < 0xC0000000u) {
        uint32_t d = window - 1;
        d |= d >> 2;
        d |= d >> 3;
        d |= d >> 4;
        d |= d >> 8;
        d |= d >> 16;
        window = d + 1;
    }
    // A stream of known size never looks further back than its own bytes.
    if (header.size < window) window = static_cast<uint32_t>(header.size);
    if (!lzma_.Configure(window, header.props)) return CodecStatus::TooLarge;
    // Encoders that know the size may still close with the end marker.
    lzma_.StartRun(header.size, true);
    return CodecStatus::More;
}

CodecStatus LzmaAloneDecoder::Map(lzma::LzmaResult result) {
    switch (result) {
        case lzma::LzmaResult::NeedInput:
            return CodecStatus::More;
        case lzma::LzmaResult::Done:
            return failure_ = CodecStatus::End;
        case lzma::LzmaResult::Stopped:
            return failure_ = CodecStatus::Stopped;
        case lzma::LzmaResult::TooLarge:
            return failure_ = CodecStatus::TooLarge;
        case lzma::LzmaResult::Truncated:
            return failure_ = CodecStatus::Truncated;
        default:
            return failure_ = CodecStatus::Damaged;
    }
}

CodecStatus LzmaAloneDecoder::Feed(const unsigned char* in, size_t count, size_t* used, ByteSink& out) {
    *used = 0;
    if (failure_ != CodecStatus::More) return failure_;
    if (headerLength_ < kHeaderSize) {
        size_t n = kHeaderSize - headerLength_;
        if (n > count) n = count;
        if (n > 0) std::memcpy(header_ + headerLength_, in, n);
        headerLength_ += static_cast<uint32_t>(n);
        *used = n;
        if (headerLength_ < kHeaderSize) return CodecStatus::More;
        CodecStatus status = Start();
        if (status != CodecStatus::More) return failure_ = status;
    }
    size_t taken = 0;
    CodecStatus status = Map(lzma_.Decode(in + *used, count - *used, false, &taken, out));
    *used += taken;
    return status;
}

CodecStatus LzmaAloneDecoder::Finish(ByteSink& out) {
    if (failure_ != CodecStatus::More) return failure_;
    if (headerLength_ < kHeaderSize) return failure_ = CodecStatus::Truncated;
    size_t taken = 0;
    CodecStatus status = Map(lzma_.Decode(nullptr, 0, true, &taken, out));
    return status == CodecStatus::More ? (failure_ = CodecStatus::Truncated) : status;
}

}  // namespace refengine
