#include "sevenzip_reader.h"

#include <zlib.h>

#include <algorithm>

#include "host/source_reads.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

constexpr uint32_t kDamaged = orlix::ResultBadArchiveHeader;
// A header database larger than this is no archive any tool writes.
constexpr uint64_t kMaxHeaderBytes = 64u << 20;
// Encoded headers inside encoded headers: one is what tools write.
constexpr int kMaxHeaderEncodings = 4;

class VectorSink : public ByteSink {
public:
    VectorSink(std::vector<unsigned char>& out, uint64_t limit) : out_(out), limit_(limit) {}
    bool Take(const unsigned char* bytes, uint32_t count) override {
        if (out_.size() + count > limit_) return false;
        out_.insert(out_.end(), bytes, bytes + count);
        return true;
    }

private:
    std::vector<unsigned char>& out_;
    uint64_t limit_;
};

class Discard : public ByteSink {
public:
    bool Take(const unsigned char*, uint32_t) override { return true; }
};

std::unique_ptr<ArchiveReader> OpenSevenZip(Host& host, std::unique_ptr<ByteSource> source, const std::string&) {
    return std::unique_ptr<ArchiveReader>(new SevenZipReader(host, std::move(source)));
}

}  // namespace

const ArchiveFormat kSevenZipFormat = {"7Z", LooksLikeSevenZip, OpenSevenZip, nullptr, nullptr};

SevenZipReader::SevenZipReader(Host&, std::unique_ptr<ByteSource> source) : source_(std::move(source)) {}

uint32_t SevenZipReader::UnpackWhole(const SevenZipStreams& streams, CheckBudget& budget,
                                     std::vector<unsigned char>& out) {
    uint64_t offset = kSevenZipSignatureHeaderSize + streams.packPosition;
    for (const SevenZipFolder& folder : streams.folders) {
        if (folder.firstPackStream >= streams.packSizes.size()) return kDamaged;
        uint64_t packOffset = offset;
        for (uint64_t i = 0; i < folder.firstPackStream; ++i) packOffset += streams.packSizes[i];
        uint64_t size = folder.unpackSize();
        if (size > kMaxHeaderBytes - out.size()) return kDamaged;
        SevenZipFolderStream stream(*source_, packOffset, streams.packSizes[folder.firstPackStream], budget);
        if (uint32_t failure = stream.Start(folder)) return failure;
        size_t start = out.size();
        VectorSink sink(out, kMaxHeaderBytes);
        if (uint32_t failure = stream.Deliver(size, sink)) return failure;
        if (out.size() - start != size) return orlix::ResultUnpackError;
        if (folder.crcDefined && crc32(0, out.data() + start, static_cast<uInt>(size)) != folder.crc) {
            return orlix::ResultCrcError;
        }
    }
    return 0;
}

uint32_t SevenZipReader::ReadDatabase(CheckBudget& budget) {
    unsigned char head[kSevenZipSignatureHeaderSize];
    SevenZipSignatureHeader signature;
    int32_t read = ReadFully(*source_, 0, head, sizeof head);
    if (read == -1) return orlix::ResultReadError;
    if (read != 1 || !ParseSevenZipSignatureHeader(head, signature)) return kDamaged;
    uint64_t at = kSevenZipSignatureHeaderSize + signature.nextHeaderOffset;
    if (signature.nextHeaderOffset > source_->Size() || signature.nextHeaderSize > source_->Size() - at ||
        signature.nextHeaderSize > kMaxHeaderBytes) {
        // A header past the end: a cut-off archive or one volume of several.
        return signature.nextHeaderSize == 0 ? kDamaged : uint32_t{orlix::ResultUnpackError};
    }
    if (signature.nextHeaderSize == 0) return 0;  // an empty archive
    std::vector<unsigned char> header(static_cast<size_t>(signature.nextHeaderSize));
    read = ReadFully(*source_, at, header.data(), static_cast<uint32_t>(header.size()));
    if (read != 1) return read == -1 ? orlix::ResultReadError : orlix::ResultUnpackError;
    if (crc32(0, header.data(), static_cast<uInt>(header.size())) != signature.nextHeaderCrc) return kDamaged;
    for (int encodings = 0; !header.empty() && header[0] == kSzEncodedHeader; ++encodings) {
        if (encodings == kMaxHeaderEncodings) return kDamaged;
        SevenZipStreams streams;
        if (uint32_t failure = ParseSevenZipStreams(header.data() + 1, header.size() - 1, streams)) return failure;
        std::vector<unsigned char> decoded;
        if (uint32_t failure = UnpackWhole(streams, budget, decoded)) return failure;
        header.swap(decoded);
    }
    return ParseSevenZipHeader(header.data(), header.size(), db_);
}

uint32_t SevenZipReader::Open(CheckBudget& budget) {
    opened_ = true;
    if (uint32_t failure = ReadDatabase(budget)) return failure;
    const SevenZipStreams& s = db_.streams;
    uint64_t offset = kSevenZipSignatureHeaderSize + s.packPosition;
    for (uint64_t size : s.packSizes) {
        packOffsets_.push_back(offset);
        offset += size;
        if (offset < size || offset > source_->Size()) return orlix::ResultUnpackError;
    }
    // Each file with a stream to its folder and substream.
    size_t folder = 0, inFolder = 0, stream = 0;
    placed_.resize(db_.files.size());
    for (size_t i = 0; i < db_.files.size(); ++i) {
        if (!db_.files[i].hasStream) continue;
        while (folder < s.folders.size() && inFolder == s.unpackStreams[folder]) {
            ++folder;
            inFolder = 0;
        }
        if (folder == s.folders.size()) return kDamaged;
        placed_[i] = {folder, stream++};
        ++inFolder;
    }
    return 0;
}

uint32_t SevenZipReader::Next(std::string& name) {
    if (!opened_) error_ = Open(openBudget_);
    if (error_) return error_;
    announced_ = false;
    while (next_ < db_.files.size()) {
        const SevenZipFile& file = db_.files[next_++];
        if (file.directory || file.anti) continue;
        current_ = next_ - 1;
        announced_ = true;
        name = file.name;
        return 0;
    }
    return orlix::ResultNoMoreMembers;
}

uint32_t SevenZipReader::Reach(size_t file, CheckBudget& budget) {
    const SevenZipStreams& s = db_.streams;
    const Placed& place = placed_[file];
    if (!folder_ || folderIndex_ != place.folder || folderStream_ > place.stream) {
        const SevenZipFolder& folder = s.folders[place.folder];
        if (folder.firstPackStream >= packOffsets_.size()) return kDamaged;
        folder_.reset(new SevenZipFolderStream(*source_, packOffsets_[folder.firstPackStream],
                                               s.packSizes[folder.firstPackStream], budget));
        folderIndex_ = place.folder;
        folderStream_ = 0;
        for (size_t f = 0; f < place.folder; ++f) folderStream_ += s.unpackStreams[f];
        if (uint32_t failure = folder_->Start(folder)) return failure;
    }
    Discard skipped;
    while (folderStream_ < place.stream) {
        if (uint32_t failure = folder_->Deliver(s.substreamSizes[folderStream_++], skipped)) return failure;
    }
    return 0;
}

uint32_t SevenZipReader::Extract(MemberChecks& checks) {
    if (!announced_) return orlix::ResultUnpackError;
    announced_ = false;
    const SevenZipFile& file = db_.files[current_];
    if (!file.hasStream) {
        std::unique_ptr<MemberCheck> check = checks.Begin({0, 0, false});
        return check->Settle(0);
    }
    const Placed& place = placed_[current_];
    const SevenZipStreams& s = db_.streams;
    uint64_t size = s.substreamSizes[place.stream];
    if (size > checks.budget().limits().memberBytes) return orlix::ResultUnpackError;
    if (uint32_t failure = Reach(current_, checks.budget())) {
        folder_.reset();
        return failure;
    }
    std::unique_ptr<MemberCheck> check =
        checks.Begin({size, s.substreamCrcs[place.stream], s.substreamCrcDefined[place.stream]});
    uint32_t failure = folder_->Deliver(size, *check);
    ++folderStream_;
    if (failure) folder_.reset();
    return check->Settle(failure);
}

}  // namespace refengine
