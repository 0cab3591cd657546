// A member's packed bytes, read in bounded chunks and handed on: stored as
// they are, inflated, or through any decoder of the codecs layer.
#pragma once

#include <cstdint>

#include "codecs/codec.h"
#include "host/host_io.h"

namespace refengine {

// Each answers the stream's own failure (0 when it ended as it should);
// the consumer keeps what the bytes decided.
uint32_t CopyStored(Host& host, ByteSource& source, uint64_t offset, uint64_t length, ByteSink& out);
// used, when given: the packed bytes the deflate stream took up to its end.
uint32_t InflateRaw(Host& host, ByteSource& source, uint64_t offset, uint64_t length, ByteSink& out,
                    uint64_t* used = nullptr);
// The range through decoder into out: 0 when the stream ended (or out
// refused bytes), 0x2000 when it ended but its own checksum did not match,
// 0x20 for a read failure, and 0x80 for a stream that is damaged, cut short,
// uses what we do not decode, or needs more memory than its limit. used,
// when given: the bytes the stream took up to its end.
uint32_t DecodeRange(Host& host, ByteSource& source, uint64_t offset, uint64_t length, StreamDecoder& decoder,
                     ByteSink& out, uint64_t* used = nullptr);

}  // namespace refengine
