#include "pe_layout.h"

namespace refengine {
namespace {

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

constexpr size_t kDosHeader = 64;
constexpr size_t kCoffHeader = 20;
constexpr uint16_t kPe32PlusMagic = 0x20B;
// The whole optional header with its 16 data directories; any magic but
// PE32+'s is read as PE32, as loaders of old images do.
constexpr size_t kOptional32 = 224;
constexpr size_t kOptional64 = 240;
constexpr size_t kSectionEntry = 40;

// Asks for the bytes up to end, or gives up when they lie past the head
// bound or the object.
PeRead Need(size_t end, size_t count, uint64_t fileSize, size_t& need) {
    if (end > kMaxPeHead || end > fileSize) return PeRead::NotPe;
    need = end;
    return end <= count ? PeRead::Layout : PeRead::NeedMore;
}

}  // namespace

PeRead ReadPeLayout(const unsigned char* head, size_t count, uint64_t fileSize, PeLayout& layout, size_t& need) {
    layout = PeLayout();
    need = 0;
    PeRead step = Need(2, count, fileSize, need);
    if (step != PeRead::Layout) return step;
    if (head[0] != 'M' || head[1] != 'Z') return PeRead::NotPe;
    if ((step = Need(kDosHeader, count, fileSize, need)) != PeRead::Layout) return step;
    const uint32_t peAt = Le32(head + 0x3C);
    if (peAt < 2 || peAt > kMaxPeHead) return PeRead::NotPe;
    const size_t optionalAt = size_t{peAt} + 4 + kCoffHeader;
    if ((step = Need(optionalAt, count, fileSize, need)) != PeRead::Layout) return step;
    const unsigned char* pe = head + peAt;
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return PeRead::NotPe;
    const uint16_t sectionCount = Le16(pe + 4 + 2);
    const uint16_t optionalSize = Le16(pe + 4 + 16);
    if (sectionCount == 0 || sectionCount > kMaxPeSections) return PeRead::NotPe;
    if ((step = Need(optionalAt + 2, count, fileSize, need)) != PeRead::Layout) return step;
    const unsigned char* optional = head + optionalAt;
    layout.plus = Le16(optional) == kPe32PlusMagic;
    if (optionalSize < (layout.plus ? kOptional64 : kOptional32)) return PeRead::NotPe;
    const size_t tableAt = optionalAt + optionalSize;
    const size_t tableEnd = tableAt + size_t{sectionCount} * kSectionEntry;
    if ((step = Need(tableEnd, count, fileSize, need)) != PeRead::Layout) return step;

    layout.entryRva = Le32(optional + 16);
    layout.headerSize = Le32(optional + 60);
    layout.sections.reserve(sectionCount);
    for (size_t i = 0; i < sectionCount; ++i) {
        const unsigned char* entry = head + tableAt + i * kSectionEntry;
        PeSection s;
        s.virtualSize = Le32(entry + 8);
        s.virtualAddress = Le32(entry + 12);
        s.rawSize = Le32(entry + 16);
        s.rawOffset = Le32(entry + 20);
        // Data past the object's end is not there: the section is cut short.
        if (s.rawOffset >= fileSize) {
            s.rawSize = 0;
        } else if (s.rawSize > fileSize - s.rawOffset) {
            s.rawSize = static_cast<uint32_t>(fileSize - s.rawOffset);
        }
        layout.sections.push_back(s);
    }
    // The entry point: in the headers it is its own offset, else in the
    // data of the last section that holds its address.
    const uint32_t rva = layout.entryRva;
    if (rva < layout.headerSize) {
        if (rva >= fileSize) return PeRead::NotPe;
        layout.entryOffset = rva;
        return PeRead::Layout;
    }
    for (size_t i = layout.sections.size(); i-- > 0;) {
        const PeSection& s = layout.sections[i];
        if (s.rawSize && s.virtualAddress <= rva && rva - s.virtualAddress < s.rawSize) {
            layout.entryOffset = uint64_t{s.rawOffset} + (rva - s.virtualAddress);
            return PeRead::Layout;
        }
    }
    return PeRead::NotPe;
}

}  // namespace refengine
