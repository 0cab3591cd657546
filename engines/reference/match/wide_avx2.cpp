// The filter's sweep with AVX2: eight windows a step.
#include "wide_filter.h"
#include "wide_x86.h"

#ifdef REFENGINE_X86

namespace refengine {
namespace widefilter {

struct Avx2Constants {
    __m256i lanes, multiplier, maskMultiplier, low5, one, shuffleOne, shuffleTwo;
    __m128i shift;
    int loads;  // as Ssse3Keys::loads, each 128-bit half taking four windows
};

// Eight keys at p, p + stride, ... p + 7 stride: shuffled out of loads
// where the strides are short, gathered where they are not.
WIDE_INLINE("avx2") __m256i Keys8(const unsigned char* p, size_t stride, const Avx2Constants& k) {
    if (k.loads == 1) {
        return _mm256_shuffle_epi8(
            _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(p)), Load128(p + 4 * stride), 1), k.shuffleOne);
    }
    if (k.loads == 2) {
        const __m256i a = _mm256_shuffle_epi8(
            _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(p)), Load128(p + 4 * stride), 1), k.shuffleOne);
        const __m256i b = _mm256_shuffle_epi8(
            _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(p + 2 * stride)), Load128(p + 6 * stride), 1),
            k.shuffleTwo);
        return _mm256_or_si256(a, b);
    }
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(p), k.lanes, 1);
}

// Eight windows at once.
WIDE_INLINE("avx2") unsigned Test8(const uint32_t* bitmap, __m256i keys, const Avx2Constants& k) {
    const __m256i word = _mm256_srl_epi32(_mm256_mullo_epi32(keys, k.multiplier), k.shift);
    // Loads of their own for the bitmap words: a gather waits for its
    // slowest lane, and with large bases most of them miss the cache.
    const __m128i lo = _mm256_castsi256_si128(word), hi = _mm256_extracti128_si256(word, 1);
    const __m256i words = _mm256_setr_epi32(static_cast<int>(bitmap[static_cast<uint32_t>(_mm_cvtsi128_si32(lo))]),
                                            static_cast<int>(bitmap[static_cast<uint32_t>(_mm_extract_epi32(lo, 1))]),
                                            static_cast<int>(bitmap[static_cast<uint32_t>(_mm_extract_epi32(lo, 2))]),
                                            static_cast<int>(bitmap[static_cast<uint32_t>(_mm_extract_epi32(lo, 3))]),
                                            static_cast<int>(bitmap[static_cast<uint32_t>(_mm_cvtsi128_si32(hi))]),
                                            static_cast<int>(bitmap[static_cast<uint32_t>(_mm_extract_epi32(hi, 1))]),
                                            static_cast<int>(bitmap[static_cast<uint32_t>(_mm_extract_epi32(hi, 2))]),
                                            static_cast<int>(bitmap[static_cast<uint32_t>(_mm_extract_epi32(hi, 3))]));
    const __m256i h = _mm256_mullo_epi32(keys, k.maskMultiplier);
    const __m256i mask = _mm256_or_si256(_mm256_sllv_epi32(k.one, _mm256_srli_epi32(h, 27)),
                                         _mm256_sllv_epi32(k.one, _mm256_and_si256(_mm256_srli_epi32(h, 22), k.low5)));
    const __m256i pass = _mm256_cmpeq_epi32(_mm256_and_si256(words, mask), mask);
    return static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(pass)));
}

WIDE_ENTRY("avx2")
size_t SweepAvx2(const AnchorGroup& group, const unsigned char* bytes, size_t at, size_t end, size_t* hits,
                 size_t& count) {
    const size_t s = group.stride;
    const int si = static_cast<int>(s);
    const Ssse3Keys halves = MakeSsse3Keys(s);
    const Avx2Constants k{_mm256_setr_epi32(0, si, 2 * si, 3 * si, 4 * si, 5 * si, 6 * si, 7 * si),
                          _mm256_set1_epi32(static_cast<int>(group.multiplier)),
                          _mm256_set1_epi32(static_cast<int>(AnchorGroup::kMaskMultiplier)),
                          _mm256_set1_epi32(31),
                          _mm256_set1_epi32(1),
                          _mm256_broadcastsi128_si256(halves.one),
                          _mm256_broadcastsi128_si256(halves.two),
                          _mm_cvtsi32_si128(static_cast<int>(group.shift)),
                          halves.loads};
    // A step's last byte read must be at most end + 2.
    const size_t reach = halves.loads == 1 ? 4 * s + 16 : halves.loads == 2 ? 6 * s + 16 : 7 * s + 4;
    const uint32_t* bitmap = group.bitmap.data();
    // Thirty-two positions a round while they fit, then eight.
    while (count + 32 <= kWideHits && at + 24 * s + reach <= end + 3) {
        const unsigned char* p = bytes + at;
        unsigned m = Test8(bitmap, Keys8(p, s, k), k);
        m |= Test8(bitmap, Keys8(p + 8 * s, s, k), k) << 8;
        m |= Test8(bitmap, Keys8(p + 16 * s, s, k), k) << 16;
        m |= Test8(bitmap, Keys8(p + 24 * s, s, k), k) << 24;
        Emit(m, at, s, hits, count);
        at += 32 * s;
    }
    while (count + 8 <= kWideHits && at + reach <= end + 3) {
        Emit(Test8(bitmap, Keys8(bytes + at, s, k), k), at, s, hits, count);
        at += 8 * s;
    }
    return at;
}

}  // namespace widefilter
}  // namespace refengine

#endif
