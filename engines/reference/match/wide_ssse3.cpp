// The filter's sweep with SSSE3: the four windows of a step shuffled out of one or two loads.
#include "wide_filter.h"
#include "wide_x86.h"

#ifdef REFENGINE_X86

namespace refengine {
namespace widefilter {

WIDE_ENTRY("ssse3")
size_t SweepSsse3(const AnchorGroup& group, const unsigned char* bytes, size_t at, size_t end, size_t* hits,
                  size_t& count) {
    const Sse2Constants k = MakeSse2Constants(group);
    const uint32_t* bitmap = group.bitmap.data();
    const size_t s = group.stride;
    const Ssse3Keys keys = MakeSsse3Keys(s);
    // A step's last byte read must be at most end + 2.
    const size_t reach = Ssse3Reach(keys, s);
    while (count + 16 <= kWideHits && at + 12 * s + reach <= end + 3) {
        const unsigned char* p = bytes + at;
        unsigned m = static_cast<unsigned>(Test4(bitmap, Ssse3Keys4(p, s, keys), k));
        m |= static_cast<unsigned>(Test4(bitmap, Ssse3Keys4(p + 4 * s, s, keys), k)) << 4;
        m |= static_cast<unsigned>(Test4(bitmap, Ssse3Keys4(p + 8 * s, s, keys), k)) << 8;
        m |= static_cast<unsigned>(Test4(bitmap, Ssse3Keys4(p + 12 * s, s, keys), k)) << 12;
        Emit(m, at, s, hits, count);
        at += 16 * s;
    }
    while (count + 4 <= kWideHits && at + reach <= end + 3) {
        Emit(static_cast<unsigned>(Test4(bitmap, Ssse3Keys4(bytes + at, s, keys), k)), at, s, hits, count);
        at += 4 * s;
    }
    return at;
}

}  // namespace widefilter
}  // namespace refengine

#endif
