// BinHex 4.0: the text's six-bit characters, the run-length stage (0x90)
// beneath them, the header record and the CRC-CCITT sums after the header
// and after each fork.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "codecs/codec.h"

namespace refengine {

// The line a BinHex text starts after.
constexpr char kBinHexPhrase[] = "(This file must be converted with BinHex";

// The sum BinHex stores (CRC-CCITT, polynomial 0x1021, starting at 0).
uint16_t BinHexCrc(uint16_t crc, const unsigned char* bytes, size_t count);

struct BinHexHeader {
    std::string name;
    uint32_t dataLength = 0;
    uint32_t resourceLength = 0;
    bool crcBad = false;
    uint32_t length = 0;  // the header's decoded bytes, its sum included
};
// Parses the header from the first decoded bytes; false when they are too few.
bool ParseBinHexHeader(const unsigned char* bytes, size_t count, BinHexHeader& header);
// Decoded bytes that always hold the header.
constexpr size_t kBinHexHeaderMaximum = 1 + 255 + 1 + 4 + 4 + 2 + 4 + 4 + 2;

// The characters after the opening ':' decoded into out, up to the closing ':'.
class BinHexDecoder {
public:
    enum class State { Running, Ended, Damaged, Stopped };
    // Feeds text; the state after it (Stopped: out took no more).
    State Feed(const unsigned char* text, uint32_t count, ByteSink& out);
    // The last characters' bits; Ended unless damaged or stopped before.
    State Finish(ByteSink& out);
    State state() const { return state_; }

private:
    void Byte(unsigned char byte);
    bool Flush(ByteSink& out);

    State state_ = State::Running;
    uint32_t bits_ = 0;
    uint32_t letters_ = 0;
    bool marker_ = false;  // 0x90 seen: a count follows
    bool haveLast_ = false;
    unsigned char last_ = 0;
    unsigned char out_[1024];
    uint32_t outLength_ = 0;
};

}  // namespace refengine
