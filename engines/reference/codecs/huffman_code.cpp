#include "huffman_code.h"

#include <cstring>

namespace refengine {

HuffmanCode::Shape HuffmanCode::Build(const uint8_t* lengths, unsigned symbols, BitOrder order) {
    order_ = order;
    std::memset(count_, 0, sizeof count_);
    std::memset(table_, 0, sizeof table_);
    maxLength_ = 0;
    for (unsigned i = 0; i < symbols; ++i) {
        ++count_[lengths[i]];
        if (lengths[i] > maxLength_) maxLength_ = lengths[i];
    }
    count_[0] = 0;
    if (maxLength_ == 0) return Shape::Empty;

    // Codes still free at each length; below zero the lengths overlap.
    int32_t left = 1;
    for (unsigned len = 1; len <= kMaxLength; ++len) {
        left = (left << 1) - count_[len];
        if (left < 0) return Shape::Oversubscribed;
    }

    uint16_t offset[kMaxLength + 2];
    offset[1] = 0;
    for (unsigned len = 1; len <= kMaxLength; ++len) offset[len + 1] = uint16_t(offset[len] + count_[len]);
    for (unsigned i = 0; i < symbols; ++i) {
        if (lengths[i] != 0) sorted_[offset[lengths[i]]++] = uint16_t(i);
    }

    // Canonical codes of the short lengths into the table.
    uint32_t code = 0;
    unsigned next = 0;
    for (unsigned len = 1; len <= kTableBits && len <= maxLength_; ++len) {
        for (unsigned k = 0; k < count_[len]; ++k, ++code) {
            uint16_t entry = uint16_t(sorted_[next++] << 5 | len);
            unsigned fill = 1u << (kTableBits - len);
            if (order == BitOrder::MsbFirst) {
                uint32_t base = code << (kTableBits - len);
                for (unsigned j = 0; j < fill; ++j) table_[base + j] = entry;
            } else {
                uint32_t reversed = 0;
                for (unsigned b = 0; b < len; ++b) reversed |= ((code >> b) & 1) << (len - 1 - b);
                for (unsigned j = 0; j < fill; ++j) table_[reversed | (j << len)] = entry;
            }
        }
        code <<= 1;
    }
    return left == 0 ? Shape::Complete : Shape::Incomplete;
}

int HuffmanCode::DecodeLong(uint32_t bits, unsigned available, unsigned* symbol) const {
    // Canonical codes of one length are consecutive: walk the lengths,
    // keeping the first code of each and how many symbols came before.
    int32_t code = 0;
    int32_t first = 0;
    int32_t index = 0;
    for (unsigned len = 1; len <= maxLength_; ++len) {
        if (len > available) return 0;
        unsigned bit = order_ == BitOrder::MsbFirst ? (bits >> (31 - (len - 1))) & 1 : (bits >> (len - 1)) & 1;
        code |= int32_t(bit);
        int32_t count = count_[len];
        int32_t rank = code - first;
        if (rank < count) {
            if (rank < 0) return -1;
            *symbol = sorted_[index + rank];
            return int(len);
        }
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    return -1;
}

}  // namespace refengine
