// The building blocks every vector path of the filter shares, for x86
// processors: the window keys four at a time, the bitmap test, and the
// positions that pass. Each path's sweep is in a file of its own.
#pragma once

#if defined(__i386__) || defined(__x86_64__)
#define REFENGINE_X86 1
#endif

#ifdef REFENGINE_X86

#include <immintrin.h>

#include <cstring>

#include "anchor_group.h"

// Windows gives a 32-bit thread only 4-byte stack alignment; the vector
// code keeps its spills aligned by realigning on entry.
#ifdef __i386__
#define WIDE_ENTRY(isa) __attribute__((target(isa), force_align_arg_pointer))
#else
#define WIDE_ENTRY(isa) __attribute__((target(isa)))
#endif
#define WIDE_INLINE(isa) static inline __attribute__((always_inline, target(isa)))

namespace refengine {
namespace widefilter {

// The same formulas as AnchorGroup::Word and AnchorGroup::MaskOf<4>, four
// windows at a time.

WIDE_INLINE("sse2") __m128i Load32(const unsigned char* p) {
    int v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
}

// Four keys at p, p + stride, p + 2 stride, p + 3 stride.
WIDE_INLINE("sse2") __m128i Keys4(const unsigned char* p, size_t stride) {
    const __m128i lo = _mm_unpacklo_epi32(Load32(p), Load32(p + stride));
    const __m128i hi = _mm_unpacklo_epi32(Load32(p + 2 * stride), Load32(p + 3 * stride));
    return _mm_unpacklo_epi64(lo, hi);
}

// Low 32 bits of a * b per lane; b holds one value in every lane.
WIDE_INLINE("sse2") __m128i Mul32(__m128i a, __m128i b) {
    const __m128i even = _mm_mul_epu32(a, b);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), b);
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

// 1 << n per lane, n 0 to 31, through the float 2^n: SSE2 has no shift by
// a count per lane. 2^31 converts to 0x80000000, which is 1 << 31 as well.
WIDE_INLINE("sse2") __m128i Pow2(__m128i n) {
    const __m128i bits = _mm_slli_epi32(_mm_add_epi32(n, _mm_set1_epi32(127)), 23);
    return _mm_cvttps_epi32(_mm_castsi128_ps(bits));
}

struct Sse2Constants {
    __m128i multiplier, maskMultiplier, shift, low5;
};

// A bit for each of the four windows whose two bitmap bits are both set.
WIDE_INLINE("sse2") int Test4(const uint32_t* bitmap, __m128i keys, const Sse2Constants& k) {
    const __m128i word = _mm_srl_epi32(Mul32(keys, k.multiplier), k.shift);
    const uint32_t w0 = static_cast<uint32_t>(_mm_cvtsi128_si32(word));
    const uint32_t w1 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(word, 1)));
    const uint32_t w2 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(word, 2)));
    const uint32_t w3 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(word, 3)));
    const __m128i words = _mm_setr_epi32(static_cast<int>(bitmap[w0]), static_cast<int>(bitmap[w1]),
                                         static_cast<int>(bitmap[w2]), static_cast<int>(bitmap[w3]));
    const __m128i h = Mul32(keys, k.maskMultiplier);
    const __m128i mask = _mm_or_si128(Pow2(_mm_srli_epi32(h, 27)), Pow2(_mm_and_si128(_mm_srli_epi32(h, 22), k.low5)));
    return _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(words, mask), mask)));
}

WIDE_INLINE("sse2") Sse2Constants MakeSse2Constants(const AnchorGroup& group) {
    return Sse2Constants{_mm_set1_epi32(static_cast<int>(group.multiplier)),
                         _mm_set1_epi32(static_cast<int>(AnchorGroup::kMaskMultiplier)),
                         _mm_cvtsi32_si128(static_cast<int>(group.shift)), _mm_set1_epi32(31)};
}

// Positions at + b * stride for every set bit b of m.
inline void Emit(unsigned m, size_t at, size_t stride, size_t* hits, size_t& count) {
    for (; m; m &= m - 1) hits[count++] = at + static_cast<size_t>(__builtin_ctz(m)) * stride;
}

// The key loaders of SSSE3: one load and a shuffle where the four windows
// lie within 16 bytes, two where two of them do.
struct Ssse3Keys {
    __m128i one, two;
    int loads;  // 1, 2, or 0: the SSE2 way
};

WIDE_INLINE("ssse3") Ssse3Keys MakeSsse3Keys(size_t stride) {
    Ssse3Keys keys{_mm_setzero_si128(), _mm_setzero_si128(), 0};
    alignas(16) unsigned char one[16], two[16];
    if (3 * stride + 4 <= 16) {
        for (size_t i = 0; i < 16; ++i) one[i] = static_cast<unsigned char>(i / 4 * stride + i % 4);
        keys.one = _mm_load_si128(reinterpret_cast<const __m128i*>(one));
        keys.loads = 1;
    } else if (stride + 4 <= 16) {
        for (size_t i = 0; i < 16; ++i) {
            one[i] = i < 8 ? static_cast<unsigned char>(i / 4 * stride + i % 4) : 0x80;
            two[i] = i < 8 ? 0x80 : static_cast<unsigned char>((i - 8) / 4 * stride + i % 4);
        }
        keys.one = _mm_load_si128(reinterpret_cast<const __m128i*>(one));
        keys.two = _mm_load_si128(reinterpret_cast<const __m128i*>(two));
        keys.loads = 2;
    }
    return keys;
}

// Bytes a step of four reads from its first position on.
inline size_t Ssse3Reach(const Ssse3Keys& keys, size_t stride) {
    return keys.loads == 1 ? 16 : keys.loads == 2 ? 2 * stride + 16 : 3 * stride + 4;
}

WIDE_INLINE("ssse3") __m128i Ssse3Keys4(const unsigned char* p, size_t stride, const Ssse3Keys& keys) {
    if (keys.loads == 1) return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), keys.one);
    if (keys.loads == 2) {
        const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), keys.one);
        const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * stride)), keys.two);
        return _mm_or_si128(a, b);
    }
    return Keys4(p, stride);
}

WIDE_INLINE("sse2") __m128i Load128(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

WIDE_ENTRY("sse2")
size_t
    SweepSse2(const AnchorGroup& group, const unsigned char* bytes, size_t at, size_t end, size_t* hits, size_t& count);
WIDE_ENTRY("ssse3")
size_t SweepSsse3(const AnchorGroup& group, const unsigned char* bytes, size_t at, size_t end, size_t* hits,
                  size_t& count);
WIDE_ENTRY("avx2")
size_t
    SweepAvx2(const AnchorGroup& group, const unsigned char* bytes, size_t at, size_t end, size_t* hits, size_t& count);

}  // namespace widefilter
}  // namespace refengine

#endif
