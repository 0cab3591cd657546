// An inflater of raw Deflate streams (RFC 1951) and of Deflate64, the
// variant ZIP calls method 9. It takes input in pieces of any size and
// stops between any two items; the window, its only heap, is checked
// against the memory limit before it is allocated. Raw Deflate carries no
// checksum: the container's CRC covers the bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/bit_reader.h"
#include "codecs/codec.h"
#include "codecs/huffman_code.h"
#include "codecs/parse_step.h"
#include "inflate_codes.h"
#include "inflate_window.h"

namespace refengine {

class InflateDecoder : public StreamDecoder {
public:
    InflateDecoder(InflateFormat format, size_t memoryLimit);
    InflateDecoder(const InflateDecoder&) = delete;
    InflateDecoder& operator=(const InflateDecoder&) = delete;

    CodecStatus Feed(const unsigned char* in, size_t count, size_t* used, ByteSink& out) override;
    CodecStatus Finish(ByteSink& out) override;
    bool checksumMismatch() const override { return false; }

    static size_t MemoryFor(InflateFormat format) { return InflateWindowSize(format); }

private:
    enum class Item { Header, StoredLengths, Stored, Counts, CodeLengthCode, CodeLengths, Codes, Distance, Over };
    CodecStatus Run(ByteSink& out, bool finishing);
    ParseStep Next(ByteSink& out, bool* stopped);
    ParseStep Header();
    ParseStep Stored(ByteSink& out, bool* stopped);
    ParseStep CodeLengthCode();
    ParseStep CodeLengths();
    ParseStep Codes(ByteSink& out, bool* stopped);
    ParseStep Distance(ByteSink& out, bool* stopped);
    CodecStatus Fail(CodecStatus status);

    InflateFormat format_;
    size_t memoryLimit_;
    LsbBitReader bits_;
    InflateWindow window_;
    Item item_ = Item::Header;
    CodecStatus final_ = CodecStatus::More;
    bool lastBlock_ = false;
    uint32_t storedLeft_ = 0;
    unsigned literalCount_ = 0;
    unsigned distanceCount_ = 0;
    unsigned lengthCodeCount_ = 0;
    unsigned lengthsRead_ = 0;
    uint32_t matchLength_ = 0;
    uint8_t lengths_[kInflateMaxLiteralLengths + kInflateDistanceSymbols];
    InflateSymbolValue lengthValue_[kInflateLengthSymbols];
    InflateSymbolValue distanceValue_[kInflateDistanceSymbols];
    unsigned distanceDefined_ = 0;
    HuffmanCode lengthCode_;  // codes the code lengths of a dynamic block
    HuffmanCode literals_;
    HuffmanCode distances_;
    bool noDistances_ = false;
    bool fixed_ = false;  // literals_ and distances_ hold the fixed code
};

}  // namespace refengine
