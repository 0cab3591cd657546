// SHA-256 (FIPS 180-4), for the .xz check of that name; in namespace xz, as
// the matcher has a SHA-256 of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace refengine {
namespace xz {

class Sha256 {
public:
    static constexpr size_t kDigestSize = 32;

    Sha256();
    void Update(const unsigned char* bytes, size_t count);
    // Ends the message; the object is spent afterwards.
    void Final(unsigned char digest[kDigestSize]);

private:
    void Block(const unsigned char* block);

    uint32_t h_[8];
    unsigned char pending_[64];
    uint32_t pendingLength_ = 0;
    uint64_t length_ = 0;  // bytes hashed
};

}  // namespace xz
}  // namespace refengine
