#include "codecs/lzma/lzma2_decoder.h"

namespace refengine {
namespace lzma {

namespace {

// The largest lc + lp LZMA2 allows, so the literal coders are sized once.
constexpr uint32_t kMaxLiteralBits = 4;

}  // namespace

bool Lzma2DictionarySize(unsigned char byte, uint32_t* size) {
    if (byte > 40) return false;
    *size = byte == 40 ? 0xFFFFFFFFu : (2u | (byte & 1u)) << (byte / 2 + 11);
    return true;
}

Lzma2Decoder::Lzma2Decoder(uint64_t memoryLimit, uint32_t dictionarySize)
    : lzma_(memoryLimit), dictionarySize_(dictionarySize) {}

void Lzma2Decoder::Restart(uint32_t dictionarySize) {
    dictionarySize_ = dictionarySize;
    configured_ = false;
    phase_ = Phase::Control;
    needDictionaryReset_ = true;
    needProperties_ = true;
    failure_ = CodecStatus::More;
}

CodecStatus Lzma2Decoder::Header(unsigned char byte) {
    switch (phase_) {
        case Phase::Control:
            control_ = byte;
            if (byte == 0x00) {
                phase_ = Phase::End;
                return CodecStatus::More;
            }
            if (byte >= 0xE0 || byte == 0x01) {
                needProperties_ = true;
                needDictionaryReset_ = false;
                lzma_.ResetWindow();
            } else if (needDictionaryReset_) {
                return CodecStatus::Damaged;
            }
            if (byte >= 0x80) {
                if (byte >= 0xC0) {
                    needProperties_ = false;
                } else if (needProperties_) {
                    return CodecStatus::Damaged;
                } else if (byte >= 0xA0) {
                    lzma_.ResetState();
                }
                unpacked_ = static_cast<uint32_t>(byte & 0x1F) << 16;
            } else if (byte > 0x02) {
                return CodecStatus::Damaged;
            } else {
                unpacked_ = 0;
            }
            phase_ = Phase::Unpacked1;
            return CodecStatus::More;
        case Phase::Unpacked1:
            unpacked_ |= static_cast<uint32_t>(byte) << 8;
            phase_ = Phase::Unpacked2;
            return CodecStatus::More;
        case Phase::Unpacked2:
            unpacked_ = (unpacked_ | byte) + 1;
            phase_ = control_ >= 0x80 ? Phase::Packed1 : Phase::Stored;
            return CodecStatus::More;
        case Phase::Packed1:
            packed_ = static_cast<uint32_t>(byte) << 8;
            phase_ = Phase::Packed2;
            return CodecStatus::More;
        case Phase::Packed2:
            packed_ = (packed_ | byte) + 1;
            if (control_ >= 0xC0) {
                phase_ = Phase::Properties;
            } else {
                phase_ = Phase::Lzma;
                lzma_.StartRun(unpacked_, false);
            }
            return CodecStatus::More;
        case Phase::Properties: {
            LzmaProperties props;
            if (!DecodeProperties(byte, &props) || props.lc + props.lp > kMaxLiteralBits) return CodecStatus::Damaged;
            if (!lzma_.SetProperties(props)) return CodecStatus::TooLarge;
            phase_ = Phase::Lzma;
            lzma_.StartRun(unpacked_, false);
            return CodecStatus::More;
        }
        default:
            return CodecStatus::Damaged;
    }
}

CodecStatus Lzma2Decoder::Feed(const unsigned char* in, size_t count, size_t* used, ByteSink& out) {
    *used = 0;
    if (failure_ != CodecStatus::More) return failure_;
    if (!configured_) {
        LzmaProperties widest;
        widest.lc = kMaxLiteralBits;
        widest.lp = 0;
        if (!lzma_.Configure(dictionarySize_, widest)) return Fail(CodecStatus::TooLarge);
        configured_ = true;
    }
    while (phase_ != Phase::End) {
        size_t avail = count - *used;
        if (phase_ == Phase::Lzma) {
            size_t n = avail < packed_ ? avail : packed_;
            bool last = avail >= packed_;
            size_t taken = 0;
            LzmaResult result = lzma_.Decode(in + *used, n, last, &taken, out);
            *used += taken;
            packed_ -= static_cast<uint32_t>(taken);
            switch (result) {
                case LzmaResult::NeedInput:
                    return CodecStatus::More;
                case LzmaResult::Done:
                    // The chunk's coded size must be exactly what its symbols took.
                    if (packed_ != 0 || lzma_.bufferedInput() != 0) return Fail(CodecStatus::Damaged);
                    phase_ = Phase::Control;
                    continue;
                case LzmaResult::Stopped:
                    return Fail(CodecStatus::Stopped);
                case LzmaResult::TooLarge:
                    return Fail(CodecStatus::TooLarge);
                default:
                    return Fail(CodecStatus::Damaged);
            }
        }
        if (avail == 0) return CodecStatus::More;
        if (phase_ == Phase::Stored) {
            size_t n = avail < unpacked_ ? avail : unpacked_;
            *used += n;
            unpacked_ -= static_cast<uint32_t>(n);
            if (unpacked_ == 0) phase_ = Phase::Control;
            if (!lzma_.AppendStored(in + *used - n, n, out)) {
                return Fail(lzma_.outOfMemory() ? CodecStatus::TooLarge : CodecStatus::Stopped);
            }
            continue;
        }
        CodecStatus status = Header(in[(*used)++]);
        if (status != CodecStatus::More) return Fail(status);
    }
    failure_ = CodecStatus::End;
    return CodecStatus::End;
}

CodecStatus Lzma2Decoder::Finish(ByteSink&) {
    if (failure_ != CodecStatus::More) return failure_;
    return phase_ == Phase::End ? CodecStatus::End : CodecStatus::Truncated;
}

}  // namespace lzma
}  // namespace refengine
