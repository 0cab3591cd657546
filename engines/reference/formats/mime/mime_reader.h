// Walks a mail message (RFC 5322, MIME) or an mbox as an archive: every
// leaf part decoded by its transfer encoding, in every reading the message
// allows; forwarded messages and an mbox's messages as nested messages;
// uuencoded and BinHex blocks of text parts as further members.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <tuple>

#include "formats/archive_reader.h"
#include "mime_structure.h"
#include "transfer_decoding.h"

namespace refengine {

// Readings of one message checked at most; one more needed fails the check.
constexpr uint32_t kMaxReadings = 16;

class MimeReader : public ArchiveReader {
public:
    MimeReader(Host& host, std::shared_ptr<ByteSource> source);
    uint32_t Next(std::string& name) override;
    uint32_t Extract(MemberChecks& checks) override;

private:
    struct Member {
        MimeLeaf leaf;
        Decoding decoding = Decoding::Identity;
    };
    // Queues the parts of the next reading not announced before; false
    // when no reading is left.
    bool ReadNextReading();
    void QueueLeaf(const MimeLeaf& leaf);
    void SplitMbox();

    Host& host_;
    std::shared_ptr<ByteSource> source_;
    std::deque<Member> queue_;
    std::set<std::tuple<uint64_t, uint64_t, Decoding, bool>> announced_;
    uint32_t done_ = 0;     // the readings done, one bit each
    uint32_t offered_ = 0;  // the choices the message offers
    uint32_t readings_ = 0;
    uint32_t failure_ = 0;
    uint32_t parts_ = 0;  // numbers parts without a name
    bool mbox_ = false;
    Member current_;
    std::unique_ptr<ArchiveReader> blocks_;  // the blocks of the text part extracted last
    bool inBlocks_ = false;
};

// A head that starts with a run of header fields (after an mbox's "From "
// line) naming a MIME field, or at least two fields every mail has.

extern const ArchiveFormat kMimeFormat;

}  // namespace refengine
