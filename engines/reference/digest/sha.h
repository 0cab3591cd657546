// SHA-1 and SHA-256 of a byte stream fed in pieces (FIPS 180-4), for
// whole-object hash records and the integrity lists of signature
// containers. Both share the big-endian 64-byte block framing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace refengine {

// Buffers input into 64-byte blocks and pads the last one; Compress is
// the algorithm's own step.
class BlockHash {
protected:
    void Feed(const unsigned char* bytes, size_t count);
    // Appends the padding and the bit length; every block is compressed.
    void Pad();
    virtual void Compress(const unsigned char* block) = 0;
    ~BlockHash() = default;

private:
    uint64_t length_ = 0;
    unsigned char buffer_[64] = {};
};

class Sha1 : public BlockHash {
public:
    static constexpr size_t kSize = 20;
    Sha1();
    void Update(const unsigned char* bytes, size_t count) { Feed(bytes, count); }
    void Final(unsigned char (&digest)[kSize]);

private:
    void Compress(const unsigned char* block) override;
    uint32_t state_[5];
};

class Sha256 : public BlockHash {
public:
    static constexpr size_t kSize = 32;
    Sha256();
    void Update(const unsigned char* bytes, size_t count) { Feed(bytes, count); }
    void Final(unsigned char (&digest)[kSize]);

private:
    void Compress(const unsigned char* block) override;
    uint32_t state_[8];
};

}  // namespace refengine
