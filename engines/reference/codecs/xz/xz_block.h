// The decoded side of one .xz block: the filters its header lists in front
// of the sink, and an end stage that checks the size the header declared
// and computes the stream's check over what passes.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/codec.h"
#include "codecs/filters/filter_stage.h"
#include "codecs/xz/xz_check.h"
#include "codecs/xz/xz_records.h"

namespace refengine {
namespace xz {

class BlockOutput : public ByteSink {
public:
    explicit BlockOutput(unsigned char checkType) : check_(checkType) {}
    BlockOutput(const BlockOutput&) = delete;
    BlockOutput& operator=(const BlockOutput&) = delete;

    void Begin(unsigned char checkType, uint64_t declaredSize);
    // The sink of the current call; bytes pass on to it.
    void SetSink(ByteSink* sink) { sink_ = sink; }
    bool Take(const unsigned char* bytes, uint32_t count) override;

    uint64_t produced() const { return produced_; }
    // True when the block decoded to more than its header declared.
    bool overran() const { return overran_; }
    XzCheck& check() { return check_; }

private:
    XzCheck check_;
    ByteSink* sink_ = nullptr;
    uint64_t declared_ = kUnknownSize;
    uint64_t produced_ = 0;
    bool overran_ = false;
};

// The filters of a block other than the last, built in front of an end sink.
class FilterChain {
public:
    // Unsupported for filters we do not decode and for lists no encoder
    // writes; *dictionarySize from the LZMA2 filter that must come last.
    ParseResult Build(const BlockHeader& header, ByteSink& end, uint32_t* dictionarySize);
    // Where the LZMA2 decoder's output goes.
    ByteSink& input() { return *input_; }
    // Passes on what the filters hold back; false when a sink refused.
    bool Finish();

private:
    std::unique_ptr<FilterStage> stages_[kMaxFilters - 1];
    uint32_t count_ = 0;
    ByteSink* input_ = nullptr;
};

}  // namespace xz
}  // namespace refengine
