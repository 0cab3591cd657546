// The range decoder under LZMA: adaptive binary probabilities, direct bits
// and the bit trees built from them. It normalizes after every bit, so
// between symbols it has taken exactly the bytes the encoder wrote for
// them, which is what lets a chunk's compressed size be checked exactly.
#pragma once

#include <cstdint>

namespace refengine {
namespace lzma {

using Probability = uint16_t;

constexpr uint32_t kProbabilityBits = 11;
constexpr Probability kProbabilityInit = 1u << (kProbabilityBits - 1);
constexpr uint32_t kAdaptShift = 5;
constexpr uint32_t kTopValue = 1u << 24;
// Bytes one symbol can take at most (rounded up from the information a
// symbol of the longest form can carry); with this many bytes in hand a
// symbol never runs out of input.
constexpr uint32_t kMaxSymbolInput = 24;
// The bytes that start every range-coded run: a zero, then the code.
constexpr uint32_t kRangeInitBytes = 5;

inline void ResetProbabilities(Probability* p, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) p[i] = kProbabilityInit;
}

// The decoder's registers and its window of input [in, end). Reading past
// end feeds zeros and marks the run overrun, so a wrong guess about input
// can never read outside the buffer.
struct RangeState {
    uint32_t range = 0xFFFFFFFFu;
    uint32_t code = 0;
    const unsigned char* in = nullptr;
    const unsigned char* end = nullptr;
    bool overrun = false;
};

// Probability updates are not recorded: the common case.
struct NoJournal {
    void Record(Probability*) {}
};

// Records every probability a symbol changes, so that a symbol tried on
// input that turned out too short can be taken back.
class ProbabilityJournal {
public:
    void Record(Probability* p) {
        if (count_ == kCapacity) {
            full_ = true;
            return;
        }
        entries_[count_].where = p;
        entries_[count_].value = *p;
        ++count_;
    }
    void Undo() {
        while (count_ > 0) {
            --count_;
            *entries_[count_].where = entries_[count_].value;
        }
    }
    // More changes than one symbol can make: the record is incomplete.
    bool full() const { return full_; }

private:
    static constexpr uint32_t kCapacity = 96;  // a symbol changes at most about 40
    struct Entry {
        Probability* where;
        Probability value;
    };
    Entry entries_[kCapacity];
    uint32_t count_ = 0;
    bool full_ = false;
};

template <class Journal>
struct BasicRangeDecoder : RangeState {
    Journal* journal = nullptr;

    BasicRangeDecoder(const RangeState& state, Journal* j) : RangeState(state), journal(j) {}

    void Normalize() {
        if (range < kTopValue) {
            range <<= 8;
            code <<= 8;
            if (in < end) {
                code |= *in++;
            } else {
                overrun = true;
            }
        }
    }

    uint32_t Bit(Probability* p) {
        journal->Record(p);
        uint32_t bound = (range >> kProbabilityBits) * *p;
        uint32_t bit;
        if (code < bound) {
            range = bound;
            *p = static_cast<Probability>(*p + (((1u << kProbabilityBits) - *p) >> kAdaptShift));
            bit = 0;
        } else {
            range -= bound;
            code -= bound;
            *p = static_cast<Probability>(*p - (*p >> kAdaptShift));
            bit = 1;
        }
        Normalize();
        return bit;
    }

    // count bits of equal probability, most significant first.
    uint32_t Direct(uint32_t count) {
        uint32_t value = 0;
        do {
            range >>= 1;
            uint32_t bit = code >= range ? 1u : 0u;
            code -= range & (0u - bit);
            value = (value << 1) | bit;
            Normalize();
        } while (--count != 0);
        return value;
    }

    // A tree of 2^bits probabilities; the symbol most significant bit first.
    uint32_t Tree(Probability* probs, uint32_t bits) {
        uint32_t m = 1;
        for (uint32_t i = 0; i < bits; ++i) m = (m << 1) | Bit(&probs[m]);
        return m - (1u << bits);
    }

    // The same tree read least significant bit first.
    uint32_t ReverseTree(Probability* probs, uint32_t bits) {
        uint32_t m = 1;
        uint32_t value = 0;
        for (uint32_t i = 0; i < bits; ++i) {
            uint32_t bit = Bit(&probs[m]);
            m = (m << 1) | bit;
            value |= bit << i;
        }
        return value;
    }
};

}  // namespace lzma
}  // namespace refengine
