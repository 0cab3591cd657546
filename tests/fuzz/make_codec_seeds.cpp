// Writes the codec fuzz targets' seeds: small bzip2 streams from libbz2
// and raw Deflate streams from zlib, of data of every kind.
//
//   make_codec_seeds <seed folder>     (writes <folder>/bzip2 and <folder>/inflate)
#include <sys/stat.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "codec_test_support.h"
#include "reference_codecs.h"

namespace {

bool Write(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<std::string> SeedData() {
    using namespace codectest;
    std::string runs;
    for (int n = 1; n <= 40; ++n) runs += std::string(size_t(n * 7), char('a' + n % 3)) + "|";
    return {"", "x", TextLike(300, 1), TextLike(3000, 2), RandomBytes(200, 3), std::string(1000, 'a'), runs};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_codec_seeds <folder>\n");
        return 2;
    }
    std::string folder = argv[1];
    mkdir(folder.c_str(), 0755);
    mkdir((folder + "/bzip2").c_str(), 0755);
    mkdir((folder + "/inflate").c_str(), 0755);
    int n = 0;
    bool ok = true;
    std::vector<std::string> data = SeedData();
    for (const std::string& d : data) {
        for (int level : {1, 9}) {
            ok &= Write(folder + "/bzip2/seed" + std::to_string(n++), codectest::Bzip2Compress(d, level));
        }
        for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY}) {
            ok &= Write(folder + "/inflate/seed" + std::to_string(n++), codectest::DeflateCompress(d, 9, strategy));
        }
        ok &= Write(folder + "/inflate/seed" + std::to_string(n++), codectest::DeflateCompress(d, 0, 0));
    }
    // Two streams in a row, as "bzip2 -d" reads them.
    ok &= Write(folder + "/bzip2/concatenated", codectest::Bzip2Compress(data[2], 9) + codectest::Bzip2Compress("", 1));
    return ok ? 0 : 1;
}
