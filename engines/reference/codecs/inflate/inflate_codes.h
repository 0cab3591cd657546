// The fixed parts of Deflate and of Deflate64 (ZIP method 9, a 64 KiB
// window): what each length and distance symbol stands for, and the fixed
// Huffman code's lengths.
#pragma once

#include <cstdint>

namespace refengine {

enum class InflateFormat { Deflate, Deflate64 };

struct InflateSymbolValue {
    uint32_t base;
    unsigned extraBits;
};

constexpr unsigned kInflateEndOfBlock = 256;
constexpr unsigned kInflateFirstLength = 257;
// Length symbols 257..285; 286 and 287 have fixed codes but no meaning.
constexpr unsigned kInflateLengthSymbols = 29;
constexpr unsigned kInflateMaxLiteralLengths = 286;
constexpr unsigned kInflateFixedLiteralLengths = 288;
constexpr unsigned kInflateDistanceSymbols = 32;

// False for a symbol the format does not define.
bool InflateLength(InflateFormat format, unsigned symbol, InflateSymbolValue* value);
bool InflateDistance(InflateFormat format, unsigned symbol, InflateSymbolValue* value);
uint32_t InflateWindowSize(InflateFormat format);
// The code lengths of the fixed code: literal/lengths first, then distances.
void InflateFixedLengths(uint8_t literalLengths[kInflateFixedLiteralLengths],
                         uint8_t distanceLengths[kInflateDistanceSymbols]);

}  // namespace refengine
