// The bzip2 decoder against libbz2: the same bytes from libbz2's streams
// fed in pieces of every size, and on damaged or cut streams an answer
// that never passes wrong bytes off as good ones.
#include <bzlib.h>
#include <gtest/gtest.h>

#include <cstring>

#include "codecs/bzip2/bzip2_decoder.h"
#include "codec_test_support.h"
#include "reference_codecs.h"

namespace {

using namespace codectest;
using refengine::Bzip2Decoder;
using refengine::CodecStatus;

constexpr size_t kEnough = 64u << 20;

Decoded Bzip2Decode(const std::string& stream, size_t piece, size_t limit = kEnough) {
    Bzip2Decoder decoder(limit);
    Decoded d = DecodeInPieces(decoder, stream, piece);
    EXPECT_FALSE(d.brokeContract) << "pieces of " << piece;
    return d;
}

void ExpectDecodesTo(const std::string& stream, const std::string& original, const std::string& what) {
    for (size_t piece : kPieceSizes) {
        // One byte at a time only where it stays quick.
        if (piece == 1 && stream.size() > 60000) continue;
        Decoded d = Bzip2Decode(stream, piece);
        ASSERT_EQ(d.status, CodecStatus::End) << what << ", pieces of " << piece << ": " << StatusName(d.status);
        EXPECT_FALSE(d.checksumMismatch) << what;
        EXPECT_EQ(d.used, stream.size()) << what;
        ASSERT_EQ(d.output.size(), original.size()) << what << ", pieces of " << piece;
        EXPECT_TRUE(d.output == original) << what << ", pieces of " << piece;
        EXPECT_LE(d.largestPiece, 16384u) << what;
    }
}

TEST(Bzip2Decoder, DecodesWhatLibbz2WritesAtLevelsOneAndNine) {
    for (const Sample& sample : StandardSamples()) {
        for (int level : {1, 9}) {
            ExpectDecodesTo(Bzip2Compress(sample.data, level), sample.data,
                            sample.name + " at level " + std::to_string(level));
        }
    }
}

TEST(Bzip2Decoder, DecodesEveryRunLengthAlone) {
    for (int n = 1; n <= 300; ++n) {
        std::string run(size_t(n), 'r');
        std::string stream = Bzip2Compress(run, 9);
        Decoded whole = Bzip2Decode(stream, 0);
        ASSERT_EQ(whole.status, CodecStatus::End) << n;
        ASSERT_TRUE(whole.output == run) << "run of " << n;
        Decoded bytewise = Bzip2Decode(stream, 1);
        ASSERT_TRUE(bytewise.output == run) << "run of " << n << " fed bytewise";
    }
}

TEST(Bzip2Decoder, ReadsConcatenatedStreamsAndLeavesWhatFollows) {
    std::string a = TextLike(120000, 7);  // two blocks at level 1
    std::string b = RandomBytes(3000, 8);
    std::string streams = Bzip2Compress(a, 1) + Bzip2Compress("", 9) + Bzip2Compress(b, 9);
    ExpectDecodesTo(streams, a + b, "three streams");

    // After a stream, bytes that are no stream header are not taken; the
    // start of a header at the very end is, as nothing could tell it apart
    // before Finish. Bytes taken with an earlier piece stay taken.
    struct Tail {
        std::string bytes;
        size_t headerBytes;  // how much of it looks like a header
    };
    for (const Tail& tail :
         {Tail{"XYZW trailer", 0}, Tail{std::string(8, '\0'), 0}, Tail{"BZh0", 3}, Tail{"BZ", 2}, Tail{"B", 1}}) {
        for (size_t piece : kPieceSizes) {
            Decoded d = Bzip2Decode(streams + tail.bytes, piece);
            ASSERT_EQ(d.status, CodecStatus::End) << tail.bytes << ", pieces of " << piece;
            EXPECT_TRUE(d.output == a + b);
            bool allHeader = tail.headerBytes == tail.bytes.size();
            if (piece == 0) {
                EXPECT_EQ(d.used, streams.size() + (allHeader ? tail.bytes.size() : 0)) << tail.bytes;
            } else {
                EXPECT_GE(d.used, streams.size() + (allHeader ? tail.bytes.size() : 0)) << tail.bytes << ", " << piece;
                EXPECT_LE(d.used, streams.size() + tail.headerBytes) << tail.bytes << ", pieces of " << piece;
            }
        }
    }
    // A second header followed by nonsense is a damaged stream, not a tail.
    Decoded d = Bzip2Decode(streams + "BZh9garbage!", 0);
    EXPECT_EQ(d.status, CodecStatus::Damaged);
    EXPECT_TRUE(d.output == a + b);
}

// Byte offsets in a stream of one block: 'BZh9', the block magic, its CRC.
constexpr size_t kBlockCrcAt = 10;
constexpr size_t kRandomisedBitAt = 14;

TEST(Bzip2Decoder, ReportsAWrongCrcAndReadsOn) {
    std::string a = TextLike(5000, 9), b = TextLike(7000, 10);
    std::string first = Bzip2Compress(a, 9);
    first[kBlockCrcAt] ^= 0x40;
    for (size_t piece : kPieceSizes) {
        Decoded d = Bzip2Decode(first + Bzip2Compress(b, 9), piece);
        EXPECT_EQ(d.status, CodecStatus::End);
        EXPECT_TRUE(d.checksumMismatch);
        EXPECT_TRUE(d.output == a + b) << "the bytes are still handed on";
    }
    // The stream's own CRC, in the last bytes.
    std::string stream = Bzip2Compress(a, 9);
    stream[stream.size() - 2] ^= 0x01;
    Decoded d = Bzip2Decode(stream, 0);
    EXPECT_EQ(d.status, CodecStatus::End);
    EXPECT_TRUE(d.checksumMismatch);
    EXPECT_FALSE(Bzip2Decode(Bzip2Compress(a, 9), 0).checksumMismatch);
}

TEST(Bzip2Decoder, SaysARandomisedBlockIsUnsupported) {
    std::string stream = Bzip2Compress(TextLike(1000, 11), 9);
    ASSERT_EQ(stream[kRandomisedBitAt] & 0x80, 0);
    stream[kRandomisedBitAt] |= char(0x80);
    EXPECT_EQ(Bzip2Decode(stream, 0).status, CodecStatus::Unsupported);
}

TEST(Bzip2Decoder, NeverPassesOffDamageAsGoodBytes) {
    const std::string original = TextLike(3000, 12) + std::string(600, 'z') + RandomBytes(200, 13);
    const std::string stream = Bzip2Compress(original, 9);
    for (size_t i = 0; i < stream.size(); ++i) {
        for (unsigned char flip : {0x01, 0x10, 0xff}) {
            std::string damaged = stream;
            damaged[i] = char(damaged[i] ^ flip);
            ReferenceDecoded reference = Bzip2Reference(damaged, kEnough);
            for (size_t piece : {size_t(0), size_t(7)}) {
                Decoded d = Bzip2Decode(damaged, piece);
                if (d.status == CodecStatus::End && !d.checksumMismatch) {
                    EXPECT_TRUE(d.output == original) << "byte " << i << " ^ " << int(flip);
                }
                if (reference.end == ReferenceEnd::End) {
                    EXPECT_EQ(d.status, CodecStatus::End) << "byte " << i << " ^ " << int(flip);
                    EXPECT_TRUE(d.output == reference.output) << "byte " << i << " ^ " << int(flip);
                }
                EXPECT_NE(d.status, CodecStatus::More);
            }
        }
    }
}

TEST(Bzip2Decoder, SaysACutStreamIsTruncated) {
    const std::string original = TextLike(2000, 14) + std::string(300, '\0');
    const std::string stream = Bzip2Compress(original, 9) + Bzip2Compress("second", 1);
    const size_t firstEnd = Bzip2Compress(original, 9).size();
    const std::string whole = original + "second";
    for (size_t cut = 0; cut < stream.size(); ++cut) {
        Decoded d = Bzip2Decode(stream.substr(0, cut), cut % 2 ? 0 : 3);
        // Cut within the second stream's header, the first one is all there is.
        if (cut >= firstEnd && cut < firstEnd + 4) {
            EXPECT_EQ(d.status, CodecStatus::End) << "cut at " << cut;
            continue;
        }
        ASSERT_EQ(d.status, CodecStatus::Truncated) << "cut at " << cut << ": " << StatusName(d.status);
        EXPECT_EQ(whole.compare(0, d.output.size(), d.output), 0) << "cut at " << cut;
    }
}

// A gigabyte of zeros: ours stops as soon as the sink says so.
TEST(Bzip2Decoder, StopsABombWhenTheSinkRefuses) {
    bz_stream s;
    std::memset(&s, 0, sizeof s);
    ASSERT_EQ(BZ2_bzCompressInit(&s, 9, 0, 0), BZ_OK);
    std::string zeros(1 << 20, '\0'), stream;
    char buffer[4096];
    for (int mb = 0; mb <= 1024; ++mb) {
        s.next_in = &zeros[0];
        s.avail_in = mb < 1024 ? unsigned(zeros.size()) : 0;
        int ret;
        do {
            s.next_out = buffer;
            s.avail_out = sizeof buffer;
            ret = BZ2_bzCompress(&s, mb < 1024 ? BZ_RUN : BZ_FINISH);
            stream.append(buffer, sizeof buffer - s.avail_out);
        } while (mb == 1024 ? ret == BZ_FINISH_OK : s.avail_in > 0);
    }
    BZ2_bzCompressEnd(&s);
    ASSERT_LT(stream.size(), 4096u);

    const uint64_t limit = 10u << 20;
    CollectSink sink(limit, false);
    Bzip2Decoder decoder(kEnough);
    size_t used = 0;
    EXPECT_EQ(decoder.Feed(reinterpret_cast<const unsigned char*>(stream.data()), stream.size(), &used, sink),
              CodecStatus::Stopped);
    EXPECT_LE(sink.total, limit);
    EXPECT_GT(sink.total, limit - 16384);
    // It stays stopped.
    EXPECT_EQ(decoder.Finish(sink), CodecStatus::Stopped);
}

TEST(Bzip2Decoder, KeepsToTheMemoryLimit) {
    std::string data = TextLike(1000, 15);
    EXPECT_EQ(Bzip2Decode(Bzip2Compress(data, 9), 0, Bzip2Decoder::MemoryFor(9) - 1).status, CodecStatus::TooLarge);
    EXPECT_EQ(Bzip2Decode(Bzip2Compress(data, 9), 0, Bzip2Decoder::MemoryFor(9)).status, CodecStatus::End);
    EXPECT_EQ(Bzip2Decode(Bzip2Compress(data, 1), 0, Bzip2Decoder::MemoryFor(1)).status, CodecStatus::End);
    EXPECT_LE(Bzip2Decoder::MemoryFor(9), 4u << 20);
    // A later stream that needs more than the limit stops there.
    Decoded d = Bzip2Decode(Bzip2Compress(data, 1) + Bzip2Compress(data, 2), 0, Bzip2Decoder::MemoryFor(1));
    EXPECT_EQ(d.status, CodecStatus::TooLarge);
    EXPECT_TRUE(d.output == data);
}

}  // namespace
