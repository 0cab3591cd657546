// Writes the codec fuzz targets' seeds: .xz files of every check, filter
// and block layout, and .lzma files with and without a known size, all
// written by liblzma at build time.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "liblzma_oracle.h"
#include "sample_data.h"

namespace {

bool Write(const std::string& folder, size_t n, const std::string& bytes) {
    std::string path = folder + "/seed" + std::to_string(n);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::string root = argv[1];
    std::string xz = root + "/xz", lzma = root + "/lzma";
    mkdir(root.c_str(), 0755);
    mkdir(xz.c_str(), 0755);
    mkdir(lzma.c_str(), 0755);
    std::vector<std::string> inputs = {"",
                                       "a",
                                       codec_test::Words(300, 1),
                                       codec_test::X86Like(400, 2),
                                       codec_test::AllByteValues(),
                                       codec_test::Repetitive(2000)};
    std::vector<std::string> xzSeeds, lzmaSeeds;
    for (const std::string& data : inputs) {
        for (lzma_check check : {LZMA_CHECK_NONE, LZMA_CHECK_CRC32, LZMA_CHECK_CRC64, LZMA_CHECK_SHA256}) {
            oracle::XzOptions options;
            options.preset = 1;
            options.check = check;
            options.x86 = check == LZMA_CHECK_CRC32;
            options.delta = check == LZMA_CHECK_NONE ? 2 : 0;
            options.blockSize = check == LZMA_CHECK_SHA256 ? 200 : 0;
            xzSeeds.push_back(oracle::XzEncode(data, options));
        }
        lzmaSeeds.push_back(oracle::LzmaAloneEncode(data, 1));
        lzmaSeeds.push_back(oracle::LzmaKnownSizeEncode(data, 1, false));
        lzmaSeeds.push_back(oracle::LzmaKnownSizeEncode(data, 1, true));
    }
    xzSeeds.push_back(oracle::XzEncode("one") + std::string(4, '\0') + oracle::XzEncode("two"));
    for (size_t i = 0; i < xzSeeds.size(); ++i) {
        if (!Write(xz, i, xzSeeds[i])) return 1;
    }
    for (size_t i = 0; i < lzmaSeeds.size(); ++i) {
        if (!Write(lzma, i, lzmaSeeds[i])) return 1;
    }
    return 0;
}
