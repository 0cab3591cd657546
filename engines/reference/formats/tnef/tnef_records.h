// The TNEF stream's records: its header, each attribute's header and
// checksum, and the MAPI properties of an attribute's property list, each
// parsed by one function.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_io.h"

namespace refengine {

constexpr uint32_t kTnefSignature = 0x223E9F78;
constexpr uint32_t kTnefHeaderSize = 6;       // signature, legacy key
constexpr uint32_t kAttributeHeaderSize = 9;  // level, id, length
constexpr uint32_t kAttributeChecksumSize = 2;

constexpr uint8_t kLevelMessage = 1, kLevelAttachment = 2;
// Attribute ids without their type half: writers disagree on the types.
constexpr uint16_t kAttBody = 0x800C;
constexpr uint16_t kAttAttachData = 0x800F;
constexpr uint16_t kAttAttachTitle = 0x8010;
constexpr uint16_t kAttAttachRendData = 0x9002;
constexpr uint16_t kAttMsgProps = 0x9003;
constexpr uint16_t kAttAttachment = 0x9005;

bool LooksLikeTnef(const unsigned char* head, size_t count);

struct TnefAttribute {
    uint8_t level = 0;
    uint16_t id = 0;  // the attribute without its type
    uint32_t length = 0;
};
// False when the level is neither the message's nor an attachment's.
bool ParseTnefAttribute(const unsigned char (&bytes)[kAttributeHeaderSize], TnefAttribute& attribute);

// The sum of an attribute's data bytes, as its checksum stores it.
uint16_t AddToChecksum(uint16_t sum, const unsigned char* bytes, uint32_t count);

// Reads a range of a source in order through a small buffer: a property
// list is many small fields.
class RangeCursor {
public:
    RangeCursor(ByteSource& source, uint64_t offset, uint64_t end) : source_(source), at_(offset), end_(end) {}
    RangeCursor(const RangeCursor&) = delete;
    RangeCursor& operator=(const RangeCursor&) = delete;
    uint64_t at() const { return at_; }
    uint64_t left() const { return end_ - at_; }
    // False when the range (or the source) ends first.
    bool Read32(uint32_t& value);
    bool Skip(uint64_t count);
    bool readFailed() const { return readFailed_; }

private:
    ByteSource& source_;
    uint64_t at_, end_;
    unsigned char buffer_[4096];
    uint64_t bufferAt_ = 0;
    uint32_t buffered_ = 0;
    bool readFailed_ = false;
};

// One property of a list: its tag, and where its first value's bytes are
// (a value of a fixed size, or the first of a counted list of values).
struct MapiProperty {
    uint16_t type = 0;
    uint16_t id = 0;
    bool multiValued = false;
    uint64_t valueAt = 0;
    uint32_t valueLength = 0;
    bool hasValue = false;  // false for a multi-valued property with no value
};
// 0: parsed, the cursor after it; 0x80: the list ends inside it; 0x4000: a
// type no writer stores or a count the list cannot hold.
uint32_t ReadMapiProperty(RangeCursor& cursor, MapiProperty& property);

}  // namespace refengine
