// The literal/position parameters of an LZMA stream as one properties byte
// carries them, and the dictionary size that goes with them.
#pragma once

#include <cstdint>

namespace refengine {
namespace lzma {

struct LzmaProperties {
    uint32_t lc = 3;  // high bits of the previous byte that select a literal coder
    uint32_t lp = 0;  // low bits of the position that select a literal coder
    uint32_t pb = 2;  // low bits of the position that select the other models
};

// false when the byte is out of range (lc <= 8, lp <= 4, pb <= 4).
bool DecodeProperties(unsigned char byte, LzmaProperties* out);

// Probabilities the literal coders of these properties take.
uint32_t LiteralProbabilityCount(const LzmaProperties& props);

}  // namespace lzma
}  // namespace refengine
