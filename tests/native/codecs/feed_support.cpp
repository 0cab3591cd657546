#include "feed_support.h"

#include <gtest/gtest.h>

namespace codec_test {

using refengine::CodecStatus;

bool CollectSink::Take(const unsigned char* data, uint32_t count) {
    if (count > largestChunk) largestChunk = count;
    if (count > limit_ - bytes.size()) {
        refused = true;
        return false;
    }
    bytes.append(reinterpret_cast<const char*>(data), count);
    return true;
}

Decoded DecodeInPieces(refengine::StreamDecoder& decoder, const std::string& input, size_t piece, size_t sinkLimit) {
    Decoded result;
    CollectSink sink(sinkLimit);
    const unsigned char* data = reinterpret_cast<const unsigned char*>(input.data());
    size_t offset = 0;
    while (offset < input.size()) {
        size_t n = input.size() - offset < piece ? input.size() - offset : piece;
        size_t used = SIZE_MAX;
        result.status = decoder.Feed(data + offset, n, &used, sink);
        if (used > n) {
            result.lostInput = true;
            break;
        }
        offset += used;
        if (result.status != CodecStatus::More) break;
        if (used != n) result.lostInput = true;
    }
    if (result.status == CodecStatus::More) result.status = decoder.Finish(sink);
    result.taken = offset;
    result.bytes = std::move(sink.bytes);
    result.largestChunk = sink.largestChunk;
    result.mismatch = decoder.checksumMismatch();
    return result;
}

void ExpectDecodesTo(const DecoderFactory& make, const std::string& input, const std::string& expected) {
    for (size_t piece : kPieceSizes) {
        SCOPED_TRACE(piece == SIZE_MAX ? std::string("whole input") : "pieces of " + std::to_string(piece));
        std::unique_ptr<refengine::StreamDecoder> decoder = make();
        Decoded got = DecodeInPieces(*decoder, input, piece);
        EXPECT_STREQ(StatusName(got.status), "End");
        EXPECT_FALSE(got.lostInput);
        EXPECT_FALSE(got.mismatch);
        EXPECT_EQ(got.bytes.size(), expected.size());
        EXPECT_TRUE(got.bytes == expected) << "decoded bytes differ";
    }
}

}  // namespace codec_test
