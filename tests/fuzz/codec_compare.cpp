#include "codec_compare.h"

namespace fuzz {

namespace {

class CappedSink : public refengine::ByteSink {
public:
    bool Take(const unsigned char* bytes, uint32_t count) override {
        if (count > kOutputLimit - out.size()) return false;
        out.append(reinterpret_cast<const char*>(bytes), count);
        return true;
    }
    std::string out;
};

}  // namespace

Ours DecodeOurs(refengine::StreamDecoder& decoder, const uint8_t* data, size_t size) {
    size_t piece = size % 3 == 0 ? 1 + size % 13 : size;
    CappedSink sink;
    Ours ours;
    size_t offset = 0;
    while (offset < size) {
        size_t n = size - offset < piece ? size - offset : piece;
        size_t used = 0;
        ours.status = decoder.Feed(data + offset, n, &used, sink);
        if (used > n) __builtin_trap();
        offset += used;
        if (ours.status != refengine::CodecStatus::More) break;
        if (used != n) __builtin_trap();  // More takes everything
    }
    if (ours.status == refengine::CodecStatus::More) ours.status = decoder.Finish(sink);
    if (ours.status == refengine::CodecStatus::More) __builtin_trap();
    ours.bytes = std::move(sink.out);
    ours.mismatch = decoder.checksumMismatch();
    return ours;
}

void Compare(const Ours& ours, const oracle::Result& theirs, bool theirsMayRefuse) {
    using refengine::CodecStatus;
    if (ours.status == CodecStatus::TooLarge || theirs.ret == LZMA_MEMLIMIT_ERROR) return;
    if (ours.status == CodecStatus::Stopped || theirs.outputCapped) {
        // Past the output limit: what both produced must still agree.
        size_t common = ours.bytes.size() < theirs.bytes.size() ? ours.bytes.size() : theirs.bytes.size();
        if (ours.bytes.compare(0, common, theirs.bytes, 0, common) != 0) __builtin_trap();
        return;
    }
    bool oursWhole = ours.status == CodecStatus::End && !ours.mismatch;
    bool theirsWhole = theirs.ret == LZMA_STREAM_END;
    if (oursWhole && theirsWhole) {
        if (ours.bytes != theirs.bytes) __builtin_trap();
        return;
    }
    if (oursWhole && !theirsMayRefuse) __builtin_trap();
    if (theirsWhole && ours.status != CodecStatus::Unsupported) __builtin_trap();
}

}  // namespace fuzz
