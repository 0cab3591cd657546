// The adaptive models of an LZMA decoder other than the literal coders:
// the match/rep decisions per state, the two length coders and the
// distance coders.
#pragma once

#include <cstdint>

#include "codecs/lzma/range_decoder.h"

namespace refengine {
namespace lzma {

constexpr uint32_t kStates = 12;
constexpr uint32_t kMaxPositionStates = 16;
constexpr uint32_t kLengthToSlotStates = 4;
constexpr uint32_t kSlotBits = 6;
constexpr uint32_t kFirstFullSlot = 14;  // slots from here send their low bits through the align coder
constexpr uint32_t kAlignBits = 4;
constexpr uint32_t kSpecialDistances = 115;  // reverse trees of the slots 4 to 13, laid end to end
constexpr uint32_t kMinMatch = 2;
constexpr uint32_t kEndMarkerDistance = 0xFFFFFFFFu;

struct LengthModel {
    Probability choice;
    Probability choice2;
    Probability low[kMaxPositionStates][1 << 3];
    Probability mid[kMaxPositionStates][1 << 3];
    Probability high[1 << 8];
};

struct LzmaModels {
    Probability isMatch[kStates][kMaxPositionStates];
    Probability isRep[kStates];
    Probability isRepG0[kStates];
    Probability isRepG1[kStates];
    Probability isRepG2[kStates];
    Probability isRep0Long[kStates][kMaxPositionStates];
    Probability slot[kLengthToSlotStates][1 << kSlotBits];
    Probability special[kSpecialDistances];
    Probability align[1 << kAlignBits];
    LengthModel matchLength;
    LengthModel repLength;

    void Reset();
};

// The length of a match less kMinMatch: 0 to 271.
template <class Rc>
inline uint32_t DecodeLength(Rc& rc, LengthModel& m, uint32_t posState) {
    if (rc.Bit(&m.choice) == 0) return rc.Tree(m.low[posState], 3);
    if (rc.Bit(&m.choice2) == 0) return 8 + rc.Tree(m.mid[posState], 3);
    return 16 + rc.Tree(m.high, 8);
}

// The distance less one of a new match whose length symbol is given.
template <class Rc>
inline uint32_t DecodeDistance(Rc& rc, LzmaModels& m, uint32_t lengthSymbol) {
    uint32_t lengthState = lengthSymbol < kLengthToSlotStates - 1 ? lengthSymbol : kLengthToSlotStates - 1;
    uint32_t slot = rc.Tree(m.slot[lengthState], kSlotBits);
    if (slot < 4) return slot;
    uint32_t directBits = (slot >> 1) - 1;
    uint32_t distance = (2 | (slot & 1)) << directBits;
    if (slot < kFirstFullSlot) return distance + rc.ReverseTree(m.special + distance - slot, directBits);
    distance += rc.Direct(directBits - kAlignBits) << kAlignBits;
    return distance + rc.ReverseTree(m.align, kAlignBits);
}

}  // namespace lzma
}  // namespace refengine
