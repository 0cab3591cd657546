// MD5 of a byte stream fed in pieces, for whole-object hash signatures.
#pragma once

#include <cstddef>
#include <cstdint>

namespace refengine {

class Md5 {
public:
    Md5();
    void Update(const unsigned char* bytes, size_t count);
    void Final(unsigned char (&digest)[16]);

private:
    void Block(const unsigned char* block);

    uint32_t state_[4];
    uint64_t length_ = 0;
    unsigned char buffer_[64];
};

}  // namespace refengine
