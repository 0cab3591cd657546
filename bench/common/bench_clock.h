// The benchmarks' clock: seconds from a monotonic source.
#pragma once

#include <chrono>

inline double BenchSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
