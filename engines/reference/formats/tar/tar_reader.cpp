#include "tar_reader.h"

#include <algorithm>
#include <cstring>

#include "formats/unpack.h"
#include "host/source_reads.h"
#include "orlix/contract.h"
#include "tar_records.h"

namespace refengine {
namespace {

// Long names and pax records larger than this are passed over unread.
constexpr uint64_t kMaxTextData = 1 << 20;

uint64_t Blocks(uint64_t size) { return (size + kTarBlock - 1) / kTarBlock * kTarBlock; }

// Types with no data of their own: links, devices, directories, FIFOs.
bool HasNoData(char type) { return type >= '1' && type <= '6'; }

std::unique_ptr<ArchiveReader> OpenTar(Host&, std::unique_ptr<ByteSource> source, const std::string&) {
    return std::unique_ptr<ArchiveReader>(new TarReader(std::move(source)));
}

}  // namespace

const ArchiveFormat kTarFormat = {"TAR", LooksLikeTar, OpenTar, nullptr, nullptr};

uint32_t TarReader::ReadText(uint64_t size, std::string& text) {
    text.clear();
    if (size > kMaxTextData) return 0;
    text.resize(static_cast<size_t>(size));
    int32_t read =
        size ? ReadFully(*source_, cursor_, reinterpret_cast<unsigned char*>(&text[0]), static_cast<uint32_t>(size))
             : 1;
    if (read != 1) return read == -1 ? orlix::ResultReadError : orlix::ResultUnpackError;
    return 0;
}

uint32_t TarReader::Next(std::string& name) {
    std::string longName;
    PaxRecords pax;
    for (;;) {
        if (error_) return error_;
        uint64_t size = source_->Size();
        // Archives may end without their two zero blocks.
        if (cursor_ == size) return orlix::ResultNoMoreMembers;
        unsigned char block[kTarBlock];
        int32_t read = cursor_ < size ? ReadFully(*source_, cursor_, block, kTarBlock) : 0;
        if (read != 1) return error_ = read == -1 ? orlix::ResultReadError : orlix::ResultUnpackError;
        if (IsZeroBlock(block)) return orlix::ResultNoMoreMembers;
        TarHeader header;
        if (!ParseTarHeader(block, header)) return error_ = orlix::ResultBadArchiveHeader;
        cursor_ += kTarBlock;
        // An old GNU sparse member's map may go on in blocks before its data.
        for (bool more = header.sparseExtended; more;) {
            if ((read = ReadFully(*source_, cursor_, block, kTarBlock)) != 1)
                return error_ = read == -1 ? orlix::ResultReadError : orlix::ResultUnpackError;
            more = SparseExtensionContinues(block);
            cursor_ += kTarBlock;
        }
        uint64_t dataSize = pax.hasSize ? pax.size : header.size;
        if (HasNoData(header.type)) {
            longName.clear();
            pax = PaxRecords();
            continue;
        }
        if (header.type == 'L' || header.type == 'x') {
            std::string text;
            if (uint32_t failure = ReadText(header.size, text)) return error_ = failure;
            if (header.type == 'L') {
                longName = text.substr(0, std::min(text.find('\0'), kMaxMemberNameKept));
            } else if (!ParsePaxRecords(text, pax)) {
                return error_ = orlix::ResultBadArchiveHeader;
            }
            cursor_ += Blocks(header.size);
            continue;
        }
        if (header.type == 'K' || header.type == 'g') {
            cursor_ += Blocks(header.size);
            continue;
        }
        // Regular and contiguous files, sparse members as stored, and any
        // type unknown here: extractors hand those out as files too.
        name = !pax.path.empty() ? pax.path : !longName.empty() ? longName : header.name;
        data_ = cursor_;
        size_ = dataSize;
        cursor_ += Blocks(dataSize);
        if (cursor_ < data_) return error_ = orlix::ResultBadArchiveHeader;
        return 0;
    }
}

uint32_t TarReader::Extract(MemberChecks& checks) {
    if (size_ > checks.budget().limits().memberBytes) return orlix::ResultUnpackError;
    // A member that claims more than the archive holds is checked as far as
    // it goes and is never clean.
    uint64_t available = source_->Size() > data_ ? source_->Size() - data_ : 0;
    std::unique_ptr<MemberCheck> check = checks.Begin({size_, 0, false});
    uint32_t failure = CopyStored(checks.host(), *source_, data_, std::min(size_, available), *check);
    if (!failure && available < size_) failure = orlix::ResultUnpackError;
    return check->Settle(failure);
}

}  // namespace refengine
