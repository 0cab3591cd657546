#include "inflate_codes.h"

namespace refengine {

namespace {
const uint16_t kLengthBase[kInflateLengthSymbols] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                     31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[kInflateLengthSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint32_t kDistanceBase[kInflateDistanceSymbols] = {
    1,   2,   3,   4,   5,    7,    9,    13,   17,   25,   33,   49,    65,    97,    129,   193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
const uint8_t kDistanceExtra[kInflateDistanceSymbols] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                                         7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
}  // namespace

bool InflateLength(InflateFormat format, unsigned symbol, InflateSymbolValue* value) {
    if (symbol < kInflateFirstLength || symbol >= kInflateFirstLength + kInflateLengthSymbols) return false;
    unsigned i = symbol - kInflateFirstLength;
    // Deflate64 gives the last length symbol 16 extra bits from 3 instead of 258.
    if (format == InflateFormat::Deflate64 && i == kInflateLengthSymbols - 1) {
        *value = {3, 16};
    } else {
        *value = {kLengthBase[i], kLengthExtra[i]};
    }
    return true;
}

bool InflateDistance(InflateFormat format, unsigned symbol, InflateSymbolValue* value) {
    // The last two reach past 32 KiB, into Deflate64's larger window only.
    unsigned defined = format == InflateFormat::Deflate64 ? 32 : 30;
    if (symbol >= defined) return false;
    *value = {kDistanceBase[symbol], kDistanceExtra[symbol]};
    return true;
}

uint32_t InflateWindowSize(InflateFormat format) { return format == InflateFormat::Deflate64 ? 65536 : 32768; }

void InflateFixedLengths(uint8_t literalLengths[kInflateFixedLiteralLengths],
                         uint8_t distanceLengths[kInflateDistanceSymbols]) {
    for (unsigned i = 0; i < kInflateFixedLiteralLengths; ++i) {
        literalLengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    }
    for (unsigned i = 0; i < kInflateDistanceSymbols; ++i) distanceLengths[i] = 5;
}

}  // namespace refengine
