// What an object or a member is to the walk, decided the same way for both:
// a format its head names; an executable, kept whole because a
// self-extractor is a ZIP behind a stub; a format found at the end (a ZIP
// behind a stub, or behind a tar or gzip), looked for only when its end
// marker occurs somewhere in the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/archive_reader.h"
#include "formats/marker_finder.h"

namespace refengine {

// Bytes that decide a format from the head: a tar header's checksum covers
// its whole first block.
constexpr uint32_t kFormatHeadBytes = 512;

// The format whose head the bytes carry, or null.
const ArchiveFormat* FormatOfHead(const unsigned char* head, size_t count);

struct ProbedFormats {
    const ArchiveFormat* format = nullptr;  // null: no archive
    const ArchiveFormat* behind = nullptr;  // a second one at the end, walked after it
};

class FormatProbe {
public:
    FormatProbe();
    FormatProbe(const FormatProbe&) = delete;
    FormatProbe& operator=(const FormatProbe&) = delete;

    // Every byte of the object in order. The head is complete once
    // kFormatHeadBytes are in, or at the end of a shorter object.
    void Feed(const unsigned char* bytes, uint32_t count);
    bool headComplete() const { return headLength_ == kFormatHeadBytes; }
    const unsigned char* head() const { return head_; }
    uint32_t headLength() const { return headLength_; }
    const ArchiveFormat* headFormat() const { return FormatOfHead(head_, headLength_); }
    // A format or an executable at the head: the object must be kept whole.
    bool keepWhole() const;
    // When every byte has been fed: the formats to walk; whole holds the
    // object's bytes (searched for a format at its end).
    ProbedFormats Settle(Host& host, ByteSource& whole) const;
    // Forget the end markers seen: what follows is unknown.
    void MarkersUnknown() { markersUnknown_ = true; }

private:
    struct Trailing {
        const ArchiveFormat* format;
        MarkerFinder finder;
        bool seen;
    };

    unsigned char head_[kFormatHeadBytes] = {};
    uint32_t headLength_ = 0;
    std::vector<Trailing> trailing_;  // the formats with an end marker
    bool markersUnknown_ = false;
};

}  // namespace refengine
