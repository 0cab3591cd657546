#include "codecs/xz/xz_block.h"

#include "codecs/filters/bcj_x86.h"
#include "codecs/filters/delta_filter.h"
#include "codecs/lzma/lzma2_decoder.h"

namespace refengine {
namespace xz {

void BlockOutput::Begin(unsigned char checkType, uint64_t declaredSize) {
    check_ = XzCheck(checkType);
    declared_ = declaredSize;
    produced_ = 0;
    overran_ = false;
}

bool BlockOutput::Take(const unsigned char* bytes, uint32_t count) {
    if (declared_ != kUnknownSize && count > declared_ - produced_) {
        overran_ = true;
        return false;
    }
    produced_ += count;
    check_.Update(bytes, count);
    return sink_->Take(bytes, count);
}

ParseResult FilterChain::Build(const BlockHeader& header, ByteSink& end, uint32_t* dictionarySize) {
    for (auto& stage : stages_) stage.reset();
    count_ = 0;
    input_ = &end;
    const FilterFlags& last = header.filters[header.filterCount - 1];
    if (last.id != kFilterLzma2 || last.propertiesSize != 1) return ParseResult::Unsupported;
    if (!lzma::Lzma2DictionarySize(last.properties[0], dictionarySize)) return ParseResult::Unsupported;
    // The first filter listed is the last to act while decoding: build
    // from the sink's end towards the LZMA2 decoder.
    for (uint32_t i = 0; i + 1 < header.filterCount; ++i) {
        const FilterFlags& filter = header.filters[i];
        if (filter.id == kFilterX86 && (filter.propertiesSize == 0 || filter.propertiesSize == 4)) {
            uint32_t start = filter.propertiesSize == 4 ? ReadLe32(filter.properties) : 0;
            stages_[count_].reset(new BcjX86Sink(*input_, start));
        } else if (filter.id == kFilterDelta && filter.propertiesSize == 1) {
            stages_[count_].reset(new DeltaSink(*input_, filter.properties[0] + 1u));
        } else {
            return ParseResult::Unsupported;
        }
        input_ = stages_[count_].get();
        ++count_;
    }
    return ParseResult::Ok;
}

bool FilterChain::Finish() {
    // Nearest the decoder first: what it lets go passes through the rest.
    for (uint32_t i = count_; i-- > 0;) {
        if (!stages_[i]->Finish()) return false;
    }
    return true;
}

}  // namespace xz
}  // namespace refengine
