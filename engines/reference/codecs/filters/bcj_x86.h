// The x86 branch converter's decoder: E8/E9 (CALL/JMP rel32) operands that
// an encoder turned from relative into absolute addresses are turned back.
// Whether an operand was converted depends on the bytes before it, so the
// converter keeps that history across buffers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/filters/filter_stage.h"

namespace refengine {

class BcjX86 {
public:
    explicit BcjX86(uint32_t startOffset = 0) : start_(startOffset) {}

    // Converts in place the instructions that lie wholly inside data and
    // returns how many leading bytes are final; the rest (at most four)
    // must come again at the front of the next call.
    size_t Decode(unsigned char* data, size_t size);

private:
    uint32_t start_;         // the address of the stream's first byte
    uint64_t position_ = 0;  // stream offset of data[0]
    uint64_t lastOpcode_ = 0;
    bool seenOpcode_ = false;
    uint32_t mask_ = 0;  // which of the three bytes before lastOpcode_ held an unconverted opcode
};

// BcjX86 over a stream: holds back the bytes whose fate is not yet known.
class BcjX86Sink : public FilterStage {
public:
    BcjX86Sink(ByteSink& next, uint32_t startOffset) : bcj_(startOffset), next_(next) {}
    BcjX86Sink(const BcjX86Sink&) = delete;
    BcjX86Sink& operator=(const BcjX86Sink&) = delete;

    bool Take(const unsigned char* bytes, uint32_t count) override;
    bool Finish() override;

private:
    static constexpr uint32_t kBufferSize = 1u << 14;

    BcjX86 bcj_;
    ByteSink& next_;
    unsigned char buffer_[kBufferSize];
    uint32_t held_ = 0;
};

}  // namespace refengine
