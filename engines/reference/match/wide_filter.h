// The filter's bitmap test over many positions at once, with the vector
// instructions the processor has. Each database chooses its path; the
// scanner's plain loop stays the reference every path must agree with, and
// serves the windows of one or two bytes and the last positions of a chunk.
#pragma once

#include <cstddef>
#include <cstdint>

#include "anchor_group.h"

namespace refengine {

enum class FilterPath { Scalar, Sse2, Ssse3, Avx2 };
constexpr FilterPath kFilterPaths[] = {FilterPath::Scalar, FilterPath::Sse2, FilterPath::Ssse3, FilterPath::Avx2};

const char* FilterPathName(FilterPath path);
bool FilterPathAvailable(FilterPath path);
// The best path the processor has, or the one ORLIX_MATCHER_PATH names
// ("scalar", "sse2", "ssse3", "avx2") when the processor has that one.
FilterPath BestFilterPath();

// Room a sweep needs for the positions it reports in one call.
constexpr size_t kWideHits = 64;

// Visits positions at, at + stride, ... of a group of 4-byte windows in
// whole vector steps, each of whose positions lies below end (bytes up to
// end + 2 are readable), and appends those the bitmap lets through to hits
// in order; stops when the next step no longer fits or hits could overflow.
// The next position to visit.
typedef size_t (*WideSweep)(const AnchorGroup& group, const unsigned char* bytes, size_t at, size_t end, size_t* hits,
                            size_t& count);

// The sweep of a path; null for the plain loop.
WideSweep WideSweepOf(FilterPath path);

}  // namespace refengine
