// The symbols of one bzip2 block: Huffman codes, switched every 50
// symbols by the selectors, give move-to-front positions and runs of the
// front byte (RUNA/RUNB, a bijective base-2 count); the bytes go to the
// block's column. Stops between any two symbols when input runs out.
#pragma once

#include <cstdint>

#include "codecs/bit_reader.h"
#include "codecs/parse_step.h"
#include "bzip2_tables.h"

namespace refengine {

class Bzip2Symbols {
public:
    void Start(const Bzip2Tables& tables, uint32_t* column, uint32_t capacity);
    // Done at the end-of-block symbol.
    ParseStep Decode(MsbBitReader& bits);

    uint32_t length() const { return length_; }
    const uint32_t* counts() const { return counts_; }

private:
    const Bzip2Tables* tables_ = nullptr;
    const HuffmanCode* code_ = nullptr;
    uint32_t* column_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t length_ = 0;
    unsigned groupLeft_ = 0;
    unsigned selector_ = 0;
    uint32_t run_ = 0;
    unsigned runDigits_ = 0;
    unsigned char front_[256];
    uint32_t counts_[256];
};

}  // namespace refengine
