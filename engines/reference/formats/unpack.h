// A member's packed bytes, read in bounded chunks and handed on: stored as
// they are, or inflated.
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

}  // namespace refengine
