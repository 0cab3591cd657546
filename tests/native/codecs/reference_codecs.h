// The reference libraries the codecs are checked against (libbz2, zlib):
// they make the test streams and say what a stream decodes to. Test and
// fuzz code only; the engine links neither for these formats.
#pragma once

#include <cstddef>
#include <string>

namespace codectest {

std::string Bzip2Compress(const std::string& data, int level);

enum class ReferenceEnd { End, Damaged, Truncated, Capped };
struct ReferenceDecoded {
    ReferenceEnd end = ReferenceEnd::Truncated;
    std::string output;
    size_t used = 0;
};

// Reads streams one after another as "bzip2 -d" does: after a complete
// stream, anything that does not start with a stream header ends the
// input. Output past maxOutput is not kept (Capped).
ReferenceDecoded Bzip2Reference(const std::string& in, size_t maxOutput);

// Raw Deflate (no zlib header) at a level and strategy.
std::string DeflateCompress(const std::string& data, int level, int strategy);
ReferenceDecoded InflateReference(const std::string& in, size_t maxOutput);

}  // namespace codectest
