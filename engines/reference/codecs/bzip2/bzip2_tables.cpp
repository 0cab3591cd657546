#include "bzip2_tables.h"

namespace refengine {

void Bzip2Tables::Reset() {
    item_ = Item::UsedGroups;
    group_ = 0;
    bytesUsed_ = 0;
    selectorsRead_ = 0;
    table_ = 0;
    symbol_ = 0;
}

ParseStep Bzip2Tables::Parse(MsbBitReader& bits) {
    for (;;) {
        switch (item_) {
            case Item::UsedGroups:
                // One bit per 16 byte values, then 16 bits for each group marked.
                if (!bits.Have(16)) return ParseStep::NeedInput;
                usedGroups_ = bits.Take(16);
                group_ = 0;
                item_ = Item::UsedBytes;
                break;
            case Item::UsedBytes:
                while (group_ < 16) {
                    if (usedGroups_ & (0x8000u >> group_)) {
                        if (!bits.Have(16)) return ParseStep::NeedInput;
                        uint32_t used = bits.Take(16);
                        for (unsigned b = 0; b < 16; ++b) {
                            if (used & (0x8000u >> b)) bytes_[bytesUsed_++] = (unsigned char)(group_ * 16 + b);
                        }
                    }
                    ++group_;
                }
                if (bytesUsed_ == 0) return ParseStep::Damaged;
                item_ = Item::Counts;
                break;
            case Item::Counts: {
                if (!bits.Have(18)) return ParseStep::NeedInput;
                groupCount_ = bits.Take(3);
                unsigned selectors = bits.Take(15);
                if (groupCount_ < 2 || groupCount_ > kMaxGroups || selectors == 0) return ParseStep::Damaged;
                selectorCount_ = selectors;
                selectorsRead_ = 0;
                for (unsigned i = 0; i < kMaxGroups; ++i) moveToFront_[i] = (unsigned char)i;
                item_ = Item::Selectors;
                break;
            }
            case Item::Selectors:
                while (selectorsRead_ < selectorCount_) {
                    ParseStep step = ReadSelector(bits);
                    if (step != ParseStep::Done) return step;
                }
                if (selectorCount_ > kMaxSelectors) selectorCount_ = kMaxSelectors;
                table_ = 0;
                item_ = Item::CodeStart;
                break;
            case Item::CodeStart:
                if (table_ == groupCount_) {
                    BuildCodes();
                    item_ = Item::Done;
                    break;
                }
                if (!bits.Have(5)) return ParseStep::NeedInput;
                length_ = bits.Take(5);
                symbol_ = 0;
                item_ = Item::CodeLengths;
                break;
            case Item::CodeLengths:
                while (symbol_ < alphabetSize()) {
                    ParseStep step = ReadLengthChange(bits);
                    if (step != ParseStep::Done) return step;
                }
                ++table_;
                item_ = Item::CodeStart;
                break;
            case Item::Done:
                return ParseStep::Done;
        }
    }
}

ParseStep Bzip2Tables::ReadSelector(MsbBitReader& bits) {
    // A selector is a table's place in a move-to-front list, in unary.
    bits.Have(kMaxGroups + 1);
    uint32_t peek = bits.Peek32();
    unsigned ones = 0;
    while (ones < bits.available() && ones < groupCount_ && (peek & (0x80000000u >> ones))) ++ones;
    if (ones == groupCount_) return ParseStep::Damaged;
    if (ones == bits.available()) return ParseStep::NeedInput;
    bits.Drop(ones + 1);
    unsigned char table = moveToFront_[ones];
    for (unsigned i = ones; i > 0; --i) moveToFront_[i] = moveToFront_[i - 1];
    moveToFront_[0] = table;
    if (selectorsRead_ < kMaxSelectors) selectors_[selectorsRead_] = table;
    ++selectorsRead_;
    return ParseStep::Done;
}

ParseStep Bzip2Tables::ReadLengthChange(MsbBitReader& bits) {
    // Each length starts from the one before: "10" adds one, "11" takes
    // one away, "0" keeps it for this symbol.
    if (length_ < 1 || length_ > HuffmanCode::kMaxLength) return ParseStep::Damaged;
    if (!bits.Have(1)) return ParseStep::NeedInput;
    uint32_t peek = bits.Peek32();
    if (!(peek & 0x80000000u)) {
        bits.Drop(1);
        lengths_[table_][symbol_++] = uint8_t(length_);
        return ParseStep::Done;
    }
    if (!bits.Have(2)) return ParseStep::NeedInput;
    peek = bits.Peek32();
    length_ = (peek & 0x40000000u) ? length_ - 1 : length_ + 1;
    bits.Drop(2);
    return ParseStep::Done;
}

void Bzip2Tables::BuildCodes() {
    for (unsigned t = 0; t < kMaxGroups; ++t) usable_[t] = false;
    for (unsigned t = 0; t < groupCount_; ++t) {
        usable_[t] =
            codes_[t].Build(lengths_[t], alphabetSize(), BitOrder::MsbFirst) != HuffmanCode::Shape::Oversubscribed;
    }
}

}  // namespace refengine
