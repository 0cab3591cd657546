// .xz files: told by their six-byte magic; the rest of the stream header
// (flags and their CRC) is the reader's to judge.
#include <cstring>

#include "codecs/xz/xz_decoder.h"
#include "codecs/xz/xz_records.h"
#include "compressed_reader.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

const SuffixRule kXzSuffixes[] = {{".txz", ".tar"}, {".xz", ""}};

bool LooksLikeXz(const unsigned char* head, size_t count) {
    return count >= xz::kHeaderMagicSize && std::memcmp(head, xz::kHeaderMagic, xz::kHeaderMagicSize) == 0;
}

uint32_t XzHeadFailure(const unsigned char* head, size_t count) {
    if (count < xz::kStreamHeaderSize) return orlix::ResultUnpackError;
    xz::StreamHeader header;
    switch (xz::ParseStreamHeader(head, &header)) {
        case xz::ParseResult::Ok:
            return 0;
        case xz::ParseResult::Unsupported:
            return orlix::ResultUnpackError;
        default:
            return orlix::ResultBadArchiveHeader;
    }
}

std::unique_ptr<StreamDecoder> XzStream(uint64_t memoryLimit) {
    return std::unique_ptr<StreamDecoder>(new XzDecoder(memoryLimit));
}

const CompressedKind kXzKind = {kXzSuffixes, 2, xz::kStreamHeaderSize, XzHeadFailure, XzStream};

std::unique_ptr<ArchiveReader> OpenXz(Host& host, std::unique_ptr<ByteSource> source, const std::string& name) {
    return std::unique_ptr<ArchiveReader>(new CompressedReader(host, std::move(source), name, kXzKind));
}

}  // namespace

const ArchiveFormat kXzFormat = {"XZ", LooksLikeXz, OpenXz, nullptr, nullptr};

}  // namespace refengine
