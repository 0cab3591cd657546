// The delta filter's decoder: each byte was stored as its difference from
// the byte a fixed distance (1 to 256) before it.
#pragma once

#include <cstdint>

#include "codecs/filters/filter_stage.h"

namespace refengine {

class DeltaSink : public FilterStage {
public:
    DeltaSink(ByteSink& next, uint32_t distance) : next_(next), distance_(distance) {}
    DeltaSink(const DeltaSink&) = delete;
    DeltaSink& operator=(const DeltaSink&) = delete;

    bool Take(const unsigned char* bytes, uint32_t count) override;
    bool Finish() override { return true; }

private:
    static constexpr uint32_t kBufferSize = 1u << 12;

    ByteSink& next_;
    uint32_t distance_;
    unsigned char history_[256] = {};  // the last 256 decoded bytes, newest at index_
    unsigned char index_ = 0;
    unsigned char buffer_[kBufferSize];
};

}  // namespace refengine
