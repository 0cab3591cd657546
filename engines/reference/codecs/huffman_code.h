// A canonical prefix code given by its code lengths, as bzip2 and Deflate
// store them, with a lookup table for the short codes and a walk by
// length for the rest. Decode reads from a peek of the next stream bits
// and tells a code that needs more bits than are in hand from one that
// does not exist, so a decoder fed one byte at a time waits instead of
// failing.
#pragma once

#include <cstdint>

namespace refengine {

enum class BitOrder { MsbFirst, LsbFirst };

class HuffmanCode {
public:
    static constexpr unsigned kMaxLength = 20;
    static constexpr unsigned kMaxSymbols = 288;
    static constexpr unsigned kTableBits = 10;

    enum class Shape { Empty, Complete, Incomplete, Oversubscribed };

    // lengths[i] is symbol i's code length, 0 for none, at most kMaxLength.
    // An oversubscribed code builds no table and must not be decoded.
    Shape Build(const uint8_t* lengths, unsigned symbols, BitOrder order);
    unsigned maxLength() const { return maxLength_; }
    unsigned countOfLength(unsigned length) const { return count_[length]; }

    // bits: the next stream bits (MsbFirst: first one in bit 31; LsbFirst:
    // in bit 0), of which available are real. Returns the code's length
    // and sets *symbol, 0 when more bits are needed, -1 for no such code.
    int Decode(uint32_t bits, unsigned available, unsigned* symbol) const {
        unsigned index = order_ == BitOrder::MsbFirst ? bits >> (32 - kTableBits) : bits & ((1u << kTableBits) - 1);
        unsigned entry = table_[index];
        if (entry != 0) {
            unsigned length = entry & 31;
            if (length > available) return 0;
            *symbol = entry >> 5;
            return int(length);
        }
        return DecodeLong(bits, available, symbol);
    }

private:
    int DecodeLong(uint32_t bits, unsigned available, unsigned* symbol) const;

    // symbol << 5 | length for each kTableBits-bit peek a short code
    // starts; 0 where a longer code starts or none does.
    uint16_t table_[1 << kTableBits];
    uint16_t count_[kMaxLength + 1];
    // Symbols in canonical order: by length, then by value.
    uint16_t sorted_[kMaxSymbols];
    unsigned maxLength_ = 0;
    BitOrder order_ = BitOrder::MsbFirst;
};

}  // namespace refengine
