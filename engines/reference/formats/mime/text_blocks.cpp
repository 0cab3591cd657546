#include "text_blocks.h"

#include <algorithm>

#include "formats/binhex/binhex_reader.h"
#include "formats/uuencode/uu_reader.h"
#include "mail_text.h"
#include "mime_head.h"

namespace refengine {
namespace {

// Windows the search looks at; they overlap by more than a begin line and
// the line after it.
constexpr uint32_t kWindow = 32768, kOverlap = 8192;
// The head the walk decides formats by.
constexpr uint32_t kHead = 512;

}  // namespace

std::unique_ptr<ArchiveReader> OpenTextBlocks(Host& host, std::shared_ptr<ByteSource> text) {
    return std::unique_ptr<ArchiveReader>(
        new ChainedReader(std::unique_ptr<ArchiveReader>(new UuReader(host, text)),
                          std::unique_ptr<ArchiveReader>(new BinHexReader(host, text))));
}

bool HoldsTextBlock(Host& host, ByteSource& source, bool (*looksLike)(const unsigned char*, size_t)) {
    HostBuffer window(host, kWindow);
    if (!window) return false;
    uint64_t size = source.Size();
    for (uint64_t at = 0; at < size; at += kWindow - kOverlap) {
        int32_t got = source.ReadAt(at, window.data(), kWindow);
        if (got <= 0) return false;
        uint32_t count = static_cast<uint32_t>(got);
        if (at == 0 && (LooksLikeMime(window.data(), std::min(count, kHead)) ||
                        LooksLikeUu(window.data(), std::min(count, kHead)) ||
                        LooksLikeBinHex(window.data(), std::min(count, kHead))))
            return false;
        std::vector<std::string> lines = HeadLines(window.data(), count, at != 0);
        // The window's lines joined again: looksLike reads whole lines only.
        std::string joined;
        for (const std::string& line : lines) joined += line + "\n";
        if (looksLike(reinterpret_cast<const unsigned char*>(joined.data()), joined.size())) return true;
        if (at + count >= size) break;
    }
    return false;
}

namespace {

const unsigned char kBeginMarker[4] = {'b', 'e', 'g', 'i'};
const unsigned char kPhraseMarker[4] = {'B', 'i', 'n', 'H'};

bool FoundInUu(Host& host, ByteSource& source) { return HoldsTextBlock(host, source, LooksLikeUu); }
bool FoundInBinHex(Host& host, ByteSource& source) { return HoldsTextBlock(host, source, LooksLikeBinHex); }

std::unique_ptr<ArchiveReader> OpenBlocks(Host& host, std::unique_ptr<ByteSource> source, const std::string&) {
    return OpenTextBlocks(host, std::shared_ptr<ByteSource>(std::move(source)));
}

}  // namespace

const ArchiveFormat kUuFormat = {"UUE", LooksLikeUu, OpenBlocks, kBeginMarker, FoundInUu};
const ArchiveFormat kBinHexFormat = {"BINHEX", LooksLikeBinHex, OpenBlocks, kPhraseMarker, FoundInBinHex};

}  // namespace refengine
