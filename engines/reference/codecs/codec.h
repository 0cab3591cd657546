// What every decoder of a compressed stream offers the formats above it:
// bytes in as they are read, decoded bytes out to a sink, and an answer
// that tells a damaged stream from a cut-off one and from one we do not
// decode. Decoders allocate nothing past the memory limit they are given.
#pragma once

#include <cstddef>
#include <cstdint>

namespace refengine {

// Receives decoded bytes; false to stop.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Take(const unsigned char* bytes, uint32_t count) = 0;
};

enum class CodecStatus {
    More,         // all input taken, the stream goes on
    End,          // the stream ended; input after it was not taken
    Stopped,      // the sink refused bytes
    Damaged,      // the stream breaks its format
    Unsupported,  // valid, but uses something this decoder does not decode
    TooLarge,     // it needs more memory than the limit allows
    Truncated,    // Finish before the stream's end
};

class StreamDecoder {
public:
    virtual ~StreamDecoder() = default;
    // Decodes from count bytes of in; *used: how many it took (all of them
    // unless the answer is End or a failure).
    virtual CodecStatus Feed(const unsigned char* in, size_t count, size_t* used, ByteSink& out) = 0;
    // No more input: End when the stream ended, Truncated otherwise.
    virtual CodecStatus Finish(ByteSink& out) = 0;
    // True when a checksum the stream carries did not match what was
    // decoded: the bytes were still handed on.
    virtual bool checksumMismatch() const = 0;
};

}  // namespace refengine
