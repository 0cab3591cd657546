// The .lzma decoder and the LZMA core under it, against liblzma.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "codecs/filters/bcj_x86.h"
#include "codecs/lzma/lzma_alone_decoder.h"
#include "feed_support.h"
#include "liblzma_oracle.h"
#include "sample_data.h"

namespace {

using codec_test::Decoded;
using codec_test::DecodeInPieces;
using codec_test::ExpectDecodesTo;
using codec_test::StatusName;
using refengine::CodecStatus;
using refengine::LzmaAloneDecoder;

constexpr uint64_t kLimit = uint64_t{256} << 20;

codec_test::DecoderFactory Alone(uint64_t limit = kLimit) {
    return [limit] { return std::unique_ptr<refengine::StreamDecoder>(new LzmaAloneDecoder(limit)); };
}

Decoded DecodeWhole(const std::string& input, uint64_t limit = kLimit, size_t sinkLimit = SIZE_MAX) {
    LzmaAloneDecoder decoder(limit);
    return DecodeInPieces(decoder, input, SIZE_MAX, sinkLimit);
}

TEST(LzmaAlone, DecodesWhatLiblzmaWritesAtEveryPreset) {
    for (const auto& sample : codec_test::SmallSamples()) {
        for (uint32_t preset = 0; preset <= 9; ++preset) {
            for (uint32_t extreme : {0u, LZMA_PRESET_EXTREME}) {
                SCOPED_TRACE(sample.name + " preset " + std::to_string(preset) + (extreme ? "e" : ""));
                std::string packed = oracle::LzmaAloneEncode(sample.data, preset | extreme);
                ASSERT_EQ(oracle::LzmaAloneDecode(packed).bytes, sample.data);
                ExpectDecodesTo(Alone(), packed, sample.data);
            }
        }
    }
}

TEST(LzmaAlone, LiteralAndPositionBits) {
    std::string data = codec_test::X86Like(30000, 7) + codec_test::Words(20000, 8);
    const uint32_t settings[][3] = {{0, 0, 0}, {4, 0, 0}, {0, 4, 4}, {1, 3, 2}, {3, 1, 4}, {2, 2, 1}};
    for (const auto& s : settings) {
        SCOPED_TRACE("lc " + std::to_string(s[0]) + " lp " + std::to_string(s[1]) + " pb " + std::to_string(s[2]));
        ExpectDecodesTo(Alone(), oracle::LzmaAloneEncode(data, 6, s[0], s[1], s[2]), data);
    }
}

TEST(LzmaAlone, KnownSizeWithAndWithoutEndMarker) {
    for (const auto& sample : codec_test::SmallSamples()) {
        for (bool marker : {false, true}) {
            SCOPED_TRACE(sample.name + (marker ? " with end marker" : " without end marker"));
            std::string packed = oracle::LzmaKnownSizeEncode(sample.data, 6, marker);
            ASSERT_EQ(oracle::LzmaAloneDecode(packed).bytes, sample.data);
            ExpectDecodesTo(Alone(), packed, sample.data);
        }
    }
}

TEST(LzmaAlone, MoreDataThanTheDictionaryHolds) {
    // Matches 200 KiB back within a 256 KiB window that wraps twice, and
    // the smallest window wrapping at every 4 KiB.
    std::string block = codec_test::RandomBytes(200000, 11);
    std::string data = block + codec_test::Words(50000, 12) + block + block;
    ExpectDecodesTo(Alone(), oracle::LzmaAloneEncode(data, 0), data);
    // The header claims a 4 KiB dictionary; the matches reach 250 KB back.
    std::string packed = oracle::LzmaKnownSizeEncode(data, 0, false);
    const char small[4] = {0, 0x10, 0, 0};
    packed.replace(1, 4, small, 4);
    EXPECT_EQ(oracle::LzmaAloneDecode(packed).ret, LZMA_DATA_ERROR);
    EXPECT_STREQ(StatusName(DecodeWhole(packed).status), "Damaged");
}

TEST(LzmaAlone, SmallestWindowWrapsAtEveryChunk) {
    std::string data = codec_test::Words(300000, 13);
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    // A 4 KiB dictionary: encode with it so every match stays inside it.
    std::string packed;
    {
        options.dict_size = 4096;
        lzma_stream stream = LZMA_STREAM_INIT;
        ASSERT_EQ(lzma_alone_encoder(&stream, &options), LZMA_OK);
        std::string out(data.size() + 4096, '\0');
        stream.next_in = reinterpret_cast<const uint8_t*>(data.data());
        stream.avail_in = data.size();
        stream.next_out = reinterpret_cast<uint8_t*>(&out[0]);
        stream.avail_out = out.size();
        ASSERT_EQ(lzma_code(&stream, LZMA_FINISH), LZMA_STREAM_END);
        out.resize(out.size() - stream.avail_out);
        lzma_end(&stream);
        packed = out;
    }
    ExpectDecodesTo(Alone(), packed, data);
}

TEST(LzmaAlone, CutShortIsTruncatedAtEveryLength) {
    for (bool known : {false, true}) {
        std::string data = codec_test::Words(3000, 21);
        std::string packed = known ? oracle::LzmaKnownSizeEncode(data, 6, false) : oracle::LzmaAloneEncode(data, 6);
        for (size_t length = 0; length < packed.size(); ++length) {
            Decoded got = DecodeWhole(packed.substr(0, length));
            ASSERT_STREQ(StatusName(got.status), "Truncated") << "cut at " << length << (known ? " known" : "");
            // What came out is a prefix of the data.
            ASSERT_EQ(data.compare(0, got.bytes.size(), got.bytes), 0) << "cut at " << length;
        }
    }
}

TEST(LzmaAlone, DamageNeverEndsDifferentlyFromLiblzma) {
    // .lzma carries no check: a changed byte may decode to other data. What
    // we accept, liblzma must accept with the same bytes, and the reverse.
    std::string packed = oracle::LzmaAloneEncode(codec_test::Words(2000, 22), 0);
    for (size_t i = 0; i < packed.size(); ++i) {
        for (unsigned char flip : {0x01, 0x80, 0xFF}) {
            std::string damaged = packed;
            damaged[i] = static_cast<char>(damaged[i] ^ flip);
            oracle::Result reference = oracle::LzmaAloneDecode(damaged, 1 << 20);
            Decoded got = DecodeWhole(damaged, kLimit, 1 << 20);
            // A damaged header may ask for more memory than we allow, or for
            // lc + lp above 4, which liblzma refuses and we decode.
            if (got.status == CodecStatus::TooLarge) continue;
            if (reference.ret == LZMA_FORMAT_ERROR || reference.ret == LZMA_OPTIONS_ERROR) continue;
            bool ours = got.status == CodecStatus::End;
            bool theirs = reference.ret == LZMA_STREAM_END;
            ASSERT_EQ(ours, theirs) << "byte " << i << " ^ " << int(flip) << ": " << StatusName(got.status)
                                    << " against liblzma " << reference.ret;
            if (ours) ASSERT_TRUE(got.bytes == reference.bytes) << "byte " << i;
        }
    }
}

TEST(LzmaAlone, DictionaryOverTheLimitIsTooLarge) {
    std::string packed = oracle::LzmaAloneEncode("some data", 6);  // an 8 MiB dictionary
    EXPECT_STREQ(StatusName(DecodeWhole(packed, 4 << 20).status), "TooLarge");
    EXPECT_STREQ(StatusName(DecodeWhole(packed, 9 << 20).status), "End");
    // A stream that says how long it is needs no more window than that.
    std::string known = oracle::LzmaKnownSizeEncode("some data", 9, false);
    EXPECT_STREQ(StatusName(DecodeWhole(known, 1 << 20).status), "End");
}

TEST(LzmaAlone, StopsWhenTheSinkRefuses) {
    std::string zeros(64 << 20, '\0');
    std::string bomb = oracle::LzmaAloneEncode(zeros, 0);
    ASSERT_LT(bomb.size(), 64u << 10);
    Decoded got = DecodeWhole(bomb, kLimit, 1 << 20);
    EXPECT_STREQ(StatusName(got.status), "Stopped");
    EXPECT_LE(got.bytes.size(), 1u << 20);
    EXPECT_GT(got.bytes.size(), (1u << 20) - (64u << 10));
    EXPECT_LE(got.largestChunk, 64u << 10);
}

TEST(LzmaAlone, BadHeaderAndTrailingBytes) {
    std::string packed = oracle::LzmaAloneEncode("abc", 6);
    std::string bad = packed;
    bad[0] = static_cast<char>(225);  // properties past pb 4
    EXPECT_STREQ(StatusName(DecodeWhole(bad).status), "Damaged");
    // The first byte of the range coder is always zero.
    bad = packed;
    bad[13] = 1;
    EXPECT_STREQ(StatusName(DecodeWhole(bad).status), "Damaged");
    // With a known size the stream ends there and what follows is left.
    std::string known = oracle::LzmaKnownSizeEncode(codec_test::Words(50000, 5), 6, false);
    LzmaAloneDecoder decoder(kLimit);
    Decoded got = DecodeInPieces(decoder, known + std::string(100, 'z'), 4096);
    EXPECT_STREQ(StatusName(got.status), "End");
    EXPECT_EQ(got.bytes, codec_test::Words(50000, 5));
    EXPECT_EQ(got.taken, known.size());
}

TEST(BcjX86, CarriesItsStateAcrossEveryCut) {
    // Decoding in two pieces cut anywhere gives what one piece gives.
    std::string data = codec_test::X86Like(600, 31);
    auto decode = [&](size_t cut) {
        codec_test::CollectSink sink;
        refengine::BcjX86Sink bcj(sink, 0x1000);
        const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data());
        EXPECT_TRUE(bcj.Take(p, static_cast<uint32_t>(cut)));
        EXPECT_TRUE(bcj.Take(p + cut, static_cast<uint32_t>(data.size() - cut)));
        EXPECT_TRUE(bcj.Finish());
        return sink.bytes;
    };
    std::string whole = decode(data.size());
    EXPECT_NE(whole, data);
    for (size_t cut = 0; cut < data.size(); ++cut) ASSERT_EQ(decode(cut), whole) << "cut at " << cut;
}

}  // namespace
