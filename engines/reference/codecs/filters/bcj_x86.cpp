#include "codecs/filters/bcj_x86.h"

#include <cstring>

namespace refengine {

namespace {

// An operand's top byte as a near call leaves it: all zeros or all ones.
inline bool IsSignByte(unsigned char b) { return b == 0x00 || b == 0xFF; }

// By the opcodes seen in the three bytes before: whether this one may hold
// a converted operand, and which of its operand bytes decides a second pass.
constexpr bool kMayConvert[8] = {true, true, true, false, true, false, false, false};
constexpr uint32_t kDecidingByte[8] = {0, 1, 2, 2, 3, 3, 3, 3};

}  // namespace

size_t BcjX86::Decode(unsigned char* data, size_t size) {
    size_t i = 0;
    while (i + 5 <= size) {
        if ((data[i] & 0xFE) != 0xE8) {
            ++i;
            continue;
        }
        uint64_t here = position_ + i;
        uint64_t gap = seenOpcode_ ? here - lastOpcode_ : 4;
        seenOpcode_ = true;
        lastOpcode_ = here;
        if (gap > 3) {
            mask_ = 0;
        } else {
            mask_ = (mask_ << (gap - 1)) & 7;
            if (mask_ != 0 && (!kMayConvert[mask_] || IsSignByte(data[i + 4 - kDecidingByte[mask_]]))) {
                mask_ = ((mask_ << 1) & 7) | 1;
                ++i;
                continue;
            }
        }
        if (!IsSignByte(data[i + 4])) {
            mask_ = ((mask_ << 1) & 7) | 1;
            ++i;
            continue;
        }
        uint32_t value = static_cast<uint32_t>(data[i + 1]) | static_cast<uint32_t>(data[i + 2]) << 8 |
                         static_cast<uint32_t>(data[i + 3]) << 16 | static_cast<uint32_t>(data[i + 4]) << 24;
        uint32_t next = start_ + static_cast<uint32_t>(here) + 5;
        uint32_t target;
        for (;;) {
            target = value - next;
            if (mask_ == 0) break;
            uint32_t shift = kDecidingByte[mask_] * 8;
            if (!IsSignByte(static_cast<unsigned char>(target >> (24 - shift)))) break;
            value = target ^ ((1u << (32 - shift)) - 1);
        }
        data[i + 1] = static_cast<unsigned char>(target);
        data[i + 2] = static_cast<unsigned char>(target >> 8);
        data[i + 3] = static_cast<unsigned char>(target >> 16);
        data[i + 4] = (target >> 24) & 1 ? 0xFF : 0x00;
        i += 5;
    }
    position_ += i;
    return i;
}

bool BcjX86Sink::Take(const unsigned char* bytes, uint32_t count) {
    while (count > 0) {
        uint32_t n = kBufferSize - held_;
        if (n > count) n = count;
        std::memcpy(buffer_ + held_, bytes, n);
        held_ += n;
        bytes += n;
        count -= n;
        uint32_t done = static_cast<uint32_t>(bcj_.Decode(buffer_, held_));
        if (done == 0) continue;
        if (!next_.Take(buffer_, done)) return false;
        held_ -= done;
        std::memmove(buffer_, buffer_ + done, held_);
    }
    return true;
}

bool BcjX86Sink::Finish() {
    // Too short to be an instruction: passed on as they are.
    uint32_t count = held_;
    held_ = 0;
    return count == 0 || next_.Take(buffer_, count);
}

}  // namespace refengine
