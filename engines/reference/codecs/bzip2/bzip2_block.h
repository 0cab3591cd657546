// One bzip2 block between its symbols and its bytes: the block sort's last
// column as decoded, turned back into the block's text and out of the
// first run-length stage into the sink, with the block's CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/codec.h"

namespace refengine {

class Bzip2Block {
public:
    static constexpr uint32_t kLevelBytes = 100000;
    // Output goes to the sink in pieces of at most this many bytes.
    static constexpr uint32_t kChunk = 16384;

    // Heap a stream of block size level (1 to 9) needs.
    static size_t MemoryFor(unsigned level) { return size_t(level) * kLevelBytes * sizeof(uint32_t) + kChunk; }

    Bzip2Block() = default;
    Bzip2Block(const Bzip2Block&) = delete;
    Bzip2Block& operator=(const Bzip2Block&) = delete;

    // False when the allocation fails. A smaller level keeps what is there.
    bool Reserve(unsigned level);
    uint32_t capacity() const { return capacity_; }
    // The block's bytes go into the low 8 bits, the upper bits zero.
    uint32_t* column() { return links_.get(); }

    enum class Result { Done, Stopped, Damaged };
    // counts: how often each byte value occurs among the length decoded;
    // origin < length. *crc: the block CRC of the bytes handed on.
    Result Emit(uint32_t length, uint32_t origin, const uint32_t counts[256], ByteSink& out, uint32_t* crc);

private:
    std::unique_ptr<uint32_t[]> links_;
    std::unique_ptr<unsigned char[]> chunk_;
    uint32_t capacity_ = 0;
};

}  // namespace refengine
