// The filter's tables: windows of the fixed bytes of the records' pattern
// parts, grouped by width and stride. The build step fills them, the scan
// loop and its vector paths read them.
#pragma once

#include <cstdint>
#include <vector>

namespace refengine {

// One pattern part as the filter reports it.
struct PartRef {
    uint32_t signature;
    uint32_t part;
    uint32_t length;
};

// The filter's window at b: Width bytes (4, 2 or 1) as one little-endian
// number. The build step and the scan loop must agree on it exactly.
template <uint32_t Width>
inline uint32_t WindowKey(const unsigned char* b) {
    uint32_t key = b[0];
    if (Width > 1) key |= static_cast<uint32_t>(b[1]) << 8;
    if (Width > 2) key |= static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    return key;
}

inline uint32_t WindowKey(const unsigned char* b, uint32_t width) {
    return width == 4 ? WindowKey<4>(b) : width == 2 ? WindowKey<2>(b) : WindowKey<1>(b);
}

// Windows of `width` fixed bytes looked for at every `stride`-th position
// of an object. A part whose fixed run is at least width + stride - 1
// long puts `stride` consecutive windows of it in, so one of them lies on
// a visited position wherever the part occurs: the longer the runs, the
// fewer positions a byte costs. A bitmap over the hashed window says
// whether a position needs a look in the table at all; it is sized to stay
// sparse, so that clean data almost never leaves the scan loop.
struct AnchorGroup {
    struct Entry {
        uint32_t key;
        uint32_t ref;     // index of the PartRef
        uint32_t offset;  // where the window starts inside the part
    };

    uint32_t width = 4;
    uint32_t stride = 1;
    // Only parts after a record's first: nothing of them can complete a
    // match before some first part has been found.
    bool laterParts = false;
    uint32_t multiplier = 0;
    uint32_t shift = 0;  // bitmap word: (key * multiplier) >> shift
    // Two bits a window in one word of 32 (one for windows of one or two
    // bytes, which are their own bit): a false pass costs a table look-up,
    // so two bits in one memory access are worth their instructions.
    std::vector<uint32_t> bitmap;
    std::vector<Entry> entries;     // sorted by Bucket(key)
    std::vector<uint32_t> buckets;  // entries of bucket b: buckets[b] to buckets[b + 1] - 1
    uint32_t bucketShift = 31;

    static constexpr uint32_t kMaskMultiplier = 0x2C1B3C6Du;
    // The bits a window of Width bytes sets in its bitmap word.
    template <uint32_t Width>
    static uint32_t MaskOf(uint32_t key) {
        if (Width < 4) return 1u << (key & 31);
        uint32_t h = key * kMaskMultiplier;
        return 1u << (h >> 27) | 1u << ((h >> 22) & 31);
    }
    uint32_t Bucket(uint32_t key) const { return (key * 0x85EBCA6Bu) >> bucketShift; }
    uint32_t Word(uint32_t key) const { return (key * multiplier) >> shift; }
    uint32_t Mask(uint32_t key) const { return width < 4 ? MaskOf<1>(key) : MaskOf<4>(key); }
    bool empty() const { return entries.empty(); }
    bool MayHold(uint32_t key) const {
        uint32_t mask = Mask(key);
        return (bitmap[Word(key)] & mask) == mask;
    }
    bool Holds(uint32_t key) const;
};

}  // namespace refengine
