// The .xz decoder against liblzma: presets, checks, filters, blocks and
// streams, and every way a small file can be damaged or cut short.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>

#include "codecs/xz/crc64.h"
#include "codecs/xz/sha256.h"
#include "codecs/xz/xz_decoder.h"
#include "feed_support.h"
#include "liblzma_oracle.h"
#include "sample_data.h"

namespace {

using codec_test::Decoded;
using codec_test::DecodeInPieces;
using codec_test::ExpectDecodesTo;
using codec_test::StatusName;
using refengine::CodecStatus;
using refengine::XzDecoder;

constexpr uint64_t kLimit = uint64_t{256} << 20;

codec_test::DecoderFactory Xz(uint64_t limit = kLimit, bool concatenated = true) {
    return [=] { return std::unique_ptr<refengine::StreamDecoder>(new XzDecoder(limit, concatenated)); };
}

Decoded DecodeWhole(const std::string& input, uint64_t limit = kLimit, size_t sinkLimit = SIZE_MAX) {
    XzDecoder decoder(limit);
    return DecodeInPieces(decoder, input, SIZE_MAX, sinkLimit);
}

// Where the last stream's index starts: its size is in the footer.
size_t IndexAt(const std::string& file) {
    const unsigned char* footer = reinterpret_cast<const unsigned char*>(file.data()) + file.size() - 12;
    uint32_t backward = footer[4] | footer[5] << 8 | footer[6] << 16 | uint32_t{footer[7]} << 24;
    return file.size() - 12 - (size_t{backward} + 1) * 4;
}

// Rewrites the CRC32 of the record at [from, from + size) stored at crcAt.
void Reseal(std::string& file, size_t from, size_t size, size_t crcAt) {
    uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(file.data() + from), size));
    for (int i = 0; i < 4; ++i) file[crcAt + i] = static_cast<char>(crc >> (8 * i));
}

TEST(XzDecoder, EveryPresetDecodesLikeLiblzma) {
    for (const auto& sample : codec_test::SmallSamples()) {
        for (uint32_t preset = 0; preset <= 9; ++preset) {
            for (uint32_t extreme : {0u, LZMA_PRESET_EXTREME}) {
                SCOPED_TRACE(sample.name + " preset " + std::to_string(preset) + (extreme ? "e" : ""));
                oracle::XzOptions options;
                options.preset = preset | extreme;
                std::string packed = oracle::XzEncode(sample.data, options);
                ASSERT_EQ(oracle::XzDecode(packed).bytes, sample.data);
                ExpectDecodesTo(Xz(), packed, sample.data);
            }
        }
    }
}

TEST(XzDecoder, EveryCheckType) {
    for (lzma_check check : {LZMA_CHECK_NONE, LZMA_CHECK_CRC32, LZMA_CHECK_CRC64, LZMA_CHECK_SHA256}) {
        for (const auto& sample : codec_test::SmallSamples()) {
            SCOPED_TRACE(sample.name + " check " + std::to_string(check));
            oracle::XzOptions options;
            options.check = check;
            ExpectDecodesTo(Xz(), oracle::XzEncode(sample.data, options), sample.data);
        }
    }
}

TEST(XzDecoder, X86AndDeltaFilters) {
    std::string code = codec_test::X86Like(100000, 41);
    for (const auto& sample : codec_test::SmallSamples()) {
        for (uint32_t start : {0u, 0x401000u}) {
            SCOPED_TRACE(sample.name + " x86 from " + std::to_string(start));
            oracle::XzOptions options;
            options.x86 = true;
            options.x86Start = start;
            ExpectDecodesTo(Xz(), oracle::XzEncode(sample.data, options), sample.data);
        }
    }
    for (uint32_t preset : {0u, 6u, 9u | LZMA_PRESET_EXTREME}) {
        SCOPED_TRACE("x86 code, preset " + std::to_string(preset));
        oracle::XzOptions options;
        options.preset = preset;
        options.x86 = true;
        ExpectDecodesTo(Xz(), oracle::XzEncode(code, options), code);
    }
    for (uint32_t distance : {1u, 4u, 256u}) {
        SCOPED_TRACE("delta " + std::to_string(distance));
        oracle::XzOptions options;
        options.delta = distance;
        options.x86 = distance == 4;
        ExpectDecodesTo(Xz(), oracle::XzEncode(code, options), code);
    }
}

TEST(XzDecoder, MoreDataThanTheDictionaryHolds) {
    std::string block = codec_test::RandomBytes(200000, 42);
    std::string data = block + codec_test::Words(50000, 43) + block + block;
    oracle::XzOptions options;
    options.preset = 0;  // 256 KiB
    ExpectDecodesTo(Xz(), oracle::XzEncode(data, options), data);
    options.dictionarySize = 4096;
    ExpectDecodesTo(Xz(), oracle::XzEncode(data, options), data);
}

TEST(XzDecoder, ManyBlocks) {
    std::string data = codec_test::Words(100000, 44) + codec_test::X86Like(30000, 45);
    oracle::XzOptions sized;
    sized.blockSize = 7000;  // sizes in every block header
    sized.check = LZMA_CHECK_SHA256;
    ExpectDecodesTo(Xz(), oracle::XzEncode(data, sized), data);
    oracle::XzOptions flushed;
    flushed.flushEvery = 9000;  // sizes only in the index
    flushed.x86 = true;
    ExpectDecodesTo(Xz(), oracle::XzEncode(data, flushed), data);
}

TEST(XzDecoder, ConcatenatedStreamsAndPadding) {
    std::string a = codec_test::Words(5000, 46), b = codec_test::AllByteValues(), c;
    oracle::XzOptions crc32;
    crc32.check = LZMA_CHECK_CRC32;
    std::string file = oracle::XzEncode(a) + std::string(4, '\0') + oracle::XzEncode(b, crc32) + oracle::XzEncode(c) +
                       std::string(8, '\0') + oracle::XzEncode(a) + std::string(12, '\0');
    ASSERT_EQ(oracle::XzDecode(file).ret, LZMA_STREAM_END);
    ExpectDecodesTo(Xz(), file, a + b + c + a);

    // Padding comes in groups of four, between streams and at the end.
    for (size_t bad : {1u, 2u, 3u, 5u}) {
        for (bool atEnd : {false, true}) {
            std::string odd = oracle::XzEncode(a) + std::string(bad, '\0') + (atEnd ? "" : oracle::XzEncode(b));
            EXPECT_NE(oracle::XzDecode(odd).ret, LZMA_STREAM_END);
            EXPECT_STREQ(StatusName(DecodeWhole(odd).status), "Damaged") << bad << (atEnd ? " at the end" : "");
        }
    }
    // Garbage after a stream is no stream.
    EXPECT_STREQ(StatusName(DecodeWhole(oracle::XzEncode(a) + "junk").status), "Damaged");
}

TEST(XzDecoder, OneStreamOnlyLeavesWhatFollows) {
    std::string first = oracle::XzEncode("first");
    std::string file = first + std::string(4, '\0') + oracle::XzEncode("second");
    for (size_t piece : codec_test::kPieceSizes) {
        XzDecoder decoder(kLimit, false);
        Decoded got = DecodeInPieces(decoder, file, piece);
        EXPECT_STREQ(StatusName(got.status), "End");
        EXPECT_EQ(got.bytes, "first");
        EXPECT_EQ(got.taken, first.size());
    }
}

TEST(XzDecoder, ChecksumMismatchDeliversTheData) {
    std::string data = codec_test::Words(3000, 47);
    for (lzma_check check : {LZMA_CHECK_CRC32, LZMA_CHECK_CRC64, LZMA_CHECK_SHA256}) {
        oracle::XzOptions options;
        options.check = check;
        std::string file = oracle::XzEncode(data, options);
        // The check is the last field before the index.
        std::string bad = file;
        bad[IndexAt(file) - 1] ^= 0x40;
        Decoded got = DecodeWhole(bad);
        EXPECT_STREQ(StatusName(got.status), "End");
        EXPECT_TRUE(got.mismatch);
        EXPECT_TRUE(got.bytes == data);
        EXPECT_FALSE(DecodeWhole(file).mismatch);
    }
}

TEST(XzDecoder, EveryFlippedByteIsCaughtOrHarmless) {
    std::string data = codec_test::Words(400, 48) + codec_test::X86Like(300, 49);
    for (lzma_check check : {LZMA_CHECK_NONE, LZMA_CHECK_CRC32, LZMA_CHECK_CRC64, LZMA_CHECK_SHA256}) {
        oracle::XzOptions options;
        options.check = check;
        options.x86 = check == LZMA_CHECK_CRC64;
        options.dictionarySize = 1 << 16;  // keeps liblzma's window small on every one of the runs
        std::string file = oracle::XzEncode(data, options);
        for (size_t i = 0; i < file.size(); ++i) {
            for (unsigned char flip : {0x01, 0x10, 0xFF}) {
                std::string bad = file;
                bad[i] = static_cast<char>(bad[i] ^ flip);
                Decoded got = DecodeWhole(bad, kLimit, 1 << 20);
                oracle::Result reference = oracle::XzDecode(bad, 1 << 20);
                if (got.status == CodecStatus::End && !got.mismatch) {
                    // Without a check a changed literal decodes silently, as in liblzma.
                    ASSERT_EQ(reference.ret, LZMA_STREAM_END) << "byte " << i << " ^ " << int(flip);
                    ASSERT_TRUE(got.bytes == reference.bytes) << "byte " << i;
                    if (check != LZMA_CHECK_NONE) ASSERT_TRUE(got.bytes == data) << "byte " << i;
                } else if (got.status == CodecStatus::End) {
                    EXPECT_EQ(reference.ret, LZMA_DATA_ERROR) << "byte " << i;
                } else {
                    ASSERT_NE(reference.ret, LZMA_STREAM_END)
                        << "byte " << i << " ^ " << int(flip) << ": we said " << StatusName(got.status);
                }
            }
        }
    }
}

TEST(XzDecoder, CutShortIsTruncatedAtEveryLength) {
    oracle::XzOptions options;
    options.blockSize = 500;
    options.check = LZMA_CHECK_SHA256;
    std::string data = codec_test::Words(1200, 50);
    std::string file = oracle::XzEncode(data, options);
    for (size_t length = 0; length < file.size(); ++length) {
        for (size_t piece : {size_t{5}, SIZE_MAX}) {
            XzDecoder decoder(kLimit);
            Decoded got = DecodeInPieces(decoder, file.substr(0, length), piece);
            ASSERT_STREQ(StatusName(got.status), "Truncated") << "cut at " << length;
            ASSERT_EQ(data.compare(0, got.bytes.size(), got.bytes), 0) << "cut at " << length;
        }
    }
}

TEST(XzDecoder, IndexAndHeaderSizesMustMatchTheBlocks) {
    std::string data = codec_test::Words(3000, 51);
    std::string file = oracle::XzEncode(data);
    // One block: the index is indicator, count, two sizes, padding, CRC32.
    size_t index = IndexAt(file);
    size_t crcAt = file.size() - 12 - 4;
    ASSERT_EQ(file[index], 0);
    ASSERT_EQ(file[index + 1], 1);
    std::string wrong = file;
    wrong[index + 2] = static_cast<char>(wrong[index + 2] ^ 4);  // unpadded size, same varint length
    Reseal(wrong, index, crcAt - index, crcAt);
    EXPECT_NE(oracle::XzDecode(wrong).ret, LZMA_STREAM_END);
    EXPECT_STREQ(StatusName(DecodeWhole(wrong).status), "Damaged");

    // Declared sizes in a block header, one off each way.
    oracle::XzOptions sized;
    sized.blockSize = 1 << 20;
    std::string withSizes = oracle::XzEncode(data, sized);
    size_t headerSize = (static_cast<unsigned char>(withSizes[12]) + 1) * 4;
    ASSERT_EQ(withSizes[13] & 0xC0, 0xC0);
    for (size_t field : {size_t{14}, size_t{16}}) {
        for (int delta : {-1, 1}) {
            std::string bad = withSizes;
            bad[field] = static_cast<char>(bad[field] + delta);
            Reseal(bad, 12, headerSize - 4, 12 + headerSize - 4);
            EXPECT_NE(oracle::XzDecode(bad).ret, LZMA_STREAM_END) << field << " " << delta;
            EXPECT_STREQ(StatusName(DecodeWhole(bad).status), "Damaged") << field << " " << delta;
        }
    }
}

TEST(XzDecoder, FiltersWeDoNotDecodeAreUnsupported) {
    oracle::XzOptions arm;
    arm.arm = true;
    std::string file = oracle::XzEncode(codec_test::Words(1000, 52), arm);
    ASSERT_EQ(oracle::XzDecode(file).ret, LZMA_STREAM_END);
    EXPECT_STREQ(StatusName(DecodeWhole(file).status), "Unsupported");
}

TEST(XzDecoder, DictionaryOverTheLimitIsTooLarge) {
    oracle::XzOptions big;
    big.preset = 9;  // 64 MiB
    std::string file = oracle::XzEncode("tiny", big);
    EXPECT_STREQ(StatusName(DecodeWhole(file, 32 << 20).status), "TooLarge");
    EXPECT_STREQ(StatusName(DecodeWhole(file, 65 << 20).status), "End");
    // With its size in the header a small block needs only a small window.
    big.blockSize = 1 << 20;
    EXPECT_STREQ(StatusName(DecodeWhole(oracle::XzEncode("tiny", big), 1 << 20).status), "End");
}

TEST(XzDecoder, StopsWhenTheSinkRefuses) {
    oracle::XzOptions options;
    options.preset = 0;
    options.x86 = true;
    std::string bomb = oracle::XzEncode(std::string(64 << 20, '\0'), options);
    ASSERT_LT(bomb.size(), 64u << 10);
    for (size_t piece : {size_t{4096}, SIZE_MAX}) {
        XzDecoder decoder(kLimit);
        Decoded got = DecodeInPieces(decoder, bomb, piece, 1 << 20);
        EXPECT_STREQ(StatusName(got.status), "Stopped");
        // Chunks end where the sink's room does not: it got at most its fill.
        EXPECT_LE(got.bytes.size(), 1u << 20);
        EXPECT_GT(got.bytes.size(), (1u << 20) - (64u << 10));
        EXPECT_LE(got.largestChunk, 64u << 10);
    }
}

TEST(XzChecks, Crc64AndSha256MatchLiblzma) {
    std::string data = codec_test::RandomBytes(100003, 53);
    for (size_t length : {size_t{0}, size_t{1}, size_t{3}, size_t{55}, size_t{56}, size_t{64}, data.size()}) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(data.data());
        refengine::Crc64 crc;
        crc.Update(p, length / 2);
        crc.Update(p + length / 2, length - length / 2);
        EXPECT_EQ(crc.value(), lzma_crc64(p, length, 0)) << length;

        // SHA-256 through an .xz file's check: an empty file has no block to check.
        if (length == 0) continue;
        refengine::xz::Sha256 sha;
        for (size_t i = 0; i < length; i += 7) sha.Update(p + i, length - i < 7 ? length - i : 7);
        unsigned char digest[32];
        sha.Final(digest);
        oracle::XzOptions options;
        options.check = LZMA_CHECK_SHA256;
        std::string file = oracle::XzEncode(data.substr(0, length), options);
        EXPECT_EQ(std::memcmp(digest, file.data() + IndexAt(file) - 32, 32), 0) << length;
    }
}

}  // namespace
