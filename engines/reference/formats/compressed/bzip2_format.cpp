// bzip2 files: told by the stream header and the first block's magic, so
// that text starting "BZh9" stays text.
#include <algorithm>
#include <cstdint>

#include "codecs/bzip2/bzip2_decoder.h"
#include "compressed_reader.h"
#include "compressed_records.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

const SuffixRule kBzip2Suffixes[] = {{".tbz2", ".tar"}, {".tbz", ".tar"}, {".bz2", ""}, {".bz", ""}};

bool LooksLikeBzip2(const unsigned char* head, size_t count) {
    Bzip2Head parsed;
    return ParseBzip2Head(head, count, &parsed);
}

uint32_t Bzip2HeadFailure(const unsigned char* head, size_t count) {
    Bzip2Head parsed;
    if (!ParseBzip2Head(head, count, &parsed)) {
        return count < kBzip2HeadSize ? orlix::ResultUnpackError : orlix::ResultBadArchiveHeader;
    }
    return parsed.level >= '1' && parsed.level <= '9' ? 0u : uint32_t{orlix::ResultBadArchiveHeader};
}

std::unique_ptr<StreamDecoder> Bzip2Stream(uint64_t memoryLimit) {
    return std::unique_ptr<StreamDecoder>(
        new Bzip2Decoder(static_cast<size_t>(std::min<uint64_t>(memoryLimit, SIZE_MAX))));
}

const CompressedKind kBzip2Kind = {kBzip2Suffixes, 4, kBzip2HeadSize, Bzip2HeadFailure, Bzip2Stream};

std::unique_ptr<ArchiveReader> OpenBzip2(Host& host, std::unique_ptr<ByteSource> source, const std::string& name) {
    return std::unique_ptr<ArchiveReader>(new CompressedReader(host, std::move(source), name, kBzip2Kind));
}

}  // namespace

const ArchiveFormat kBzip2Format = {"BZIP2", LooksLikeBzip2, OpenBzip2, nullptr, nullptr};

}  // namespace refengine
