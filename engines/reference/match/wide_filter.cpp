#include "wide_filter.h"

#include <cstdlib>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define REFENGINE_X86 1
#endif

namespace refengine {
namespace {

const char* const kNames[] = {"scalar", "sse2", "ssse3", "avx2"};

#ifdef REFENGINE_X86

bool CpuHas(FilterPath path) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool sse2 = d & (1u << 26), ssse3 = c & (1u << 9);
    switch (path) {
        case FilterPath::Scalar:
            return true;
        case FilterPath::Sse2:
            return sse2;
        case FilterPath::Ssse3:
            return sse2 && ssse3;
        case FilterPath::Avx2: {
            // The system must save the wide registers too (OSXSAVE, XCR0).
            const bool osxsave = c & (1u << 27), avx = c & (1u << 28);
            if (!osxsave || !avx) return false;
            unsigned lo = 0, hi = 0;
            __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(lo), "=d"(hi) : "c"(0));  // xgetbv
            if ((lo & 6) != 6) return false;
            if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
            return b & (1u << 5);
        }
    }
    return false;
}

// Windows gives a 32-bit thread only 4-byte stack alignment; the vector
// code keeps its spills aligned by realigning on entry.
#ifdef __i386__
#define WIDE_ENTRY(isa) __attribute__((target(isa), force_align_arg_pointer))
#else
#define WIDE_ENTRY(isa) __attribute__((target(isa)))
#endif
#define WIDE_INLINE(isa) static inline __attribute__((always_inline, target(isa)))

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

struct Avx2Constants {
    __m256i lanes, multiplier, maskMultiplier, low5, one, shuffleOne, shuffleTwo;
    __m128i shift;
    int loads;  // as Ssse3Keys::loads, each 128-bit half taking four windows
};

WIDE_INLINE("sse2") __m128i Load128(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

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

WideSweep SweepOf(FilterPath path) {
    switch (path) {
        case FilterPath::Sse2:
            return SweepSse2;
        case FilterPath::Ssse3:
            return SweepSsse3;
        case FilterPath::Avx2:
            return SweepAvx2;
        case FilterPath::Scalar:
            break;
    }
    return nullptr;
}

#else

bool CpuHas(FilterPath path) { return path == FilterPath::Scalar; }
WideSweep SweepOf(FilterPath) { return nullptr; }

#endif

FilterPath Choose() {
    if (const char* named = std::getenv("ORLIX_MATCHER_PATH")) {
        for (FilterPath path : kFilterPaths) {
            if (std::strcmp(named, FilterPathName(path)) == 0 && CpuHas(path)) return path;
        }
    }
    FilterPath best = FilterPath::Scalar;
    for (FilterPath path : kFilterPaths) {
        if (CpuHas(path)) best = path;
    }
    return best;
}

}  // namespace

const char* FilterPathName(FilterPath path) { return kNames[static_cast<int>(path)]; }

bool FilterPathAvailable(FilterPath path) { return CpuHas(path); }

FilterPath BestFilterPath() { return Choose(); }

WideSweep WideSweepOf(FilterPath path) { return SweepOf(path); }

}  // namespace refengine
