// liblzma as the test oracle: it writes the streams our decoders read and
// decodes them (and damaged copies of them) for comparison. Linked into
// tests, fuzzers and benchmarks only, never into the engine.
#pragma once

#include <lzma.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace oracle {

struct XzOptions {
    uint32_t preset = 6;  // may carry LZMA_PRESET_EXTREME
    lzma_check check = LZMA_CHECK_CRC64;
    uint32_t dictionarySize = 0;  // 0: the preset's
    bool x86 = false;
    uint32_t x86Start = 0;
    uint32_t delta = 0;     // 0: no delta filter
    bool arm = false;       // a filter our decoder does not know
    size_t blockSize = 0;   // > 0: blocks of this many bytes, sizes in their headers
    size_t flushEvery = 0;  // > 0: a new block after this many bytes, sizes only in the index
};

std::string XzEncode(const std::string& data, const XzOptions& options = XzOptions());
// .lzma with the size unknown in its header and the end marker.
std::string LzmaAloneEncode(const std::string& data, uint32_t preset, uint32_t lc = 3, uint32_t lp = 0,
                            uint32_t pb = 2);
// .lzma with the size in its header; the end marker only if asked for.
std::string LzmaKnownSizeEncode(const std::string& data, uint32_t preset, bool endMarker);

struct Result {
    lzma_ret ret = LZMA_PROG_ERROR;  // LZMA_STREAM_END when the whole input decoded
    std::string bytes;
    bool outputCapped = false;  // stopped at maxOutput
};
// .xz files as xz -d reads them: concatenated streams and padding.
Result XzDecode(const std::string& input, size_t maxOutput = SIZE_MAX, uint64_t memoryLimit = UINT64_MAX);
Result LzmaAloneDecode(const std::string& input, size_t maxOutput = SIZE_MAX, uint64_t memoryLimit = UINT64_MAX);

}  // namespace oracle
