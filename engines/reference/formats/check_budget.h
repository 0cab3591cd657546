// What one check may unpack, in all its archives and levels together. A
// member past a bound is answered as not unpacked (0x80), never as clean.
#pragma once

#include <chrono>
#include <cstdint>

namespace refengine {

struct UnpackLimits {
    uint64_t memberBytes;
    uint64_t checkBytes;
    uint32_t checkMilliseconds;
    // What one decoder may allocate (dictionaries, tables): larger ones are
    // refused before they are allocated.
    uint64_t decoderMemory = 128ull << 20;
};
constexpr UnpackLimits kUnpackLimits = {100ull << 20, 400ull << 20, 30000};

class CheckBudget {
public:
    explicit CheckBudget(const UnpackLimits& limits = kUnpackLimits) : limits_(limits) { Restart(); }
    // A new check: nothing unpacked yet, and its time starts now.
    void Restart();
    // False once the check has unpacked more than its bound or run out of time.
    bool Spend(uint64_t bytes);
    const UnpackLimits& limits() const { return limits_; }

private:
    UnpackLimits limits_;
    uint64_t unpacked_ = 0;
    std::chrono::steady_clock::time_point deadline_;
};

}  // namespace refengine
