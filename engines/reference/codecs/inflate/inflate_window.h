// The window an inflater copies matches from, which is also its output
// buffer: bytes go to the sink when the window wraps and when a decoder
// is done with its input, so the sink sees pieces of at most the window.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/codec.h"

namespace refengine {

class InflateWindow {
public:
    InflateWindow() = default;
    InflateWindow(const InflateWindow&) = delete;
    InflateWindow& operator=(const InflateWindow&) = delete;

    bool Allocate(uint32_t size);
    bool allocated() const { return bytes_ != nullptr; }
    // How far back a match may reach: what was written, up to the window.
    uint32_t reach() const { return wrapped_ ? size_ : at_; }

    // False when the sink refused the bytes of a full window.
    bool Put(unsigned char byte, ByteSink& out) {
        bytes_[at_++] = byte;
        return at_ != size_ || Wrap(out);
    }
    // Repeats length bytes from distance back (1 <= distance <= reach()).
    bool Copy(uint32_t distance, uint32_t length, ByteSink& out);
    // Room up to the window's end, for bytes copied in by the caller.
    unsigned char* space(uint32_t* room) {
        *room = size_ - at_;
        return bytes_.get() + at_;
    }
    bool Commit(uint32_t count, ByteSink& out);
    // Hands on everything written since the last time.
    bool Flush(ByteSink& out);

private:
    bool Wrap(ByteSink& out);

    std::unique_ptr<unsigned char[]> bytes_;
    uint32_t size_ = 0;
    uint32_t at_ = 0;       // where the next byte goes
    uint32_t flushed_ = 0;  // bytes before it already handed on
    bool wrapped_ = false;
};

}  // namespace refengine
