// The section table of a PE image, read from the object's head: what the
// body records' entry-point and section offsets and the section hash
// records are measured against. Every field is bounded by the bytes at
// hand and the object's length; a header that does not hold together
// means "not a PE", never a guess.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace refengine {

// The head is searched for the headers only this far: e_lfanew, the
// optional header and up to kMaxPeSections entries must end by then.
constexpr size_t kMaxPeHead = 64 * 1024;
constexpr uint32_t kMaxPeSections = 96;

struct PeSection {
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t rawOffset = 0;  // where the section's data starts in the file
    uint32_t rawSize = 0;
};

struct PeLayout {
    bool plus = false;  // PE32+
    uint32_t entryRva = 0;
    uint64_t entryOffset = 0;  // the entry point's file offset
    uint32_t headerSize = 0;   // SizeOfHeaders
    std::vector<PeSection> sections;
};

enum class PeRead { Layout, NotPe, NeedMore };

// Reads the headers from the first count bytes of an object of fileSize
// bytes (the head may be all of it). NeedMore: need holds how many bytes
// of head decide, never more than kMaxPeHead.
PeRead ReadPeLayout(const unsigned char* head, size_t count, uint64_t fileSize, PeLayout& layout, size_t& need);

}  // namespace refengine
