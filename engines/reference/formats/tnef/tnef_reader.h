// Walks a TNEF stream (winmail.dat) as an archive: each attachment's data,
// named by its long name or its title, the data objects of attachment
// property lists (an embedded message is one; it is walked as a nested
// level), and the message's bodies.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "formats/archive_reader.h"
#include "tnef_records.h"

namespace refengine {

class TnefReader : public ArchiveReader {
public:
    explicit TnefReader(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {}
    uint32_t Next(std::string& name) override;
    uint32_t Extract(MemberChecks& checks) override;

private:
    struct Member {
        std::string name;
        uint64_t offset = 0;
        uint64_t available = 0;  // bytes the stream holds of it
        uint64_t declared = 0;   // bytes its record claims
        uint32_t damage = 0;     // its record's checksum error or cut
    };
    // An attachment's attributes, gathered until the next one starts: the
    // name may follow the data.
    struct Attachment {
        bool open = false;
        bool complete = false;  // its data or its property list seen
        std::string title, longName;
        std::vector<Member> data;
    };

    // Reads one attribute and queues the members it completes; sets ended_
    // at the stream's end or damage that ends it.
    void ReadAttribute();
    // The sum of the available data bytes; false on a read failure.
    bool Checksum(uint64_t offset, uint64_t length, uint16_t& sum);
    void ReadProperties(uint64_t offset, uint64_t end, uint8_t level, uint32_t damage);
    void TakeProperty(const MapiProperty& property, uint8_t level, uint64_t end, uint32_t damage);
    std::string ReadName(uint64_t offset, uint64_t length, bool utf16);
    void FlushAttachment();
    void End(uint32_t answer);

    std::unique_ptr<ByteSource> source_;
    std::deque<Member> queue_;
    Member current_;
    bool haveCurrent_ = false;
    Attachment attachment_;
    uint32_t attachments_ = 0;
    uint64_t cursor_ = 0;
    bool started_ = false;
    uint32_t ended_ = 0;     // the answer once no member is left
    uint32_t trailing_ = 0;  // damage of records that are no member, answered at the end
};

extern const ArchiveFormat kTnefFormat;

}  // namespace refengine
