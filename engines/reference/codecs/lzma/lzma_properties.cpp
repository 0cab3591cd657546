#include "codecs/lzma/lzma_properties.h"

namespace refengine {
namespace lzma {

bool DecodeProperties(unsigned char byte, LzmaProperties* out) {
    if (byte >= 9 * 5 * 5) return false;
    out->lc = byte % 9u;
    byte = static_cast<unsigned char>(byte / 9u);
    out->lp = byte % 5u;
    out->pb = byte / 5u;
    return true;
}

uint32_t LiteralProbabilityCount(const LzmaProperties& props) { return 0x300u << (props.lc + props.lp); }

}  // namespace lzma
}  // namespace refengine
