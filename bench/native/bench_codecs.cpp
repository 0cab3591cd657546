// Our stream decoders side by side with the libraries they stand in for,
// on the same streams in one run: bzip2 against libbz2, and inflate
// against zlib. Each figure is the best of five rounds taken in turns;
// MB/s counts decoded bytes.
//
//   bench_codecs [megabytes of data, default 16]
#include <bzlib.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "codecs/bzip2/bzip2_decoder.h"
#include "codec_test_support.h"
#include "codecs/inflate/inflate_decoder.h"
#include "reference_codecs.h"

namespace {

using refengine::CodecStatus;

// Ours, fed 64 KiB at a time as a reader would.
bool DecodeOurs(refengine::StreamDecoder& decoder, const std::string& stream, size_t expected) {
    codectest::CollectSink sink(UINT64_MAX, false);
    const unsigned char* data = reinterpret_cast<const unsigned char*>(stream.data());
    size_t at = 0;
    CodecStatus status = CodecStatus::More;
    while (at < stream.size() && status == CodecStatus::More) {
        size_t used = 0;
        size_t n = stream.size() - at < 65536 ? stream.size() - at : 65536;
        status = decoder.Feed(data + at, n, &used, sink);
        at += used;
    }
    if (status == CodecStatus::More) status = decoder.Finish(sink);
    return status == CodecStatus::End && sink.total == expected;
}

bool DecodeLibbz2(const std::string& stream, std::vector<char>& out) {
    unsigned size = unsigned(out.size());
    return BZ2_bzBuffToBuffDecompress(out.data(), &size, const_cast<char*>(stream.data()), unsigned(stream.size()), 0,
                                      0) == BZ_OK;
}

bool DecodeZlib(const std::string& stream, std::vector<char>& out) {
    z_stream s{};
    if (inflateInit2(&s, -15) != Z_OK) return false;
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    s.avail_in = uInt(stream.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = uInt(out.size());
    int ret = inflate(&s, Z_FINISH);
    inflateEnd(&s);
    return ret == Z_STREAM_END;
}

struct Pair {
    const char* name;
    double ours = 1e30;
    double library = 1e30;
};

void Print(const Pair& p, size_t bytes, const char* library) {
    double mb = double(bytes) / 1e6;
    std::printf("%-22s ours %8.1f MB/s   %-7s %8.1f MB/s   ratio %.2f\n", p.name, mb / p.ours, library, mb / p.library,
                p.library / p.ours);
}

}  // namespace

int main(int argc, char** argv) {
    size_t megabytes = argc > 1 ? size_t(std::atoi(argv[1])) : 16;
    if (megabytes == 0) megabytes = 16;
    // Mostly text with some incompressible stretches, as mail attachments are.
    std::string data;
    for (uint32_t seed = 1; data.size() < megabytes << 20; ++seed) {
        data += codectest::TextLike(900000, seed);
        data += codectest::RandomBytes(100000, seed + 1000);
    }
    std::string bz = codectest::Bzip2Compress(data, 9);
    std::string deflated = codectest::DeflateCompress(data, 6, Z_DEFAULT_STRATEGY);
    std::vector<char> out(data.size() + 1);
    std::printf("data %.1f MB, bzip2 %.1f MB, deflate %.1f MB\n", data.size() / 1e6, bz.size() / 1e6,
                deflated.size() / 1e6);

    Pair bzip2{"bzip2 vs libbz2"}, inflate{"inflate vs zlib"};
    for (int round = 0; round < 5; ++round) {
        double t = BenchSeconds();
        refengine::Bzip2Decoder bzDecoder(8u << 20);
        if (!DecodeOurs(bzDecoder, bz, data.size())) return 1;
        double t1 = BenchSeconds();
        if (!DecodeLibbz2(bz, out)) return 1;
        double t2 = BenchSeconds();
        refengine::InflateDecoder inflater(refengine::InflateFormat::Deflate, 1u << 20);
        if (!DecodeOurs(inflater, deflated, data.size())) return 1;
        double t3 = BenchSeconds();
        if (!DecodeZlib(deflated, out)) return 1;
        double t4 = BenchSeconds();
        bzip2.ours = std::min(bzip2.ours, t1 - t);
        bzip2.library = std::min(bzip2.library, t2 - t1);
        inflate.ours = std::min(inflate.ours, t3 - t2);
        inflate.library = std::min(inflate.library, t4 - t3);
    }
    Print(bzip2, data.size(), "libbz2");
    Print(inflate, data.size(), "zlib");
    std::printf("(ratio: our speed over the library's; the goal is at least 0.50)\n");
    return 0;
}
