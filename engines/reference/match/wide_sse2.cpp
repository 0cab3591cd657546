// The filter's sweep with SSE2: four windows a step.
#include "wide_filter.h"
#include "wide_x86.h"

#ifdef REFENGINE_X86

namespace refengine {
namespace widefilter {

WIDE_ENTRY("sse2")
size_t SweepSse2(const AnchorGroup& group, const unsigned char* bytes, size_t at, size_t end, size_t* hits,
                 size_t& count) {
    const Sse2Constants k = MakeSse2Constants(group);
    const uint32_t* bitmap = group.bitmap.data();
    const size_t s = group.stride;
    // Sixteen positions a round while they fit, then four.
    while (count + 16 <= kWideHits && at + 15 * s < end) {
        const unsigned char* p = bytes + at;
        unsigned m = static_cast<unsigned>(Test4(bitmap, Keys4(p, s), k));
        m |= static_cast<unsigned>(Test4(bitmap, Keys4(p + 4 * s, s), k)) << 4;
        m |= static_cast<unsigned>(Test4(bitmap, Keys4(p + 8 * s, s), k)) << 8;
        m |= static_cast<unsigned>(Test4(bitmap, Keys4(p + 12 * s, s), k)) << 12;
        Emit(m, at, s, hits, count);
        at += 16 * s;
    }
    while (count + 4 <= kWideHits && at + 3 * s < end) {
        Emit(static_cast<unsigned>(Test4(bitmap, Keys4(bytes + at, s), k)), at, s, hits, count);
        at += 4 * s;
    }
    return at;
}

}  // namespace widefilter
}  // namespace refengine

#endif
