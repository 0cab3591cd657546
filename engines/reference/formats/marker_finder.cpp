#include "marker_finder.h"

#include <algorithm>
#include <cstring>

namespace refengine {
namespace {

uint32_t Find(const unsigned char* bytes, uint32_t count, const unsigned char* signature) {
    for (uint32_t at = 0; count >= 4 && at <= count - 4;) {
        const void* p = std::memchr(bytes + at, signature[0], count - 3 - at);
        if (!p) break;
        at = static_cast<uint32_t>(static_cast<const unsigned char*>(p) - bytes);
        if (std::memcmp(bytes + at, signature, 4) == 0) return at;
        ++at;
    }
    return count;
}

}  // namespace

MarkerFinder::MarkerFinder(const unsigned char* signature) { std::memcpy(signature_, signature, 4); }

uint32_t MarkerFinder::Feed(const unsigned char* bytes, uint32_t count) {
    unsigned char seam[6];
    uint32_t fromChunk = std::min<uint32_t>(3, count);
    std::memcpy(seam, tail_, tailLength_);
    std::memcpy(seam + tailLength_, bytes, fromChunk);
    uint32_t at = Find(seam, tailLength_ + fromChunk, signature_);
    if (at < tailLength_) return at + 4 - tailLength_;
    at = Find(bytes, count, signature_);
    if (at < count) return at + 4;
    uint32_t kept = std::min<uint32_t>(tailLength_, 3 - fromChunk);
    std::memmove(tail_, tail_ + tailLength_ - kept, kept);
    std::memcpy(tail_ + kept, bytes + count - fromChunk, fromChunk);
    tailLength_ = kept + fromChunk;
    return 0;
}

}  // namespace refengine
