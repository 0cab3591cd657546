#include "tnef_reader.h"

#include <algorithm>

#include "formats/mapi/mapi_names.h"
#include "formats/unpack.h"
#include "host/source_reads.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

constexpr uint32_t kInterfaceIdSize = 16;  // in front of an object's data

bool IsString(uint16_t type) { return type == kPtString8 || type == kPtUnicode; }

uint32_t ReadFailure(int32_t read) { return read == -1 ? orlix::ResultReadError : orlix::ResultUnpackError; }

std::unique_ptr<ArchiveReader> OpenTnef(Host&, std::unique_ptr<ByteSource> source, const std::string&) {
    return std::unique_ptr<ArchiveReader>(new TnefReader(std::move(source)));
}

}  // namespace

const ArchiveFormat kTnefFormat = {"TNEF", LooksLikeTnef, OpenTnef, nullptr, nullptr};

uint32_t TnefReader::Next(std::string& name) {
    haveCurrent_ = false;
    for (;;) {
        if (!queue_.empty()) {
            current_ = std::move(queue_.front());
            queue_.pop_front();
            haveCurrent_ = true;
            name = current_.name;
            return 0;
        }
        if (ended_) return ended_;
        ReadAttribute();
    }
}

void TnefReader::End(uint32_t answer) {
    // Writers close every attachment with its data or its property list:
    // one without either is a stream cut at a record's end.
    if (attachment_.open && !attachment_.complete) answer |= orlix::ResultUnpackError;
    FlushAttachment();
    ended_ = answer | trailing_;
    if (!ended_) ended_ = orlix::ResultNoMoreMembers;
}

bool TnefReader::Checksum(uint64_t offset, uint64_t length, uint16_t& sum) {
    unsigned char bytes[4096];
    sum = 0;
    for (uint64_t done = 0; done < length;) {
        uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(length - done, sizeof bytes));
        if (ReadFully(*source_, offset + done, bytes, take) != 1) return false;
        sum = AddToChecksum(sum, bytes, take);
        done += take;
    }
    return true;
}

void TnefReader::ReadAttribute() {
    uint64_t size = source_->Size();
    if (!started_) {
        unsigned char header[kTnefHeaderSize];
        int32_t read = ReadFully(*source_, 0, header, kTnefHeaderSize);
        if (read != 1) return End(ReadFailure(read));
        if (Get32(header) != kTnefSignature) return End(orlix::ResultBadArchiveHeader);
        started_ = true;
        cursor_ = kTnefHeaderSize;
    }
    if (cursor_ == size) return End(0);
    unsigned char bytes[kAttributeHeaderSize];
    int32_t read = cursor_ < size ? ReadFully(*source_, cursor_, bytes, kAttributeHeaderSize) : 0;
    if (read != 1) return End(ReadFailure(read));
    TnefAttribute attribute;
    if (!ParseTnefAttribute(bytes, attribute)) return End(orlix::ResultBadArchiveHeader);

    uint64_t data = cursor_ + kAttributeHeaderSize;
    uint64_t end = data + attribute.length;
    uint64_t available = std::min(end, size) - std::min(data, size);
    cursor_ = end + kAttributeChecksumSize;
    // A record cut short is still checked as far as it goes.
    uint32_t damage = 0;
    uint16_t sum = 0;
    unsigned char stored[kAttributeChecksumSize];
    if (!Checksum(data, available, sum)) {
        damage = orlix::ResultReadError;
    } else if (available < attribute.length || (read = ReadFully(*source_, end, stored, 2)) != 1) {
        damage = read == -1 ? orlix::ResultReadError : orlix::ResultUnpackError;
    } else if (Get16(stored) != sum) {
        damage = orlix::ResultCrcError;
    }

    Member member;
    member.offset = data;
    member.available = available;
    member.declared = attribute.length;
    member.damage = damage;
    if (attribute.level == kLevelMessage && attribute.id == kAttBody) {
        member.name = "message.txt";
        queue_.push_back(member);
    } else if (attribute.level == kLevelMessage && attribute.id == kAttMsgProps) {
        trailing_ |= damage & orlix::ResultCrcError;
        ReadProperties(data, data + available, kLevelMessage, damage);
    } else if (attribute.level == kLevelAttachment) {
        if (attribute.id == kAttAttachRendData) FlushAttachment();
        attachment_.open = true;
        if (attribute.id == kAttAttachData || attribute.id == kAttAttachment) attachment_.complete = true;
        if (attribute.id == kAttAttachData) {
            attachment_.data.push_back(member);
        } else if (attribute.id == kAttAttachment) {
            trailing_ |= damage & orlix::ResultCrcError;
            ReadProperties(data, data + available, kLevelAttachment, damage);
        } else {
            if (attribute.id == kAttAttachTitle) attachment_.title = ReadName(data, available, false);
            trailing_ |= damage & orlix::ResultCrcError;
        }
    } else {
        trailing_ |= damage & orlix::ResultCrcError;
    }
    // Nothing after a cut is known.
    if (damage & (orlix::ResultUnpackError | orlix::ResultReadError)) End(damage);
}

void TnefReader::ReadProperties(uint64_t offset, uint64_t end, uint8_t level, uint32_t damage) {
    RangeCursor cursor(*source_, offset, end);
    uint32_t count;
    if (!cursor.Read32(count)) {
        trailing_ |= cursor.readFailed() ? orlix::ResultReadError : orlix::ResultUnpackError;
        return;
    }
    // Each property takes bytes of the list: the count bounds nothing.
    for (uint32_t i = 0; i < count; ++i) {
        MapiProperty property;
        uint32_t failure = ReadMapiProperty(cursor, property);
        // A value past the end of a whole record is the list's damage.
        if (failure == orlix::ResultUnpackError && !(damage & orlix::ResultUnpackError))
            failure = orlix::ResultBadArchiveHeader;
        if (property.hasValue) TakeProperty(property, level, end, damage | failure);
        if (failure) {
            trailing_ |= failure;
            return;
        }
    }
}

void TnefReader::TakeProperty(const MapiProperty& property, uint8_t level, uint64_t end, uint32_t damage) {
    if (property.multiValued) return;
    Member member;
    member.offset = property.valueAt;
    member.declared = property.valueLength;
    member.available = std::min<uint64_t>(property.valueLength, end - property.valueAt);
    member.damage = damage;
    if (level == kLevelMessage) {
        if (property.id == kPidBody && IsString(property.type)) {
            member.name = "message.txt";
        } else if (property.id == kPidBodyHtml && (IsString(property.type) || property.type == kPtBinary)) {
            member.name = "message.html";
        } else if (property.id == kPidRtfCompressed && property.type == kPtBinary) {
            member.name = "message.rtf";
        } else {
            return;
        }
        queue_.push_back(member);
        return;
    }
    if (property.id == kPidAttachLongFilename && IsString(property.type)) {
        std::string name = ReadName(member.offset, member.available, property.type == kPtUnicode);
        if (!name.empty()) attachment_.longName = name;
    } else if (property.id == kPidAttachDataObject && (property.type == kPtBinary || property.type == kPtObject)) {
        // An object's data (an embedded message, an OLE storage) follows
        // the id of the interface it was stored through.
        if (property.type == kPtObject) {
            uint64_t skip = std::min<uint64_t>(kInterfaceIdSize, member.available);
            member.offset += skip;
            member.available -= skip;
            member.declared -= std::min<uint64_t>(kInterfaceIdSize, member.declared);
        }
        attachment_.data.push_back(member);
    }
}

std::string TnefReader::ReadName(uint64_t offset, uint64_t length, bool utf16) {
    unsigned char bytes[2 * kMaxMemberNameKept];
    uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(length, utf16 ? sizeof bytes : kMaxMemberNameKept));
    int32_t got = source_->ReadAt(offset, bytes, take);
    if (got <= 0) return std::string();
    size_t count = static_cast<size_t>(got);
    return utf16 ? SafeNameFromUtf16(bytes, count) : SafeNameFromAnsi(bytes, count);
}

void TnefReader::FlushAttachment() {
    if (!attachment_.open) return;
    ++attachments_;
    std::string name = !attachment_.longName.empty() ? attachment_.longName : attachment_.title;
    if (name.empty()) name = "attachment-" + std::to_string(attachments_);
    for (Member& member : attachment_.data) {
        member.name = name;
        queue_.push_back(std::move(member));
    }
    attachment_ = Attachment();
}

uint32_t TnefReader::Extract(MemberChecks& checks) {
    if (!haveCurrent_) return orlix::ResultUnpackError;
    haveCurrent_ = false;
    if (current_.declared > checks.budget().limits().memberBytes) return orlix::ResultUnpackError;
    std::unique_ptr<MemberCheck> check = checks.Begin({current_.declared, 0, false});
    uint32_t failure = CopyStored(checks.host(), *source_, current_.offset, current_.available, *check);
    return check->Settle(failure ? failure : current_.damage);
}

}  // namespace refengine
