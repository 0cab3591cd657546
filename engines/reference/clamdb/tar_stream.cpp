#include "tar_stream.h"

#include <algorithm>
#include <cstring>

namespace refengine {
namespace {

// Long names longer than this are not names of a database file.
constexpr uint64_t kMaxLongName = 4096;

}  // namespace

bool TarStream::Header() {
    if (IsZeroBlock(block_)) {
        ended_ = true;
        return true;
    }
    TarHeader header;
    if (!ParseTarHeader(block_, header)) return false;
    left_ = header.size;
    padding_ = (kTarBlock - header.size % kTarBlock) % kTarBlock;
    readingLongName_ = header.type == 'L';
    if (readingLongName_) {
        if (header.size > kMaxLongName) return false;
        longName_.clear();
        skipping_ = true;
        return true;
    }
    // Regular files only: directories, links and pax records carry no records.
    skipping_ = !(header.type == '0' || header.type == 0 || header.type == '7');
    if (!skipping_) {
        std::string name = longName_.empty() ? header.name : longName_;
        members_.Begin(name, header.size);
        inMember_ = true;
    }
    longName_.clear();
    if (left_ == 0 && inMember_) {
        members_.End();
        inMember_ = false;
    }
    return true;
}

bool TarStream::Take(const unsigned char* bytes, uint32_t count) {
    while (count > 0 && !damaged_) {
        if (ended_) return true;  // what follows the end blocks is padding
        if (left_ > 0) {
            const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(left_, count));
            if (readingLongName_) {
                longName_.append(reinterpret_cast<const char*>(bytes), take);
            } else if (!skipping_) {
                members_.Data(bytes, take);
            }
            left_ -= take;
            bytes += take;
            count -= take;
            if (left_ == 0) {
                if (readingLongName_) longName_.resize(std::min(longName_.find('\0'), longName_.size()));
                if (inMember_) members_.End();
                inMember_ = false;
            }
            continue;
        }
        if (padding_ > 0) {
            const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(padding_, count));
            padding_ -= take;
            bytes += take;
            count -= take;
            continue;
        }
        const uint32_t take = std::min<uint32_t>(kTarBlock - filled_, count);
        std::memcpy(block_ + filled_, bytes, take);
        filled_ += take;
        bytes += take;
        count -= take;
        if (filled_ == kTarBlock) {
            filled_ = 0;
            if (!Header()) damaged_ = true;
        }
    }
    return !damaged_;
}

}  // namespace refengine
