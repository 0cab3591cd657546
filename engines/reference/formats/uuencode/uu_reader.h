// Walks the uuencoded blocks of a text, each a member named after its
// file: found anywhere, in the classic and the base64 form.
#pragma once

#include <memory>
#include <string>

#include "formats/archive_reader.h"

namespace refengine {

class UuReader : public ArchiveReader {
public:
    UuReader(Host& host, std::shared_ptr<ByteSource> source) : host_(host), source_(std::move(source)) {}
    uint32_t Next(std::string& name) override;
    uint32_t Extract(MemberChecks& checks) override;

private:
    // The announced block into out: 0 when it ended as it should, 0x80 when
    // the text ends or turns into something else first, 0x20 on a read failure.
    uint32_t Decode(ByteSink& out);

    Host& host_;
    std::shared_ptr<ByteSource> source_;
    uint64_t cursor_ = 0;  // where the search for the next block goes on
    uint64_t data_ = 0;    // the announced block's first data line
    bool base64_ = false;
    uint32_t error_ = 0;
};

// Whether lines of the head hold a begin line that data follows.
bool LooksLikeUu(const unsigned char* head, size_t count);


}  // namespace refengine
