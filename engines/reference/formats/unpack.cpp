#include "unpack.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "host/source_reads.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

constexpr uint32_t kChunk = 65536;

// zlib's memory comes from the host's allocator, as every buffer does.
voidpf ZlibAlloc(voidpf host, uInt items, uInt size) {
    if (size && items > 0xFFFFFFFFu / size) return Z_NULL;
    return static_cast<Host*>(host)->Alloc(items * size);
}
void ZlibFree(voidpf host, voidpf block) { static_cast<Host*>(host)->Free(block); }

// Reads a member's packed bytes chunk by chunk.
class PackedInput {
public:
    PackedInput(ByteSource& source, uint64_t offset, uint64_t length, HostBuffer& buffer)
        : source_(source), offset_(offset), left_(length), buffer_(buffer) {}
    bool done() const { return left_ == 0; }
    // Bytes of the next chunk in the buffer (0 when all are read), or -1.
    int32_t Next() {
        uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(left_, buffer_.size()));
        if (take == 0) return 0;
        if (ReadFully(source_, offset_, buffer_.data(), take) != 1) return -1;
        offset_ += take;
        left_ -= take;
        return static_cast<int32_t>(take);
    }

private:
    ByteSource& source_;
    uint64_t offset_;
    uint64_t left_;
    HostBuffer& buffer_;
};

}  // namespace

uint32_t CopyStored(Host& host, ByteSource& source, uint64_t offset, uint64_t length, ByteSink& out) {
    HostBuffer input(host, kChunk);
    if (!input) return orlix::ResultUnpackError;
    PackedInput packed(source, offset, length, input);
    int32_t got;
    while ((got = packed.Next()) > 0 && out.Take(input.data(), static_cast<uint32_t>(got))) {
    }
    return got == -1 ? uint32_t{orlix::ResultReadError} : 0u;
}

uint32_t InflateRaw(Host& host, ByteSource& source, uint64_t offset, uint64_t length, ByteSink& out, uint64_t* used) {
    HostBuffer input(host, kChunk), output(host, kChunk);
    if (!input || !output) return orlix::ResultUnpackError;
    PackedInput packed(source, offset, length, input);
    z_stream z;
    std::memset(&z, 0, sizeof z);
    z.zalloc = ZlibAlloc;
    z.zfree = ZlibFree;
    z.opaque = &host;
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return orlix::ResultUnpackError;
    uint32_t streamFailure = 0;
    for (;;) {
        if (z.avail_in == 0 && !packed.done()) {
            int32_t got = packed.Next();
            if (got == -1) {
                streamFailure = orlix::ResultReadError;
                break;
            }
            z.next_in = input.data();
            z.avail_in = static_cast<uint32_t>(got);
        }
        // Called again after the input is used up: it may still hold output.
        z.next_out = output.data();
        z.avail_out = kChunk;
        int status = inflate(&z, Z_NO_FLUSH);
        uint32_t produced = kChunk - z.avail_out;
        if (produced && !out.Take(output.data(), produced)) break;
        if (status == Z_STREAM_END) {
            if (used) *used = z.total_in;
            break;
        }
        // No progress is possible: the data ends before the stream does.
        if ((status != Z_OK && status != Z_BUF_ERROR) || (status == Z_BUF_ERROR && packed.done())) {
            streamFailure = orlix::ResultUnpackError;
            break;
        }
    }
    inflateEnd(&z);
    return streamFailure;
}

uint32_t DecodeRange(Host& host, ByteSource& source, uint64_t offset, uint64_t length, StreamDecoder& decoder,
                     ByteSink& out, uint64_t* used) {
    HostBuffer input(host, kChunk);
    if (!input) return orlix::ResultUnpackError;
    PackedInput packed(source, offset, length, input);
    uint64_t taken = 0;
    CodecStatus status = CodecStatus::More;
    while (status == CodecStatus::More) {
        int32_t got = packed.Next();
        if (got == -1) return orlix::ResultReadError;
        if (got == 0) {
            status = decoder.Finish(out);
            break;
        }
        size_t n = 0;
        status = decoder.Feed(input.data(), static_cast<size_t>(got), &n, out);
        taken += n;
    }
    switch (status) {
        case CodecStatus::End:
            if (used) *used = taken;
            return decoder.checksumMismatch() ? uint32_t{orlix::ResultCrcError} : 0u;
        case CodecStatus::Stopped:
            return 0;
        default:
            return orlix::ResultUnpackError;
    }
}

}  // namespace refengine
