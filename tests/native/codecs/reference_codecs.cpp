#include "reference_codecs.h"

#include <bzlib.h>
#include <zlib.h>

#include <cstring>
#include <stdexcept>

namespace codectest {

std::string Bzip2Compress(const std::string& data, int level) {
    bz_stream s;
    std::memset(&s, 0, sizeof s);
    if (BZ2_bzCompressInit(&s, level, 0, 0) != BZ_OK) throw std::runtime_error("BZ2_bzCompressInit");
    s.next_in = const_cast<char*>(data.data());
    s.avail_in = unsigned(data.size());
    std::string out;
    char buffer[65536];
    int ret;
    do {
        s.next_out = buffer;
        s.avail_out = sizeof buffer;
        ret = BZ2_bzCompress(&s, BZ_FINISH);
        out.append(buffer, sizeof buffer - s.avail_out);
    } while (ret == BZ_FINISH_OK);
    BZ2_bzCompressEnd(&s);
    if (ret != BZ_STREAM_END) throw std::runtime_error("BZ2_bzCompress");
    return out;
}

namespace {
bool StreamHeaderAt(const std::string& in, size_t at) {
    return in.size() - at >= 4 && in.compare(at, 3, "BZh") == 0 && in[at + 3] >= '1' && in[at + 3] <= '9';
}

// Appends what a reference decoder wrote, keeping at most maxOutput.
bool Keep(std::string& output, const char* bytes, size_t count, size_t maxOutput) {
    size_t room = maxOutput - output.size();
    output.append(bytes, count < room ? count : room);
    return count <= room;
}
}  // namespace

ReferenceDecoded Bzip2Reference(const std::string& in, size_t maxOutput) {
    ReferenceDecoded result;
    size_t at = 0;
    for (unsigned streams = 0;; ++streams) {
        if (streams > 0 && !StreamHeaderAt(in, at)) {
            result.end = ReferenceEnd::End;
            break;
        }
        bz_stream s;
        std::memset(&s, 0, sizeof s);
        if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK) throw std::runtime_error("BZ2_bzDecompressInit");
        s.next_in = const_cast<char*>(in.data() + at);
        s.avail_in = unsigned(in.size() - at);
        char buffer[65536];
        int ret;
        bool kept = true;
        do {
            s.next_out = buffer;
            s.avail_out = sizeof buffer;
            ret = BZ2_bzDecompress(&s);
            kept = Keep(result.output, buffer, sizeof buffer - s.avail_out, maxOutput);
        } while (ret == BZ_OK && kept && (s.avail_in > 0 || s.avail_out == 0));
        at = in.size() - s.avail_in;
        BZ2_bzDecompressEnd(&s);
        if (!kept) {
            result.end = ReferenceEnd::Capped;
            break;
        }
        if (ret != BZ_STREAM_END) {
            result.end = ret == BZ_OK ? ReferenceEnd::Truncated : ReferenceEnd::Damaged;
            break;
        }
    }
    result.used = at;
    return result;
}

std::string DeflateCompress(const std::string& data, int level, int strategy) {
    z_stream s;
    std::memset(&s, 0, sizeof s);
    if (deflateInit2(&s, level, Z_DEFLATED, -15, 9, strategy) != Z_OK) throw std::runtime_error("deflateInit2");
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    s.avail_in = uInt(data.size());
    std::string out;
    unsigned char buffer[65536];
    int ret;
    do {
        s.next_out = buffer;
        s.avail_out = sizeof buffer;
        ret = deflate(&s, Z_FINISH);
        out.append(reinterpret_cast<char*>(buffer), sizeof buffer - s.avail_out);
    } while (ret == Z_OK);
    deflateEnd(&s);
    if (ret != Z_STREAM_END) throw std::runtime_error("deflate");
    return out;
}

ReferenceDecoded InflateReference(const std::string& in, size_t maxOutput) {
    ReferenceDecoded result;
    z_stream s;
    std::memset(&s, 0, sizeof s);
    if (inflateInit2(&s, -15) != Z_OK) throw std::runtime_error("inflateInit2");
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    s.avail_in = uInt(in.size());
    char buffer[65536];
    int ret;
    bool kept = true;
    do {
        s.next_out = reinterpret_cast<Bytef*>(buffer);
        s.avail_out = sizeof buffer;
        ret = inflate(&s, Z_NO_FLUSH);
        kept = Keep(result.output, buffer, sizeof buffer - s.avail_out, maxOutput);
    } while (ret == Z_OK && kept);
    result.used = in.size() - s.avail_in;
    inflateEnd(&s);
    if (!kept) {
        result.end = ReferenceEnd::Capped;
    } else if (ret == Z_STREAM_END) {
        result.end = ReferenceEnd::End;
    } else if (ret == Z_BUF_ERROR) {
        result.end = ReferenceEnd::Truncated;
    } else {
        result.end = ReferenceEnd::Damaged;
    }
    return result;
}

}  // namespace codectest
