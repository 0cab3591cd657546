// Walks a compound file (a .msg, an Office document) as an archive: every
// stream, mini-stream ones too, named by its path in the storage tree. An
// Outlook attachment's data is named by the attachment's long name, and
// inside an embedded message after the attachment that holds it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "formats/archive_reader.h"
#include "ole2_file.h"

namespace refengine {

class Ole2Reader : public ArchiveReader {
public:
    Ole2Reader(Host& host, std::unique_ptr<ByteSource> source) : source_(std::move(source)), file_(host, *source_) {}
    uint32_t Next(std::string& name) override;
    uint32_t Extract(MemberChecks& checks) override;

private:
    bool IsAttachment(uint32_t entry) const;
    // The attachment's long name, short name or display name, else its storage's.
    const std::string& AttachmentName(uint32_t storage);
    std::string NameOf(uint32_t entry);
    std::string PathOf(uint32_t entry) const;

    std::unique_ptr<ByteSource> source_;
    CompoundFile file_;
    bool loaded_ = false;
    uint32_t error_ = 0;
    uint32_t next_ = 0;
    uint32_t current_ = kNoEntry;
    std::map<uint32_t, std::string> attachmentNames_;
    std::vector<std::vector<uint32_t>> children_;  // made when an attachment is first named
};

extern const ArchiveFormat kOle2Format;

}  // namespace refengine
