#include "bzip2_symbols.h"

#include <cstring>

namespace refengine {

namespace {
// Symbols 0 and 1 are RUNA and RUNB, digits 1 and 2 of a run's length.
constexpr unsigned kRunB = 1;
// A run of 2^21 bytes or more outgrows any block.
constexpr unsigned kMaxRunDigits = 20;
}  // namespace

void Bzip2Symbols::Start(const Bzip2Tables& tables, uint32_t* column, uint32_t capacity) {
    tables_ = &tables;
    code_ = nullptr;
    column_ = column;
    capacity_ = capacity;
    length_ = 0;
    groupLeft_ = 0;
    selector_ = 0;
    run_ = 0;
    runDigits_ = 0;
    std::memcpy(front_, tables.bytes(), tables.bytesUsed());
    std::memset(counts_, 0, sizeof counts_);
}

ParseStep Bzip2Symbols::Decode(MsbBitReader& reader) {
    // The loop works on local copies; each way out stores them back.
    MsbBitReader bits = reader;
    const HuffmanCode* code = code_;
    unsigned groupLeft = groupLeft_;
    uint32_t length = length_;
    uint32_t run = run_;
    unsigned runDigits = runDigits_;
    const unsigned endOfBlock = tables_->alphabetSize() - 1;
    ParseStep result;
    for (;;) {
        if (groupLeft == 0) {
            if (selector_ >= tables_->selectorCount()) {
                result = ParseStep::Damaged;
                break;
            }
            code = tables_->code(tables_->selector(selector_++));
            if (!code) {
                result = ParseStep::Damaged;
                break;
            }
            groupLeft = Bzip2Tables::kGroupSize;
        }
        bits.Refill();
        unsigned symbol;
        int used = code->Decode(bits.Peek32(), bits.available(), &symbol);
        if (used <= 0) {
            result = used == 0 ? ParseStep::NeedInput : ParseStep::Damaged;
            break;
        }
        bits.Drop(unsigned(used));
        --groupLeft;
        if (symbol <= kRunB) {
            if (runDigits == kMaxRunDigits) {
                result = ParseStep::Damaged;
                break;
            }
            run += (symbol + 1) << runDigits;
            ++runDigits;
            continue;
        }
        if (runDigits != 0) {
            if (run > capacity_ - length) {
                result = ParseStep::Damaged;
                break;
            }
            unsigned char byte = front_[0];
            counts_[byte] += run;
            for (uint32_t k = 0; k < run; ++k) column_[length++] = byte;
            run = 0;
            runDigits = 0;
        }
        if (symbol == endOfBlock) {
            result = ParseStep::Done;
            break;
        }
        if (length == capacity_) {
            result = ParseStep::Damaged;
            break;
        }
        // Symbol n moves the byte at place n-1 to the front.
        unsigned place = symbol - 1;
        unsigned char byte = front_[place];
        std::memmove(front_ + 1, front_, place);
        front_[0] = byte;
        ++counts_[byte];
        column_[length++] = byte;
    }
    reader = bits;
    code_ = code;
    groupLeft_ = groupLeft;
    length_ = length;
    run_ = run;
    runDigits_ = runDigits;
    return result;
}

}  // namespace refengine
