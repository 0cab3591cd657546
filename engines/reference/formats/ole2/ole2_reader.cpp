#include "ole2_reader.h"

#include <cstring>

#include "formats/mapi/mapi_names.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

const char kAttachmentPrefix[] = "__attach_version1.0_#";
const char kAttachmentData[] = "__substg1.0_37010102";
const char kEmbeddedMessage[] = "__substg1.0_3701000D";
// The streams that may name an attachment, best first.
const char* const kNameStreams[] = {"__substg1.0_3707001F", "__substg1.0_3707001E", "__substg1.0_3704001F",
                                    "__substg1.0_3704001E", "__substg1.0_3001001F", "__substg1.0_3001001E"};

bool SameName(const std::string& name, const char* expected) {
    size_t length = std::strlen(expected);
    if (name.size() != length) return false;
    for (size_t i = 0; i < length; ++i) {
        char a = name[i], b = expected[i];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
        if (a != b) return false;
    }
    return true;
}

// Keeps the first bytes of a stream.
class NameBytes : public ByteSink {
public:
    bool Take(const unsigned char* bytes, uint32_t count) override {
        size_t take = std::min<size_t>(count, sizeof bytes_ - length_);
        std::memcpy(bytes_ + length_, bytes, take);
        length_ += take;
        return length_ < sizeof bytes_;
    }
    const unsigned char* bytes() const { return bytes_; }
    size_t length() const { return length_; }

private:
    unsigned char bytes_[2 * kMaxMemberNameKept];
    size_t length_ = 0;
};

std::unique_ptr<ArchiveReader> OpenOle2(Host& host, std::unique_ptr<ByteSource> source, const std::string&) {
    return std::unique_ptr<ArchiveReader>(new Ole2Reader(host, std::move(source)));
}

}  // namespace

const ArchiveFormat kOle2Format = {"OLE2", LooksLikeCompoundFile, OpenOle2, nullptr, nullptr};

uint32_t Ole2Reader::Next(std::string& name) {
    current_ = kNoEntry;
    if (!loaded_) {
        loaded_ = true;
        error_ = file_.Load();
    }
    if (error_) return error_;
    const std::vector<DirectoryEntry>& entries = file_.entries();
    for (; next_ < entries.size(); ++next_) {
        if (entries[next_].type != static_cast<uint8_t>(EntryType::Stream)) continue;
        current_ = next_++;
        name = NameOf(current_);
        return 0;
    }
    // Every stream was whole, but what the cut took is unknown.
    return file_.cut() ? orlix::ResultUnpackError : orlix::ResultNoMoreMembers;
}

bool Ole2Reader::IsAttachment(uint32_t entry) const {
    const DirectoryEntry& e = file_.entries()[entry];
    return e.type == static_cast<uint8_t>(EntryType::Storage) &&
           e.rawName.compare(0, sizeof kAttachmentPrefix - 1, kAttachmentPrefix) == 0;
}

const std::string& Ole2Reader::AttachmentName(uint32_t storage) {
    auto known = attachmentNames_.find(storage);
    if (known != attachmentNames_.end()) return known->second;
    const std::vector<DirectoryEntry>& entries = file_.entries();
    if (children_.empty()) {
        children_.resize(entries.size());
        for (uint32_t i = 0; i < entries.size(); ++i) {
            if (file_.parentOf(i) != kNoEntry) children_[file_.parentOf(i)].push_back(i);
        }
    }
    std::string name;
    for (const char* stream : kNameStreams) {
        for (uint32_t i : children_[storage]) {
            if (!name.empty()) break;
            if (entries[i].type != static_cast<uint8_t>(EntryType::Stream) || !SameName(entries[i].rawName, stream))
                continue;
            // Read without claiming: the name stream is a member of its own.
            NameBytes bytes;
            if (file_.ReadStream(entries[i], sizeof bytes, bytes, false) != 0) continue;
            bool utf16 = stream[std::strlen(stream) - 1] == 'F';
            name = utf16 ? SafeNameFromUtf16(bytes.bytes(), bytes.length())
                         : SafeNameFromAnsi(bytes.bytes(), bytes.length());
        }
        if (!name.empty()) break;
    }
    if (name.empty()) name = entries[storage].name;
    return attachmentNames_[storage] = name;
}

std::string Ole2Reader::PathOf(uint32_t entry) const {
    const std::vector<DirectoryEntry>& entries = file_.entries();
    std::string path = entries[entry].name;
    // The tree has no loops: the walk up ends at the root.
    for (uint32_t up = file_.parentOf(entry); up != kNoEntry && up != 0; up = file_.parentOf(up)) {
        path = entries[up].name + "/" + path;
        if (path.size() > kMaxMemberNameKept) break;
    }
    return path.substr(0, kMaxMemberNameKept);
}

std::string Ole2Reader::NameOf(uint32_t entry) {
    uint32_t storage = file_.parentOf(entry);
    if (storage == kNoEntry || !SameName(file_.entries()[entry].rawName, kAttachmentData) || !IsAttachment(storage))
        return PathOf(entry);
    // An attachment of an embedded message is named after the attachments
    // that hold the message.
    std::string name = AttachmentName(storage);
    for (uint32_t up = file_.parentOf(storage); up != kNoEntry && up != 0 && name.size() < kMaxMemberNameKept;
         up = file_.parentOf(up)) {
        uint32_t holder = file_.parentOf(up);
        if (holder != kNoEntry && SameName(file_.entries()[up].rawName, kEmbeddedMessage) && IsAttachment(holder)) {
            name = AttachmentName(holder) + "/" + name;
            up = holder;
        }
    }
    return name.substr(0, kMaxMemberNameKept);
}

uint32_t Ole2Reader::Extract(MemberChecks& checks) {
    if (current_ == kNoEntry) return orlix::ResultUnpackError;
    const DirectoryEntry& entry = file_.entries()[current_];
    current_ = kNoEntry;
    if (entry.size > checks.budget().limits().memberBytes) return orlix::ResultUnpackError;
    std::unique_ptr<MemberCheck> check = checks.Begin({entry.size, 0, false});
    return check->Settle(file_.ReadStream(entry, entry.size, *check, true));
}

}  // namespace refengine
