// The sliding dictionary of an LZ decoder: a circular buffer that holds the
// last decoded bytes for matches to copy from, and hands what was decoded
// to the sink in chunks no longer than kMaxChunk. The buffer starts small
// and doubles as the data fills it, up to the dictionary size, so a small
// stream with a large dictionary takes little memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/codec.h"

namespace refengine {
namespace lzma {

class LzWindow {
public:
    static constexpr uint32_t kMaxChunk = 1u << 16;

    LzWindow() = default;
    LzWindow(const LzWindow&) = delete;
    LzWindow& operator=(const LzWindow&) = delete;

    // The bytes a window of this dictionary size takes (never less than
    // 4 KiB, whole 16-byte units, so position bits agree with the encoder).
    static uint64_t BytesFor(uint32_t dictionarySize);
    // Makes the window grow to hold dictionarySize bytes, keeping the
    // buffer it has. False when not even the first part can be had; the
    // caller has checked the full size against its limit first.
    bool Reserve(uint32_t dictionarySize);
    // Forgets every byte decoded so far (what was not flushed is lost).
    void Reset();

    // Hands the bytes decoded since the last flush to out; at the buffer's
    // end grows it or wraps. False when the sink refused them or the
    // buffer could not grow (then outOfMemory()).
    bool Flush(ByteSink& out);
    bool outOfMemory() const { return outOfMemory_; }
    // Stored bytes: copied in as decoded history and flushed as they go.
    bool Append(const unsigned char* bytes, size_t count, ByteSink& out);

    // The index the decoder may fill up to before the next flush.
    uint32_t Limit() const { return size - flushed > kMaxChunk ? flushed + kMaxChunk : size; }
    bool NeedsFlush() const { return pos == size || pos - flushed >= kMaxChunk; }
    // Counts count bytes just written at pos (pos already moved on).
    void Advance(uint32_t count) {
        total += count;
        full = size - full <= count ? size : full + count;
    }

    unsigned char* data() { return buffer_.get(); }

    // The decoder's hot loop reads and moves these directly.
    uint32_t size = 0;     // bytes in use of the buffer
    uint32_t pos = 0;      // where the next byte goes
    uint32_t flushed = 0;  // bytes before this were handed on
    uint32_t full = 0;     // bytes of history a match may reach
    uint32_t total = 0;    // bytes since the last reset, modulo 2^32: the position bits

private:
    static constexpr uint32_t kFirstSize = 1u << 16;

    bool Grow();

    std::unique_ptr<unsigned char[]> buffer_;
    uint32_t capacity_ = 0;
    uint32_t target_ = 0;  // the size the dictionary asks for
    bool outOfMemory_ = false;
};

}  // namespace lzma
}  // namespace refengine
