#include "wide_filter.h"

#include <cstdlib>
#include <cstring>

#include "wide_x86.h"

#ifdef REFENGINE_X86
#include <cpuid.h>
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

WideSweep SweepOf(FilterPath path) {
    switch (path) {
        case FilterPath::Sse2:
            return widefilter::SweepSse2;
        case FilterPath::Ssse3:
            return widefilter::SweepSsse3;
        case FilterPath::Avx2:
            return widefilter::SweepAvx2;
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
