#include "bzip2_decoder.h"

#include "bzip2_crc.h"

namespace refengine {

namespace {
constexpr uint64_t kBlockMagic = 0x314159265359ull;      // the digits of pi
constexpr uint64_t kStreamEndMagic = 0x177245385090ull;  // and of the square root of pi
}  // namespace

CodecStatus Bzip2Decoder::Feed(const unsigned char* in, size_t count, size_t* used, ByteSink& out) {
    *used = 0;
    if (item_ == Item::Over) return final_;
    bits_.Attach(in, count);
    CodecStatus status = Run(out, false);
    *used = status == CodecStatus::More ? count : bits_.consumed();
    bits_.Attach(nullptr, 0);
    return status;
}

CodecStatus Bzip2Decoder::Finish(ByteSink& out) {
    if (item_ == Item::Over) return final_;
    bits_.Attach(nullptr, 0);
    return Run(out, true);
}

CodecStatus Bzip2Decoder::Fail(CodecStatus status) {
    item_ = Item::Over;
    final_ = status;
    return status;
}

CodecStatus Bzip2Decoder::Run(ByteSink& out, bool finishing) {
    if (item_ == Item::StreamMagic) magicStart_ = 0;
    for (;;) {
        CodecStatus stop = CodecStatus::More;
        ParseStep step = Next(out, &stop);
        switch (step) {
            case ParseStep::Done:
                if (item_ == Item::Over) return final_;
                continue;
            case ParseStep::NeedInput:
                if (!finishing) return CodecStatus::More;
                // Less than a header after a stream is not another stream.
                if (item_ == Item::StreamMagic && streams_ > 0) return Fail(CodecStatus::End);
                return Fail(CodecStatus::Truncated);
            case ParseStep::Damaged:
                return Fail(stop == CodecStatus::More ? CodecStatus::Damaged : stop);
            case ParseStep::Unsupported:
                return Fail(CodecStatus::Unsupported);
        }
    }
}

ParseStep Bzip2Decoder::Next(ByteSink& out, CodecStatus* stop) {
    switch (item_) {
        case Item::StreamMagic:
            return StreamMagic(stop);
        case Item::BlockMagic: {
            if (!bits_.Have(48)) return ParseStep::NeedInput;
            uint64_t magic = uint64_t(bits_.Take(24)) << 24;
            magic |= bits_.Take(24);
            if (magic == kBlockMagic) {
                item_ = Item::BlockCrc;
            } else if (magic == kStreamEndMagic) {
                item_ = Item::StreamCrc;
            } else {
                return ParseStep::Damaged;
            }
            return ParseStep::Done;
        }
        case Item::BlockCrc:
            if (!bits_.Have(32)) return ParseStep::NeedInput;
            blockCrc_ = bits_.Take(32);
            item_ = Item::BlockOrigin;
            return ParseStep::Done;
        case Item::BlockOrigin:
            if (!bits_.Have(25)) return ParseStep::NeedInput;
            if (bits_.Take(1)) return ParseStep::Unsupported;  // randomised
            origin_ = bits_.Take(24);
            if (origin_ >= level_ * Bzip2Block::kLevelBytes) return ParseStep::Damaged;
            tables_.Reset();
            item_ = Item::Tables;
            return ParseStep::Done;
        case Item::Tables: {
            ParseStep step = tables_.Parse(bits_);
            if (step != ParseStep::Done) return step;
            symbols_.Start(tables_, block_.column(), level_ * Bzip2Block::kLevelBytes);
            item_ = Item::Symbols;
            return ParseStep::Done;
        }
        case Item::Symbols: {
            ParseStep step = symbols_.Decode(bits_);
            if (step != ParseStep::Done) return step;
            return EndBlock(out, stop);
        }
        case Item::StreamCrc:
            if (!bits_.Have(32)) return ParseStep::NeedInput;
            if (bits_.Take(32) != streamCrc_) checksumMismatch_ = true;
            // The next stream, if any, starts on a byte.
            bits_.AlignToByte();
            ++streams_;
            magicHave_ = 0;
            magicStart_ = bits_.position();
            item_ = Item::StreamMagic;
            return ParseStep::Done;
        case Item::Over:
            return ParseStep::Done;
    }
    return ParseStep::Damaged;
}

ParseStep Bzip2Decoder::StreamMagic(CodecStatus* stop) {
    static const unsigned char kMagic[3] = {'B', 'Z', 'h'};
    while (magicHave_ < 4) {
        if (!bits_.Have(8)) return ParseStep::NeedInput;
        unsigned byte = bits_.Take(8);
        bool fits = magicHave_ < 3 ? byte == kMagic[magicHave_] : byte >= '1' && byte <= '9';
        if (!fits) {
            if (streams_ == 0) return ParseStep::Damaged;
            // Not another stream: what follows the last one is not ours.
            bits_.RewindTo(magicStart_);
            item_ = Item::Over;
            final_ = CodecStatus::End;
            return ParseStep::Done;
        }
        if (magicHave_ == 3) level_ = byte - '0';
        ++magicHave_;
    }
    if (Bzip2Block::MemoryFor(level_) > memoryLimit_ || !block_.Reserve(level_)) {
        *stop = CodecStatus::TooLarge;
        return ParseStep::Damaged;
    }
    streamCrc_ = 0;
    item_ = Item::BlockMagic;
    return ParseStep::Done;
}

ParseStep Bzip2Decoder::EndBlock(ByteSink& out, CodecStatus* stop) {
    if (origin_ >= symbols_.length()) return ParseStep::Damaged;
    uint32_t crc = 0;
    switch (block_.Emit(symbols_.length(), origin_, symbols_.counts(), out, &crc)) {
        case Bzip2Block::Result::Done:
            break;
        case Bzip2Block::Result::Stopped:
            *stop = CodecStatus::Stopped;
            return ParseStep::Damaged;
        case Bzip2Block::Result::Damaged:
            return ParseStep::Damaged;
    }
    // A wrong CRC is reported, and the stream read on: its bytes were handed on already.
    if (crc != blockCrc_) checksumMismatch_ = true;
    streamCrc_ = Bzip2CombineCrc(streamCrc_, crc);
    item_ = Item::BlockMagic;
    return ParseStep::Done;
}

}  // namespace refengine
