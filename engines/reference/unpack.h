// A member's packed bytes, read in bounded chunks and handed to its sink:
// stored as they are, or inflated.
#pragma once

#include <cstdint>

#include "host_io.h"
#include "member_sink.h"

namespace refengine {

// Each answers the stream's own failure (0 when it ended as it should);
// the sink keeps what the member's bytes decided.
uint32_t CopyStored(ByteSource& source, uint64_t offset, uint64_t length, MemberSink& sink);
uint32_t InflateRaw(ByteSource& source, uint64_t offset, uint64_t length, MemberSink& sink);

}  // namespace refengine
