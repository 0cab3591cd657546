#include "codecs/filters/delta_filter.h"

namespace refengine {

bool DeltaSink::Take(const unsigned char* bytes, uint32_t count) {
    while (count > 0) {
        uint32_t n = count < kBufferSize ? count : kBufferSize;
        for (uint32_t i = 0; i < n; ++i) {
            unsigned char value = static_cast<unsigned char>(bytes[i] + history_[(index_ + distance_) & 0xFF]);
            history_[index_] = value;
            --index_;
            buffer_[i] = value;
        }
        if (!next_.Take(buffer_, n)) return false;
        bytes += n;
        count -= n;
    }
    return true;
}

}  // namespace refengine
