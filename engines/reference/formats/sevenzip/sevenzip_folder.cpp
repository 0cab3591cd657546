#include "sevenzip_folder.h"

#include <algorithm>
#include <cstring>

#include "orlix/contract.h"

namespace refengine {
namespace {

// Packed bytes go in by this much: what one piece decodes to is kept when
// it runs past a file, so the piece is small.
constexpr uint32_t kPackedPiece = 1024;
// What may be kept past a file's end before the folder is given up.
constexpr size_t kMaxCarry = 16u << 20;

}  // namespace

bool SevenZipFolderStream::Router::Take(const unsigned char* bytes, uint32_t count) {
    uint32_t give = static_cast<uint32_t>(std::min<uint64_t>(count, remaining));
    if (give) {
        if (target && !target->Take(bytes, give)) target = nullptr;
        // Bytes no check takes are still unpacked work of this check.
        if (!target && !budget_.Spend(give)) return false;
        remaining -= give;
    }
    if (give < count) {
        if (carry.size() + (count - give) > kMaxCarry) {
            overflow = true;
            return false;
        }
        carry.insert(carry.end(), bytes + give, bytes + count);
    }
    return true;
}

SevenZipFolderStream::SevenZipFolderStream(ByteSource& source, uint64_t packOffset, uint64_t packSize,
                                           CheckBudget& budget)
    : source_(source), packOffset_(packOffset), packLeft_(packSize), budget_(budget), router_(budget) {}

uint32_t SevenZipFolderStream::Start(const SevenZipFolder& folder) {
    // Chains of single coders are what every tool writes but BCJ2's; the
    // packed stream feeds one coder, each coder's output the next one's
    // input, the last one's output is the folder's.
    if (folder.packedStreams.size() != 1) return orlix::ResultUnpackError;
    for (const SevenZipCoder& coder : folder.coders) {
        if (coder.inStreams != 1 || coder.outStreams != 1) return orlix::ResultUnpackError;
    }
    std::vector<size_t> order;  // coders from the main output back to the packed one
    int64_t out = folder.MainOutput();
    while (out >= 0 && order.size() <= folder.coders.size()) {
        size_t coder = static_cast<size_t>(out);
        order.push_back(coder);
        out = -1;
        for (const SevenZipBindPair& pair : folder.bindPairs) {
            if (pair.inIndex == coder) out = static_cast<int64_t>(pair.outIndex);
        }
    }
    if (order.size() != folder.coders.size() || order.back() != folder.packedStreams[0]) {
        return orlix::ResultBadArchiveHeader;
    }
    ByteSink* next = &router_;
    std::vector<std::unique_ptr<SevenZipStage>> reversed;
    for (size_t coder : order) {
        uint32_t failure = 0;
        std::unique_ptr<SevenZipStage> stage = MakeSevenZipStage(folder.coders[coder], folder.unpackSizes[coder],
                                                                 budget_.limits().decoderMemory, *next, failure);
        if (!stage) return failure ? failure : uint32_t{orlix::ResultUnpackError};
        next = stage.get();
        reversed.push_back(std::move(stage));
    }
    stages_.assign(std::make_move_iterator(reversed.rbegin()), std::make_move_iterator(reversed.rend()));
    return 0;
}

uint32_t SevenZipFolderStream::Failure(uint32_t first) const {
    if (router_.overflow) return orlix::ResultUnpackError;
    // The stage nearest the files says best what went wrong.
    for (auto stage = stages_.rbegin(); stage != stages_.rend(); ++stage) {
        if ((*stage)->failure()) return (*stage)->failure();
    }
    return first;
}

uint32_t SevenZipFolderStream::Deliver(uint64_t count, ByteSink& out) {
    if (failure_) return failure_;
    router_.target = &out;
    router_.remaining = count;
    if (!router_.carry.empty()) {
        std::vector<unsigned char> kept;
        kept.swap(router_.carry);
        router_.Take(kept.data(), static_cast<uint32_t>(kept.size()));
    }
    unsigned char piece[kPackedPiece];
    while (router_.remaining > 0 && !failure_) {
        if (!budget_.Spend(0)) return failure_ = orlix::ResultUnpackError;
        if (packLeft_ == 0) {
            if (finished_) return failure_ = orlix::ResultUnpackError;  // the folder ends first
            finished_ = true;
            for (auto& stage : stages_) {
                if ((failure_ = Failure(stage->Finish())) != 0) break;
            }
            continue;
        }
        uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(packLeft_, sizeof piece));
        int32_t got = source_.ReadAt(packOffset_, piece, take);
        if (got == -1) return failure_ = orlix::ResultReadError;
        if (got != static_cast<int32_t>(take)) return failure_ = orlix::ResultUnpackError;
        packOffset_ += take;
        packLeft_ -= take;
        failure_ = stages_.front()->Feed(piece, take);
        failure_ = Failure(failure_);
    }
    router_.target = nullptr;
    return failure_;
}

}  // namespace refengine
