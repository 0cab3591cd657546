// Content-Transfer-Encodings decoded as a stream: base64 that skips what
// is not of its alphabet, read the two ways decoders differ on padding in
// the middle, and quoted-printable as lenient decoders read it.
#pragma once

#include <cstdint>

#include "codecs/codec.h"
#include "host/host_io.h"

namespace refengine {

enum class Decoding : uint8_t {
    Identity,        // 7bit, 8bit, binary and encodings unknown here
    Base64,          // padding ends a quantum, decoding goes on after it
    Base64Unpadded,  // padding skipped like any other character: one bit stream
    QuotedPrintable,
};

bool IsBase64Letter(unsigned char c);

class TransferDecoder {
public:
    explicit TransferDecoder(Decoding decoding) : decoding_(decoding) {}
    // False once out stopped taking bytes.
    bool Feed(const unsigned char* bytes, uint32_t count, ByteSink& out);
    bool Finish(ByteSink& out);

private:
    void Emit(unsigned char c);
    bool FlushOut(ByteSink& out);
    void FeedBase64(unsigned char c);
    void FeedQuoted(unsigned char c);
    void FlushQuantum();

    Decoding decoding_;
    // Decoded bytes waiting for the sink.
    unsigned char out_[4096];
    uint32_t outLength_ = 0;
    // base64
    uint32_t bits_ = 0;
    uint32_t letters_ = 0;
    // quoted-printable: after '=' (escape_ holds what followed), a run of
    // white space held until it is known not to end its line
    enum class QuotedState : uint8_t { Text, Equals, EqualsHex, EqualsSpace, SoftCr } quoted_ = QuotedState::Text;
    unsigned char escape_[64];
    uint32_t escapeLength_ = 0;
    unsigned char white_[64];
    uint32_t whiteLength_ = 0;
};

// Decodes [start, end) of source into out; 0, or 0x20 on a read failure.
uint32_t DecodeRange(Host& host, ByteSource& source, uint64_t start, uint64_t end, Decoding decoding, ByteSink& out);

}  // namespace refengine
