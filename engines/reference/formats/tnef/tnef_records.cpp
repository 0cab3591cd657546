#include "tnef_records.h"

#include <algorithm>

#include "host/source_reads.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

constexpr uint16_t kMultiValued = 0x1000;
constexpr uint16_t kFirstNamedId = 0x8000;
constexpr uint32_t kGuidSize = 16;

uint64_t Padded(uint64_t length) { return (length + 3) & ~uint64_t{3}; }

// Bytes of one value of a fixed-size type as a list stores it (short and
// boolean values padded to four); 0 for types counted by length, -1 for a
// type no writer stores.
int FixedSize(uint16_t type) {
    switch (type) {
        case 0x0001:  // null
        case 0x0002:  // short
        case 0x0003:  // long
        case 0x0004:  // float
        case 0x000A:  // error
        case 0x000B:  // boolean
            return 4;
        case 0x0005:  // double
        case 0x0006:  // currency
        case 0x0007:  // application time
        case 0x0014:  // 64-bit integer
        case 0x0040:  // time
            return 8;
        case 0x0048:  // class id
            return 16;
        case 0x000D:  // object
        case 0x001E:  // 8-bit string
        case 0x001F:  // UTF-16 string
        case 0x0102:  // binary
            return 0;
        default:
            return -1;
    }
}

uint32_t Cut(const RangeCursor& cursor) {
    return cursor.readFailed() ? orlix::ResultReadError : orlix::ResultUnpackError;
}

}  // namespace

bool LooksLikeTnef(const unsigned char* head, size_t count) { return count >= 4 && Get32(head) == kTnefSignature; }

bool ParseTnefAttribute(const unsigned char (&bytes)[kAttributeHeaderSize], TnefAttribute& attribute) {
    attribute.level = bytes[0];
    attribute.id = Get16(bytes + 1);
    attribute.length = Get32(bytes + 5);
    return attribute.level == kLevelMessage || attribute.level == kLevelAttachment;
}

uint16_t AddToChecksum(uint16_t sum, const unsigned char* bytes, uint32_t count) {
    uint32_t total = sum;
    for (uint32_t i = 0; i < count; ++i) total += bytes[i];
    return static_cast<uint16_t>(total);
}

bool RangeCursor::Read32(uint32_t& value) {
    if (left() < 4) return false;
    if (at_ < bufferAt_ || at_ + 4 > bufferAt_ + buffered_) {
        uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(left(), sizeof buffer_));
        int32_t got = source_.ReadAt(at_, buffer_, want);
        if (got == -1) readFailed_ = true;
        bufferAt_ = at_;
        buffered_ = got > 0 ? static_cast<uint32_t>(got) : 0;
        if (buffered_ < 4) return false;
    }
    value = Get32(buffer_ + (at_ - bufferAt_));
    at_ += 4;
    return true;
}

bool RangeCursor::Skip(uint64_t count) {
    if (count > left()) return false;
    at_ += count;
    return true;
}

uint32_t ReadMapiProperty(RangeCursor& cursor, MapiProperty& property) {
    property = MapiProperty();
    uint32_t tag;
    if (!cursor.Read32(tag)) return Cut(cursor);
    property.type = static_cast<uint16_t>(tag & ~uint32_t{kMultiValued} & 0xFFFF);
    property.multiValued = (tag & kMultiValued) != 0;
    property.id = static_cast<uint16_t>(tag >> 16);
    if (property.id >= kFirstNamedId) {
        // A named property: its set's GUID, then a number or a name.
        uint32_t kind, value;
        if (!cursor.Skip(kGuidSize) || !cursor.Read32(kind) || !cursor.Read32(value)) return Cut(cursor);
        if (kind == 1 && !cursor.Skip(Padded(value))) return Cut(cursor);
        if (kind > 1) return orlix::ResultBadArchiveHeader;
    }
    int fixed = FixedSize(property.type);
    if (fixed < 0) return orlix::ResultBadArchiveHeader;
    uint32_t count = 1;
    bool counted = fixed == 0 || property.multiValued;
    if (counted && !cursor.Read32(count)) return Cut(cursor);
    // Every value takes four bytes at least: a count the list cannot hold
    // is damage, not a reason to loop.
    if (count > cursor.left() / 4) return orlix::ResultBadArchiveHeader;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length = static_cast<uint32_t>(fixed);
        if (fixed == 0 && !cursor.Read32(length)) return Cut(cursor);
        if (i == 0) {
            property.valueAt = cursor.at();
            property.valueLength = length;
            property.hasValue = true;
        }
        // The last value's padding may be left out at the list's end.
        uint64_t step = fixed == 0 ? Padded(length) : length;
        if (step > cursor.left() && length <= cursor.left()) step = cursor.left();
        if (!cursor.Skip(step)) {
            // The first value may be cut with the stream: its start is known.
            if (i == 0 && fixed == 0) property.valueLength = static_cast<uint32_t>(cursor.left());
            return Cut(cursor);
        }
    }
    return 0;
}

}  // namespace refengine
