// .lzma files have no magic. A head is taken for one only when its header
// is one encoders write and the bytes after it decode as LZMA: a clean file
// taken for .lzma would be answered as an archive that fails to unpack.
#include <algorithm>
#include <cstring>

#include "codecs/lzma/lzma_alone_decoder.h"
#include "compressed_reader.h"
#include "compressed_records.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

const SuffixRule kLzmaSuffixes[] = {{".tlz", ".tar"}, {".lzma", ""}};

// What the trial decode of a head may produce and hold: enough that a match
// never reaches past the window, and little memory for any object's head.
constexpr uint32_t kTrialOutput = 1u << 20;
constexpr uint64_t kTrialMemory = 4u << 20;

class TrialSink : public ByteSink {
public:
    bool Take(const unsigned char*, uint32_t count) override {
        produced_ += count;
        return produced_ < kTrialOutput;
    }

private:
    uint64_t produced_ = 0;
};

bool LooksLikeLzma(const unsigned char* head, size_t count) {
    LzmaFileHeader header;
    if (!ParseLzmaFileHeader(head, count, &header) || !PlausibleLzmaHeader(header)) return false;
    // The head decoded with the dictionary bounded by what the sink takes:
    // random bytes behind a plausible header break within a few symbols.
    unsigned char trial[kLzmaHeaderSize];
    std::memcpy(trial, head, kLzmaHeaderSize);
    uint32_t dictionary = std::min(header.dictionarySize, kTrialOutput);
    for (int i = 0; i < 4; ++i) trial[1 + i] = static_cast<unsigned char>(dictionary >> (8 * i));
    LzmaAloneDecoder decoder(kTrialMemory);
    TrialSink sink;
    size_t used = 0;
    CodecStatus status = decoder.Feed(trial, kLzmaHeaderSize, &used, sink);
    if (status == CodecStatus::More) {
        status = decoder.Feed(head + kLzmaHeaderSize, count - kLzmaHeaderSize, &used, sink);
    }
    return status == CodecStatus::More || status == CodecStatus::End || status == CodecStatus::Stopped;
}

uint32_t LzmaHeadFailure(const unsigned char* head, size_t count) {
    LzmaFileHeader header;
    if (!ParseLzmaFileHeader(head, count, &header)) return orlix::ResultUnpackError;
    return PlausibleLzmaHeader(header) ? 0u : uint32_t{orlix::ResultBadArchiveHeader};
}

std::unique_ptr<StreamDecoder> LzmaStream(uint64_t memoryLimit) {
    return std::unique_ptr<StreamDecoder>(new LzmaAloneDecoder(memoryLimit));
}

const CompressedKind kLzmaKind = {kLzmaSuffixes, 2, kLzmaHeaderSize, LzmaHeadFailure, LzmaStream};

std::unique_ptr<ArchiveReader> OpenLzma(Host& host, std::unique_ptr<ByteSource> source, const std::string& name) {
    return std::unique_ptr<ArchiveReader>(new CompressedReader(host, std::move(source), name, kLzmaKind));
}

}  // namespace

const ArchiveFormat kLzmaFormat = {"LZMA", LooksLikeLzma, OpenLzma, nullptr, nullptr};

}  // namespace refengine
