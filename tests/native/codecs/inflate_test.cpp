// The inflater as plain Deflate against zlib, byte for byte and answer for
// answer, and as Deflate64 on ZIP members 7-Zip writes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "codec_test_support.h"
#include "codecs/inflate/inflate_decoder.h"
#include "reference_codecs.h"

namespace {

using namespace codectest;
using refengine::CodecStatus;
using refengine::InflateDecoder;
using refengine::InflateFormat;

constexpr size_t kEnough = 1u << 20;

Decoded Inflate(InflateFormat format, const std::string& stream, size_t piece, size_t limit = kEnough) {
    InflateDecoder decoder(format, limit);
    Decoded d = DecodeInPieces(decoder, stream, piece);
    EXPECT_FALSE(d.brokeContract) << "pieces of " << piece;
    return d;
}

void ExpectInflatesTo(InflateFormat format, const std::string& stream, const std::string& original,
                      const std::string& what) {
    for (size_t piece : kPieceSizes) {
        if (piece == 1 && stream.size() > 100000) continue;
        Decoded d = Inflate(format, stream, piece);
        ASSERT_EQ(d.status, CodecStatus::End) << what << ", pieces of " << piece << ": " << StatusName(d.status);
        EXPECT_EQ(d.used, stream.size()) << what;
        ASSERT_EQ(d.output.size(), original.size()) << what << ", pieces of " << piece;
        EXPECT_TRUE(d.output == original) << what << ", pieces of " << piece;
    }
}

TEST(Inflate, DecodesWhatZlibWritesAtEveryLevelAndStrategy) {
    for (const Sample& sample : StandardSamples()) {
        for (int level : {0, 1, 6, 9}) {
            ExpectInflatesTo(InflateFormat::Deflate, DeflateCompress(sample.data, level, Z_DEFAULT_STRATEGY),
                             sample.data, sample.name + " at level " + std::to_string(level));
        }
        for (int strategy : {Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
            ExpectInflatesTo(InflateFormat::Deflate, DeflateCompress(sample.data, 6, strategy), sample.data,
                             sample.name + " with strategy " + std::to_string(strategy));
        }
    }
}

TEST(Inflate, LeavesTheBytesAfterTheStream) {
    std::string data = TextLike(20000, 20);
    for (int level : {0, 9}) {
        std::string stream = DeflateCompress(data, level, Z_DEFAULT_STRATEGY);
        for (size_t piece : kPieceSizes) {
            Decoded d = Inflate(InflateFormat::Deflate, stream + "trailer: crc and size", piece);
            ASSERT_EQ(d.status, CodecStatus::End);
            EXPECT_TRUE(d.output == data);
            // Bytes of earlier pieces were taken for good; in one piece it is exact.
            if (piece != 1) EXPECT_EQ(d.used, stream.size()) << "level " << level << ", pieces of " << piece;
        }
    }
}

TEST(Inflate, AgreesWithZlibOnEveryDamagedByte) {
    const std::string original = TextLike(2500, 21) + RandomBytes(300, 22) + std::string(400, 'q');
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
        const std::string stream = DeflateCompress(original, 9, strategy) + DeflateCompress("x", 0, strategy);
        for (size_t i = 0; i < stream.size(); ++i) {
            for (unsigned char flip : {0x01, 0x08, 0x80, 0xff}) {
                std::string damaged = stream;
                damaged[i] = char(damaged[i] ^ flip);
                ReferenceDecoded reference = InflateReference(damaged, kEnough);
                Decoded d = Inflate(InflateFormat::Deflate, damaged, i % 3 ? 0 : 5);
                ASSERT_EQ(d.status == CodecStatus::End, reference.end == ReferenceEnd::End)
                    << "byte " << i << " ^ " << int(flip) << ": " << StatusName(d.status);
                // zlib may still want more where we already know the stream is damaged.
                if (d.status == CodecStatus::Truncated) {
                    ASSERT_EQ(reference.end, ReferenceEnd::Truncated) << "byte " << i << " ^ " << int(flip);
                }
                ASSERT_TRUE(d.output == reference.output) << "byte " << i << " ^ " << int(flip);
            }
        }
    }
}

TEST(Inflate, SaysACutStreamIsTruncated) {
    const std::string original = TextLike(3000, 23);
    const std::string good = DeflateCompress(original, 6, Z_DEFAULT_STRATEGY);
    for (size_t cut = 0; cut < good.size(); ++cut) {
        Decoded d = Inflate(InflateFormat::Deflate, good.substr(0, cut), cut % 2 ? 0 : 1);
        ASSERT_EQ(d.status, CodecStatus::Truncated) << "cut at " << cut;
        EXPECT_EQ(original.compare(0, d.output.size(), d.output), 0) << "cut at " << cut;
    }
}

TEST(Inflate, StopsABombWhenTheSinkRefuses) {
    z_stream s;
    std::memset(&s, 0, sizeof s);
    ASSERT_EQ(deflateInit2(&s, 1, Z_DEFLATED, -15, 9, Z_RLE), Z_OK);
    std::string zeros(1 << 20, '\0'), stream;
    unsigned char buffer[65536];
    for (int mb = 0; mb <= 1024; ++mb) {
        s.next_in = reinterpret_cast<Bytef*>(&zeros[0]);
        s.avail_in = mb < 1024 ? uInt(zeros.size()) : 0;
        int ret;
        do {
            s.next_out = buffer;
            s.avail_out = sizeof buffer;
            ret = deflate(&s, mb < 1024 ? Z_NO_FLUSH : Z_FINISH);
            stream.append(reinterpret_cast<char*>(buffer), sizeof buffer - s.avail_out);
        } while (s.avail_out == 0 || (mb == 1024 && ret == Z_OK));
    }
    deflateEnd(&s);

    const uint64_t limit = 10u << 20;
    CollectSink sink(limit, false);
    InflateDecoder decoder(InflateFormat::Deflate, kEnough);
    size_t used = 0;
    EXPECT_EQ(decoder.Feed(reinterpret_cast<const unsigned char*>(stream.data()), stream.size(), &used, sink),
              CodecStatus::Stopped);
    EXPECT_LE(sink.total, limit);
    EXPECT_GT(sink.total, limit - 32768);
    EXPECT_LE(sink.largestPiece, 32768u);
    EXPECT_LT(used, stream.size() / 50) << "reading went on after the sink refused";
    EXPECT_EQ(decoder.Finish(sink), CodecStatus::Stopped);
}

TEST(Inflate, KeepsToTheMemoryLimit) {
    std::string stream = DeflateCompress("abc", 9, Z_DEFAULT_STRATEGY);
    EXPECT_EQ(Inflate(InflateFormat::Deflate, stream, 0, 32767).status, CodecStatus::TooLarge);
    EXPECT_EQ(Inflate(InflateFormat::Deflate, stream, 0, 32768).status, CodecStatus::End);
    EXPECT_EQ(Inflate(InflateFormat::Deflate64, stream, 0, 65535).status, CodecStatus::TooLarge);
    EXPECT_EQ(Inflate(InflateFormat::Deflate64, stream, 0, 65536).status, CodecStatus::End);
}

// Writes a block of the fixed code bit by bit.
class FixedBlockWriter {
public:
    FixedBlockWriter() { Bits(1 | 1 << 1, 3); }  // last block, fixed code
    void Literal(unsigned char c) { c < 144 ? Code(0x30 + c, 8) : Code(0x190 + c - 144, 9); }
    void Match(unsigned symbol, uint32_t lengthExtra, unsigned lengthBits, unsigned distanceSymbol,
               uint32_t distanceExtra, unsigned distanceBits) {
        symbol < 280 ? Code(symbol - 256, 7) : Code(0xc0 + symbol - 280, 8);
        Bits(lengthExtra, lengthBits);
        Code(distanceSymbol, 5);
        Bits(distanceExtra, distanceBits);
    }
    std::string End() {
        Code(0, 7);
        if (used_ > 0) bytes_ += char(pending_);
        return bytes_;
    }

private:
    void Bits(uint32_t value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) Bit((value >> i) & 1);
    }
    // Huffman codes go in from their top bit.
    void Code(uint32_t code, unsigned length) {
        for (unsigned i = length; i-- > 0;) Bit((code >> i) & 1);
    }
    void Bit(unsigned bit) {
        pending_ |= bit << used_;
        if (++used_ == 8) {
            bytes_ += char(pending_);
            pending_ = used_ = 0;
        }
    }
    std::string bytes_;
    unsigned pending_ = 0;
    unsigned used_ = 0;
};

TEST(Inflate, Deflate64HasItsLongLengthAndFarDistances) {
    FixedBlockWriter block;
    block.Literal('a');
    block.Literal('b');
    // Length symbol 285: 3 + 65535 from 16 extra bits, two bytes back.
    block.Match(285, 65535, 16, 1, 0, 0);
    // Distance symbol 31 with all 14 extra bits set: 65536, the whole window.
    block.Match(257, 0, 0, 31, 16383, 14);
    block.Literal('z');
    std::string stream = block.End();
    std::string expected;
    for (int i = 0; i < 65540 / 2; ++i) expected += "ab";
    expected += "abaz";
    ExpectInflatesTo(InflateFormat::Deflate64, stream, expected, "length 65538, distance 65536");
    // In plain Deflate symbol 285 is 258 without extra bits, and 31 no distance.
    EXPECT_EQ(Inflate(InflateFormat::Deflate, stream, 0).status, CodecStatus::Damaged);
}

// A ZIP member's method and raw data, from its local header.
struct ZipLocalMember {
    unsigned method = 0;
    std::string data;
};

unsigned Le16(const std::string& s, size_t at) {
    return unsigned((unsigned char)s[at]) | unsigned((unsigned char)s[at + 1]) << 8;
}

bool ReadFirstMember(const std::string& zip, ZipLocalMember* member) {
    if (zip.size() < 30 || zip.compare(0, 4, "PK\x03\x04") != 0) return false;
    // Sizes after the data (flag bit 3) would need the central directory.
    if (Le16(zip, 6) & 8) return false;
    member->method = Le16(zip, 8);
    size_t compressed = Le16(zip, 18) | size_t(Le16(zip, 20)) << 16;
    size_t at = 30 + Le16(zip, 26) + Le16(zip, 28);
    if (at + compressed > zip.size()) return false;
    member->data = zip.substr(at, compressed);
    return true;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

#ifdef ORLIX_7ZIP
// 7-Zip as a Deflate64 encoder: one file in, the member's raw data out.
std::string Deflate64By7Zip(const std::string& data, int level) {
    char folder[] = "/tmp/codec-deflate64-XXXXXX";
    if (!mkdtemp(folder)) return "";
    std::string dir = folder;
    std::ofstream(dir + "/member.bin", std::ios::binary) << data;
    std::string command = std::string(ORLIX_7ZIP) + " a -tzip -mm=Deflate64 -mx=" + std::to_string(level) + " " + dir +
                          "/t.zip " + dir + "/member.bin >/dev/null";
    int rc = std::system(command.c_str());
    std::string zip = ReadAll(dir + "/t.zip");
    std::remove((dir + "/t.zip").c_str());
    std::remove((dir + "/member.bin").c_str());
    rmdir(folder);
    ZipLocalMember member;
    if (rc != 0 || !ReadFirstMember(zip, &member) || member.method != 9) return "";
    return member.data;
}
#endif

TEST(Inflate, DecodesDeflate64From7Zip) {
#ifndef ORLIX_7ZIP
    GTEST_SKIP() << "7-Zip (7zz or 7z) was not found when the tests were configured";
#else
    std::string random = RandomBytes(50000, 24);
    std::vector<Sample> samples = {
        {"short", TextLike(400, 29)},
        // Matches 50 000 back need the two distance codes past 32 KiB.
        {"far repeats", random + TextLike(3000, 25) + random + random},
        // 7-Zip keeps matches to 257 bytes, so the 16 extra bits of length
        // code 285 are tried below, in a block written by hand.
        {"zeros", std::string(3u << 20, '\0')},
        {"text", TextLike(300000, 26)},
    };
    for (const Sample& sample : samples) {
        for (int level : {1, 9}) {
            std::string what = sample.name + " at -mx=" + std::to_string(level);
            std::string stream = Deflate64By7Zip(sample.data, level);
            ASSERT_FALSE(stream.empty()) << what;
            ExpectInflatesTo(InflateFormat::Deflate64, stream, sample.data, what);
            if (sample.name == "far repeats") {
                // The data does use what plain Deflate lacks.
                EXPECT_FALSE(Inflate(InflateFormat::Deflate, stream, 0).output == sample.data) << what;
            }
        }
    }
#endif
}

TEST(Inflate, Deflate64NeverPassesOffDamageAsGoodBytes) {
#ifndef ORLIX_7ZIP
    GTEST_SKIP() << "7-Zip was not found";
#else
    std::string original = RandomBytes(40000, 27) + TextLike(2000, 28) + std::string(70000, 'x');
    original += original.substr(0, 40000);
    std::string stream = Deflate64By7Zip(original, 9);
    ASSERT_FALSE(stream.empty());
    for (size_t i = 0; i < stream.size(); i += (i < 200 || stream.size() - i < 200) ? 1 : 97) {
        std::string damaged = stream;
        damaged[i] = char(damaged[i] ^ (1 << (i % 8)));
        Decoded d = Inflate(InflateFormat::Deflate64, damaged, i % 2 ? 0 : 9);
        // Raw Deflate64 has no checksum of its own (the member's CRC is the
        // ZIP reader's): here the sanitizers judge, and the answer is final.
        EXPECT_NE(d.status, CodecStatus::More);
    }
    for (size_t cut = 0; cut < stream.size(); cut += 1 + cut / 64) {
        EXPECT_EQ(Inflate(InflateFormat::Deflate64, stream.substr(0, cut), 0).status, CodecStatus::Truncated) << cut;
    }
#endif
}

}  // namespace
