#include "inflate_window.h"

#include <cstring>
#include <new>

namespace refengine {

bool InflateWindow::Allocate(uint32_t size) {
    bytes_.reset(new (std::nothrow) unsigned char[size]);
    if (!bytes_) return false;
    size_ = size;
    at_ = flushed_ = 0;
    wrapped_ = false;
    return true;
}

bool InflateWindow::Wrap(ByteSink& out) {
    bool taken = out.Take(bytes_.get() + flushed_, size_ - flushed_);
    at_ = flushed_ = 0;
    wrapped_ = true;
    return taken;
}

bool InflateWindow::Flush(ByteSink& out) {
    if (at_ == flushed_) return true;
    bool taken = out.Take(bytes_.get() + flushed_, at_ - flushed_);
    flushed_ = at_;
    return taken;
}

bool InflateWindow::Commit(uint32_t count, ByteSink& out) {
    at_ += count;
    return at_ != size_ || Wrap(out);
}

bool InflateWindow::Copy(uint32_t distance, uint32_t length, ByteSink& out) {
    unsigned char* bytes = bytes_.get();
    while (length > 0) {
        uint32_t from = at_ >= distance ? at_ - distance : at_ + size_ - distance;
        uint32_t n = length;
        if (n > size_ - at_) n = size_ - at_;
        if (n > size_ - from) n = size_ - from;
        if (from + n <= at_ || from >= at_ + n) {
            std::memcpy(bytes + at_, bytes + from, n);
        } else {
            // Overlapping: a short distance repeats what this copy wrote.
            for (uint32_t k = 0; k < n; ++k) bytes[at_ + k] = bytes[from + k];
        }
        length -= n;
        if (!Commit(n, out)) return false;
    }
    return true;
}

}  // namespace refengine
