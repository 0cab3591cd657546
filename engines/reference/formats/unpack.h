// A member's packed bytes, read in bounded chunks and handed on: stored as
// they are, or inflated.
#pragma once

#include <cstdint>

#include "host_io.h"

namespace refengine {

// Receives unpacked bytes; false to stop.
class ByteConsumer {
public:
    virtual ~ByteConsumer() = default;
    virtual bool Take(const unsigned char* bytes, uint32_t count) = 0;
};

// Each answers the stream's own failure (0 when it ended as it should);
// the consumer keeps what the bytes decided.
uint32_t CopyStored(ByteSource& source, uint64_t offset, uint64_t length, ByteConsumer& out);
// used, when given: the packed bytes the deflate stream took up to its end.
uint32_t InflateRaw(ByteSource& source, uint64_t offset, uint64_t length, ByteConsumer& out, uint64_t* used = nullptr);

}  // namespace refengine
