// Our .xz decoder against liblzma's on the same streams, in one run:
//
//   bench_xz [megabytes per data set, default 16] [rounds, default 5]
//
// Each data set (text, x86 code with the x86 filter, mixed binary) is
// compressed once by liblzma; then both decoders decode it in turns, each
// round into a sink that only counts, and the best round of each counts.
// Prints MB/s of decoded output for both and our speed as a share of
// liblzma's. Build it without sanitizers (-DORLIX_SANITIZE=OFF, Release).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codecs/xz/xz_decoder.h"
#include "liblzma_oracle.h"
#include "sample_data.h"

namespace {

class CountSink : public refengine::ByteSink {
public:
    bool Take(const unsigned char*, uint32_t count) override {
        total += count;
        return true;
    }
    uint64_t total = 0;
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Ours, fed in 64 KiB reads as a format reader would.
double DecodeOurs(const std::string& packed, size_t expected) {
    auto start = std::chrono::steady_clock::now();
    refengine::XzDecoder decoder(uint64_t{1} << 30);
    CountSink sink;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(packed.data());
    size_t offset = 0;
    refengine::CodecStatus status = refengine::CodecStatus::More;
    while (offset < packed.size() && status == refengine::CodecStatus::More) {
        size_t n = packed.size() - offset < 65536 ? packed.size() - offset : 65536;
        size_t used = 0;
        status = decoder.Feed(p + offset, n, &used, sink);
        offset += used;
    }
    if (status == refengine::CodecStatus::More) status = decoder.Finish(sink);
    double seconds = Seconds(start);
    if (status != refengine::CodecStatus::End || sink.total != expected) {
        std::fprintf(stderr, "bench_xz: our decoder failed\n");
        std::exit(1);
    }
    return seconds;
}

double DecodeLiblzma(const std::string& packed, size_t expected) {
    auto start = std::chrono::steady_clock::now();
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_stream_decoder(&stream, UINT64_MAX, LZMA_CONCATENATED) != LZMA_OK) std::exit(2);
    std::vector<uint8_t> out(65536);
    stream.next_in = reinterpret_cast<const uint8_t*>(packed.data());
    stream.avail_in = packed.size();
    uint64_t total = 0;
    lzma_ret ret = LZMA_OK;
    while (ret == LZMA_OK) {
        stream.next_out = out.data();
        stream.avail_out = out.size();
        ret = lzma_code(&stream, LZMA_FINISH);
        total += out.size() - stream.avail_out;
    }
    lzma_end(&stream);
    double seconds = Seconds(start);
    if (ret != LZMA_STREAM_END || total != expected) {
        std::fprintf(stderr, "bench_xz: liblzma failed\n");
        std::exit(1);
    }
    return seconds;
}

std::string Mixed(size_t size) {
    std::string out;
    uint32_t seed = 100;
    while (out.size() < size) {
        out += codec_test::Words(20000, seed++);
        out += codec_test::RandomBytes(3000, seed++);
        out += codec_test::X86Like(10000, seed++);
        out += codec_test::AllByteValues();
    }
    out.resize(size);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    size_t size = megabytes << 20;

    struct Set {
        const char* name;
        std::string data;
        oracle::XzOptions options;
    };
    std::vector<Set> sets(3);
    sets[0].name = "text";
    sets[0].data = codec_test::Words(size, 1);
    sets[1].name = "x86";
    sets[1].data = codec_test::X86Like(size, 2);
    sets[1].options.x86 = true;
    sets[2].name = "mixed";
    sets[2].data = Mixed(size);
    sets[2].options.check = LZMA_CHECK_SHA256;

    std::printf("%-6s %10s %10s %12s %12s %7s\n", "data", "MB", "packed MB", "ours MB/s", "liblzma MB/s", "ratio");
    double worst = 1e9;
    for (Set& set : sets) {
        std::string packed = oracle::XzEncode(set.data, set.options);
        double ours = 1e9, theirs = 1e9;
        for (int r = 0; r < rounds; ++r) {
            double a = DecodeOurs(packed, set.data.size());
            double b = DecodeLiblzma(packed, set.data.size());
            if (a < ours) ours = a;
            if (b < theirs) theirs = b;
        }
        double mb = set.data.size() / 1e6;
        double ratio = theirs / ours;
        if (ratio < worst) worst = ratio;
        std::printf("%-6s %10.1f %10.2f %12.1f %12.1f %7.2f\n", set.name, mb, packed.size() / 1e6, mb / ours,
                    mb / theirs, ratio);
    }
    std::printf("lowest ratio (ours / liblzma): %.2f (goal: at least 0.50)\n", worst);
    return 0;
}
