#include "codecs/xz/xz_decoder.h"

#include <cstring>

namespace refengine {

XzDecoder::XzDecoder(uint64_t memoryLimit, bool concatenated)
    : concatenated_(concatenated), output_(0), lzma2_(memoryLimit, 0) {}

void XzDecoder::Expect(Phase phase, uint32_t bytes) {
    phase_ = phase;
    recordLength_ = 0;
    recordSize_ = bytes;
}

bool XzDecoder::Gather(const unsigned char* in, size_t count, size_t* used) {
    size_t n = recordSize_ - recordLength_;
    if (n > count - *used) n = count - *used;
    std::memcpy(record_ + recordLength_, in + *used, n);
    recordLength_ += static_cast<uint32_t>(n);
    *used += n;
    return recordLength_ == recordSize_;
}

CodecStatus XzDecoder::StartBlock() {
    xz::ParseResult parsed = xz::ParseBlockHeader(record_, recordSize_, &block_);
    if (parsed != xz::ParseResult::Ok) return FromParse(parsed);
    uint32_t dictionary = 0;
    parsed = chain_.Build(block_, output_, &dictionary);
    if (parsed != xz::ParseResult::Ok) return FromParse(parsed);
    // A block that says how long it is never looks back further than that.
    if (block_.uncompressedSize < dictionary) dictionary = static_cast<uint32_t>(block_.uncompressedSize);
    lzma2_.Restart(dictionary);
    output_.Begin(stream_.checkType, block_.uncompressedSize);
    blockCompressed_ = 0;
    phase_ = Phase::BlockData;
    return CodecStatus::More;
}

CodecStatus XzDecoder::BlockData(const unsigned char* in, size_t count, size_t* used, ByteSink& out) {
    size_t avail = count - *used;
    if (block_.compressedSize != xz::kUnknownSize && avail > block_.compressedSize - blockCompressed_) {
        avail = static_cast<size_t>(block_.compressedSize - blockCompressed_);
    }
    output_.SetSink(&out);
    size_t taken = 0;
    CodecStatus status = lzma2_.Feed(in + *used, avail, &taken, chain_.input());
    *used += taken;
    blockCompressed_ += taken;
    switch (status) {
        case CodecStatus::More:
            // The declared compressed size is used up and the data goes on.
            if (blockCompressed_ == block_.compressedSize) return CodecStatus::Damaged;
            return CodecStatus::More;
        case CodecStatus::End:
            if (!chain_.Finish()) return output_.overran() ? CodecStatus::Damaged : CodecStatus::Stopped;
            return EndBlock();
        case CodecStatus::Stopped:
            return output_.overran() ? CodecStatus::Damaged : CodecStatus::Stopped;
        default:
            return status;
    }
}

CodecStatus XzDecoder::EndBlock() {
    if (block_.compressedSize != xz::kUnknownSize && block_.compressedSize != blockCompressed_) {
        return CodecStatus::Damaged;
    }
    if (block_.uncompressedSize != xz::kUnknownSize && block_.uncompressedSize != output_.produced()) {
        return CodecStatus::Damaged;
    }
    if (blockCompressed_ > xz::kMaxValue - block_.size - XzCheck::kMaxSize) return CodecStatus::Damaged;
    block_.compressedSize = blockCompressed_;
    block_.uncompressedSize = output_.produced();
    paddingLeft_ = static_cast<uint32_t>((4 - (block_.size + blockCompressed_) % 4) % 4);
    phase_ = Phase::BlockPadding;
    return CodecStatus::More;
}

CodecStatus XzDecoder::EndStream() {
    xz::StreamFooter footer;
    xz::ParseResult parsed = xz::ParseStreamFooter(record_, &footer);
    if (parsed != xz::ParseResult::Ok) return FromParse(parsed);
    if (footer.checkType != stream_.checkType || footer.indexSize != index_.size()) return CodecStatus::Damaged;
    if (!concatenated_) return CodecStatus::End;
    phase_ = Phase::StreamPadding;
    streamPadding_ = 0;
    return CodecStatus::More;
}

CodecStatus XzDecoder::Feed(const unsigned char* in, size_t count, size_t* used, ByteSink& out) {
    *used = 0;
    if (failure_ != CodecStatus::More) return failure_;
    while (*used < count) {
        CodecStatus status = CodecStatus::More;
        switch (phase_) {
            case Phase::StreamHeader:
                // Garbage after a stream shows at its first byte, not twelve later.
                if (recordLength_ < xz::kHeaderMagicSize && in[*used] != xz::kHeaderMagic[recordLength_]) {
                    return Fail(CodecStatus::Damaged);
                }
                if (!Gather(in, count, used)) break;
                {
                    xz::ParseResult parsed = xz::ParseStreamHeader(record_, &stream_);
                    if (parsed != xz::ParseResult::Ok) return Fail(FromParse(parsed));
                }
                blocks_ = xz::BlockRecords();
                index_ = xz::IndexParser();
                phase_ = Phase::BlockStart;
                break;
            case Phase::BlockStart:
                // A zero here is the index indicator; the index parser takes it.
                if (in[*used] == 0) {
                    phase_ = Phase::Index;
                } else {
                    Expect(Phase::BlockHeader, xz::BlockHeaderSize(in[*used]));
                }
                break;
            case Phase::BlockHeader:
                if (Gather(in, count, used)) status = StartBlock();
                break;
            case Phase::BlockData:
                status = BlockData(in, count, used, out);
                break;
            case Phase::BlockPadding:
                if (paddingLeft_ == 0) {
                    Expect(Phase::BlockCheck, XzCheck::SizeOf(stream_.checkType));
                    break;
                }
                if (in[(*used)++] != 0) return Fail(CodecStatus::Damaged);
                --paddingLeft_;
                break;
            case Phase::BlockCheck:
                if (recordSize_ > 0 && !Gather(in, count, used)) break;
                if (!output_.check().Matches(record_)) mismatch_ = true;
                blocks_.Add(block_.size + block_.compressedSize + recordSize_, block_.uncompressedSize);
                phase_ = Phase::BlockStart;
                break;
            case Phase::Index: {
                size_t taken = 0;
                xz::IndexParser::Step step = index_.Feed(in + *used, count - *used, &taken);
                *used += taken;
                if (step == xz::IndexParser::Step::Damaged) return Fail(CodecStatus::Damaged);
                if (step == xz::IndexParser::Step::Done) {
                    if (!blocks_.SameAs(index_.records())) return Fail(CodecStatus::Damaged);
                    Expect(Phase::StreamFooter, xz::kStreamFooterSize);
                }
                break;
            }
            case Phase::StreamFooter:
                if (Gather(in, count, used)) status = EndStream();
                break;
            case Phase::StreamPadding:
                if (in[*used] == 0) {
                    ++*used;
                    ++streamPadding_;
                } else if (streamPadding_ % 4 != 0) {
                    return Fail(CodecStatus::Damaged);
                } else {
                    Expect(Phase::StreamHeader, xz::kStreamHeaderSize);
                }
                break;
        }
        if (status != CodecStatus::More) return Fail(status);
    }
    return CodecStatus::More;
}

CodecStatus XzDecoder::Finish(ByteSink&) {
    if (failure_ != CodecStatus::More) return failure_;
    // Stream padding comes in whole groups of four zeros.
    if (phase_ == Phase::StreamPadding) return Fail(streamPadding_ % 4 == 0 ? CodecStatus::End : CodecStatus::Damaged);
    return Fail(CodecStatus::Truncated);
}

}  // namespace refengine
