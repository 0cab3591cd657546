// Bit readers over input that arrives in pieces. Both keep up to 64 bits
// of the stream in hand and are refilled from the piece attached last; a
// decoder asks for more input only when the bits in hand do not make up
// the next item, so everything it holds between pieces belongs to that
// item and whole bytes left over at a stream's end came from the current
// piece and can be given back.
//
// The fast refill loads eight bytes at once and counts only the whole
// ones that fit; the bits past the count are the next input bytes in
// their own places, so a later refill writes the same bits again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace refengine {

// Bits taken from the top of each byte first (bzip2). The next bit is bit
// 63 of the accumulator.
class MsbBitReader {
public:
    void Attach(const unsigned char* in, size_t count) {
        begin_ = next_ = in;
        end_ = in + count;
    }
    void Refill() {
        if (bits_ > 56) return;
        if (end_ - next_ >= 8) {
            uint64_t v = 0;
            for (int i = 0; i < 8; ++i) v = (v << 8) | next_[i];
            acc_ |= v >> bits_;
            next_ += (63 - bits_) >> 3;
            bits_ |= 56;
            return;
        }
        while (bits_ <= 56 && next_ != end_) {
            acc_ |= uint64_t(*next_++) << (56 - bits_);
            bits_ += 8;
        }
    }
    // True when n (at most 57) bits are in hand, refilling if needed.
    bool Have(unsigned n) {
        if (bits_ < n) Refill();
        return bits_ >= n;
    }
    unsigned available() const { return bits_; }
    // The next 32 bits, first one in bit 31; past available() they mean nothing.
    uint32_t Peek32() const { return uint32_t(acc_ >> 32); }
    // 1 <= n <= 32, n <= available().
    uint32_t Take(unsigned n) {
        uint32_t v = uint32_t(acc_ >> (64 - n));
        Drop(n);
        return v;
    }
    void Drop(unsigned n) {
        acc_ = n < 64 ? acc_ << n : 0;
        bits_ -= n;
    }
    void AlignToByte() { Drop(bits_ & 7); }
    bool inputLeft() const { return next_ != end_; }
    // Byte aligned: where in the attached input the next unread byte is.
    size_t position() const { return size_t(next_ - begin_) - (bits_ >> 3); }
    // Drops what is in hand and reads on from there, a position of the
    // attached input; afterwards consumed() counts only what the stream used.
    void RewindTo(size_t position) {
        next_ = begin_ + position;
        acc_ = 0;
        bits_ = 0;
    }
    size_t consumed() const { return size_t(next_ - begin_); }

private:
    uint64_t acc_ = 0;
    unsigned bits_ = 0;
    const unsigned char* begin_ = nullptr;
    const unsigned char* next_ = nullptr;
    const unsigned char* end_ = nullptr;
};

// Bits taken from the bottom of each byte first (Deflate). The next bit
// is bit 0 of the accumulator.
class LsbBitReader {
public:
    void Attach(const unsigned char* in, size_t count) {
        begin_ = next_ = in;
        end_ = in + count;
    }
    void Refill() {
        if (bits_ > 56) return;
        if (end_ - next_ >= 8) {
            uint64_t v = 0;
            for (int i = 7; i >= 0; --i) v = (v << 8) | next_[i];
            acc_ |= v << bits_;
            next_ += (63 - bits_) >> 3;
            bits_ |= 56;
            return;
        }
        while (bits_ <= 56 && next_ != end_) {
            acc_ |= uint64_t(*next_++) << bits_;
            bits_ += 8;
        }
    }
    bool Have(unsigned n) {
        if (bits_ < n) Refill();
        return bits_ >= n;
    }
    unsigned available() const { return bits_; }
    // The next 32 bits, first one in bit 0; past available() they mean nothing.
    uint32_t Peek32() const { return uint32_t(acc_); }
    // 0 <= n <= 32, n <= available().
    uint32_t Take(unsigned n) {
        uint32_t v = uint32_t(acc_ & ((uint64_t(1) << n) - 1));
        Drop(n);
        return v;
    }
    void Drop(unsigned n) {
        acc_ = n < 64 ? acc_ >> n : 0;
        bits_ -= n;
    }
    void AlignToByte() { Drop(bits_ & 7); }
    // Whole bytes in hand, for a stored block that reads bytes; call after AlignToByte.
    unsigned bytesInHand() const { return bits_ >> 3; }
    // Copies up to max bytes of the input itself once no bits are in hand;
    // the bits the fast refill loaded past the count are stale afterwards.
    size_t TakeBytes(unsigned char* to, size_t max) {
        size_t n = size_t(end_ - next_) < max ? size_t(end_ - next_) : max;
        std::memcpy(to, next_, n);
        next_ += n;
        acc_ = 0;
        return n;
    }
    bool inputLeft() const { return next_ != end_; }
    // Returns the whole bytes in hand to the attached input at a stream's
    // end; afterwards consumed() counts only what the stream used.
    void GiveBack() {
        AlignToByte();
        next_ -= bits_ >> 3;
        acc_ = 0;
        bits_ = 0;
    }
    size_t consumed() const { return size_t(next_ - begin_); }

private:
    uint64_t acc_ = 0;
    unsigned bits_ = 0;
    const unsigned char* begin_ = nullptr;
    const unsigned char* next_ = nullptr;
    const unsigned char* end_ = nullptr;
};

}  // namespace refengine
