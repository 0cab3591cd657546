// Each vector sweep against the plain bitmap test it stands for: the same
// positions in the same order for every stride and length, with bitmaps
// dense enough that the hit list fills up, and no byte read past the last
// window (the buffers are exactly that long, for AddressSanitizer).
#include "match/wide_filter.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "match/anchor_group.h"

using namespace refengine;

namespace {

std::vector<size_t> PlainHits(const AnchorGroup& group, const unsigned char* bytes, size_t end) {
    std::vector<size_t> hits;
    for (size_t i = 0; i < end; i += group.stride) {
        const uint32_t key = WindowKey<4>(bytes + i);
        if (group.MayHold(key)) hits.push_back(i);
    }
    return hits;
}

// The sweep as the scanner drives it; positions it leaves to the plain loop
// are reported as such.
std::vector<size_t> WideHits(WideSweep wide, const AnchorGroup& group, const unsigned char* bytes, size_t end) {
    std::vector<size_t> hits;
    size_t buffer[kWideHits], at = 0;
    for (;;) {
        size_t count = 0;
        const size_t next = wide(group, bytes, at, end, buffer, count);
        hits.insert(hits.end(), buffer, buffer + count);
        if (next == at) break;
        at = next;
    }
    for (; at < end; at += group.stride) {
        if (group.MayHold(WindowKey<4>(bytes + at))) hits.push_back(at);
    }
    return hits;
}

}  // namespace

TEST(WideFilter, EverySweepReportsThePositionsOfThePlainTest) {
    std::mt19937 random(4242);
    int compared = 0;
    for (FilterPath path : kFilterPaths) {
        if (path == FilterPath::Scalar || !FilterPathAvailable(path)) continue;
        const WideSweep wide = WideSweepOf(path);
        ASSERT_NE(wide, nullptr) << FilterPathName(path);
        for (uint32_t stride = 1; stride <= 16; ++stride) {
            // One bitmap bit in two set, then one in 16: many hits, then few.
            for (uint32_t density : {2u, 16u}) {
                AnchorGroup group;
                group.width = 4;
                group.stride = stride;
                group.multiplier = 0x9E3779B1u;
                group.shift = 32 - 10;
                group.bitmap.resize(1u << 10);
                for (uint32_t& word : group.bitmap) {
                    word = 0;
                    for (int b = 0; b < 32; ++b) word |= (random() % density == 0 ? 1u : 0u) << b;
                }
                for (size_t end : {size_t{0}, size_t{1}, size_t{7}, size_t{40}, size_t{333}, size_t{1500}}) {
                    // Positions below end have a whole window: end + 3 bytes.
                    const size_t length = end + 3;
                    std::unique_ptr<unsigned char[]> bytes(new unsigned char[length]);
                    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(random());
                    ASSERT_EQ(WideHits(wide, group, bytes.get(), end), PlainHits(group, bytes.get(), end))
                        << FilterPathName(path) << " stride " << stride << " end " << end;
                    ++compared;
                }
            }
        }
    }
    // Nothing to compare where the processor has no vector path at all.
    if (!FilterPathAvailable(FilterPath::Sse2)) GTEST_SKIP() << "no vector path on this processor";
    EXPECT_GT(compared, 0);
}
