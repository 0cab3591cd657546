// Finds a 4-byte marker (a record signature) in an object fed chunk by chunk, also where it
// straddles two chunks.
#pragma once

#include <cstdint>

namespace refengine {

class MarkerFinder {
public:
    explicit MarkerFinder(const unsigned char* signature);
    // The bytes of this chunk up to the first signature's end, or 0 when
    // none ends in it.
    uint32_t Feed(const unsigned char* bytes, uint32_t count);

private:
    unsigned char signature_[4];
    unsigned char tail_[3] = {};  // the last bytes fed
    uint32_t tailLength_ = 0;
};

}  // namespace refengine
