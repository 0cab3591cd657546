#include "codecs/lzma/lz_window.h"

#include <cstring>
#include <new>

namespace refengine {
namespace lzma {

uint64_t LzWindow::BytesFor(uint32_t dictionarySize) {
    uint64_t bytes = dictionarySize < 4096 ? 4096 : dictionarySize;
    return (bytes + 15) & ~uint64_t{15};
}

bool LzWindow::Reserve(uint32_t dictionarySize) {
    uint64_t bytes = BytesFor(dictionarySize);
    // A 32-bit buffer index must reach every byte, and size_t must hold it.
    if (bytes > 0xFFFFFFF0u || bytes > SIZE_MAX) return false;
    target_ = static_cast<uint32_t>(bytes);
    outOfMemory_ = false;
    uint32_t first = target_ < kFirstSize ? target_ : kFirstSize;
    if (capacity_ < first) {
        buffer_.reset();
        capacity_ = 0;
        size = 0;
        buffer_.reset(new (std::nothrow) unsigned char[first]);
        if (!buffer_) return false;
        capacity_ = first;
    }
    size = capacity_ < target_ ? capacity_ : target_;
    Reset();
    return true;
}

bool LzWindow::Grow() {
    uint32_t next = target_ - size > size ? size * 2 : target_;
    if (next > capacity_) {
        std::unique_ptr<unsigned char[]> bigger(new (std::nothrow) unsigned char[next]);
        if (!bigger) {
            outOfMemory_ = true;
            return false;
        }
        std::memcpy(bigger.get(), buffer_.get(), size);
        buffer_ = std::move(bigger);
        capacity_ = next;
    }
    size = next;
    return true;
}

void LzWindow::Reset() {
    pos = 0;
    flushed = 0;
    full = 0;
    total = 0;
}

bool LzWindow::Flush(ByteSink& out) {
    if (pos > flushed) {
        uint32_t count = pos - flushed;
        flushed = pos;
        if (!out.Take(buffer_.get() + pos - count, count)) return false;
    }
    if (pos == size) {
        // Until the buffer has its full size nothing has wrapped: the
        // history is the buffer's start, and a bigger copy keeps it.
        if (size < target_) return Grow();
        pos = 0;
        flushed = 0;
    }
    return true;
}

bool LzWindow::Append(const unsigned char* bytes, size_t count, ByteSink& out) {
    while (count > 0) {
        if (NeedsFlush() && !Flush(out)) return false;
        uint32_t room = Limit() - pos;
        uint32_t n = count < room ? static_cast<uint32_t>(count) : room;
        std::memcpy(buffer_.get() + pos, bytes, n);
        pos += n;
        Advance(n);
        bytes += n;
        count -= n;
    }
    return Flush(out);
}

}  // namespace lzma
}  // namespace refengine
