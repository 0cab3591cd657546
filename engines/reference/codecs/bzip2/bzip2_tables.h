// The coding tables at the head of a bzip2 block: which byte values the
// block uses, which Huffman table codes each group of 50 symbols, and the
// tables themselves. Read item by item, so a block header split anywhere
// between two inputs resumes where it stopped.
#pragma once

#include <cstdint>

#include "codecs/bit_reader.h"
#include "codecs/huffman_code.h"
#include "codecs/parse_step.h"

namespace refengine {

class Bzip2Tables {
public:
    static constexpr unsigned kMaxGroups = 6;
    static constexpr unsigned kGroupSize = 50;
    // A full block needs 18001 groups; more selectors are read and dropped.
    static constexpr unsigned kMaxSelectors = 18002;

    // Starts a new block's tables.
    void Reset();
    ParseStep Parse(MsbBitReader& bits);

    unsigned bytesUsed() const { return bytesUsed_; }
    // The byte values used, in ascending order: the move-to-front list's start.
    const unsigned char* bytes() const { return bytes_; }
    // Symbols: RUNA, RUNB, one per used byte after the first, end of block.
    unsigned alphabetSize() const { return bytesUsed_ + 2; }
    unsigned selectorCount() const { return selectorCount_; }
    unsigned selector(unsigned i) const { return selectors_[i]; }
    // Null for a table whose code lengths overlap: a block may carry one it
    // never uses, and fails only when it does.
    const HuffmanCode* code(unsigned table) const { return usable_[table] ? &codes_[table] : nullptr; }

private:
    enum class Item { UsedGroups, UsedBytes, Counts, Selectors, CodeStart, CodeLengths, Done };
    ParseStep ReadSelector(MsbBitReader& bits);
    ParseStep ReadLengthChange(MsbBitReader& bits);
    void BuildCodes();

    Item item_ = Item::UsedGroups;
    uint32_t usedGroups_ = 0;
    unsigned group_ = 0;
    unsigned bytesUsed_ = 0;
    unsigned char bytes_[256];
    unsigned groupCount_ = 0;
    unsigned selectorsRead_ = 0;
    unsigned selectorCount_ = 0;
    unsigned char moveToFront_[kMaxGroups];
    unsigned char selectors_[kMaxSelectors];
    unsigned table_ = 0;
    unsigned symbol_ = 0;
    unsigned length_ = 0;
    uint8_t lengths_[kMaxGroups][HuffmanCode::kMaxSymbols];
    HuffmanCode codes_[kMaxGroups];
    bool usable_[kMaxGroups];
};

}  // namespace refengine
