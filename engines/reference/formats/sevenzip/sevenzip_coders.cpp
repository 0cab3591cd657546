// The coders a 7z folder may name, by their method ids, each made a stage
// of the folder's chain over a decoder or filter of the codecs layer.
#include <cstring>

#include "codecs/bzip2/bzip2_decoder.h"
#include "codecs/filters/bcj_x86.h"
#include "codecs/filters/delta_filter.h"
#include "codecs/inflate/inflate_decoder.h"
#include "codecs/lzma/lzma2_decoder.h"
#include "codecs/lzma/lzma_alone_decoder.h"
#include "orlix/contract.h"
#include "sevenzip_folder.h"

namespace refengine {
namespace {

struct MethodId {
    unsigned char bytes[4];
    size_t length;
};

const MethodId kCopy = {{0x00}, 1};
const MethodId kDelta = {{0x03}, 1};
const MethodId kLzma = {{0x03, 0x01, 0x01}, 3};
const MethodId kLzma2 = {{0x21}, 1};
const MethodId kBcjX86 = {{0x03, 0x03, 0x01, 0x03}, 4};
const MethodId kDeflate = {{0x04, 0x01, 0x08}, 3};
const MethodId kDeflate64 = {{0x04, 0x01, 0x09}, 3};
const MethodId kBzip2 = {{0x04, 0x02, 0x02}, 3};
const MethodId kAes = {{0x06, 0xF1, 0x07, 0x01}, 4};

bool Is(const SevenZipCoder& coder, const MethodId& id) {
    return coder.method.size() == id.length && std::memcmp(coder.method.data(), id.bytes, id.length) == 0;
}

class CopyStage : public SevenZipStage {
public:
    explicit CopyStage(ByteSink& next) : next_(next) {}
    uint32_t Feed(const unsigned char* bytes, size_t count) override {
        return next_.Take(bytes, static_cast<uint32_t>(count)) ? 0u : uint32_t{orlix::ResultUnpackError};
    }
    uint32_t Finish() override { return 0; }

private:
    ByteSink& next_;
};

// A decoder of the codecs layer; prologue: bytes it reads before the
// packed ones (the .lzma header a 7z coder keeps in its properties).
class DecoderStage : public SevenZipStage {
public:
    DecoderStage(StreamDecoder* decoder, ByteSink& next, std::string prologue = std::string())
        : decoder_(decoder), next_(next), prologue_(std::move(prologue)) {}

    uint32_t Feed(const unsigned char* bytes, size_t count) override {
        if (!prologue_.empty()) {
            std::string prologue;
            prologue.swap(prologue_);
            if (uint32_t failure = Decode(reinterpret_cast<const unsigned char*>(prologue.data()), prologue.size())) {
                return failure;
            }
        }
        return Decode(bytes, count);
    }
    uint32_t Finish() override {
        if (ended_) return 0;
        // A stream cut short, damaged at its end, or never begun.
        return decoder_->Finish(next_) == CodecStatus::End ? 0u : uint32_t{orlix::ResultUnpackError};
    }

private:
    uint32_t Decode(const unsigned char* bytes, size_t count) {
        // Packed bytes after the stream's end are no file's.
        if (ended_) return 0;
        size_t used = 0;
        switch (decoder_->Feed(bytes, count, &used, next_)) {
            case CodecStatus::More:
                return 0;
            case CodecStatus::End:
                ended_ = true;
                return 0;
            default:
                // Damage, a feature or size we do not decode, or a refusal
                // further down: the file is not checked, never clean.
                return orlix::ResultUnpackError;
        }
    }

    std::unique_ptr<StreamDecoder> decoder_;
    ByteSink& next_;
    std::string prologue_;
    bool ended_ = false;
};

class FilterStageAdapter : public SevenZipStage {
public:
    explicit FilterStageAdapter(FilterStage* filter) : filter_(filter) {}
    uint32_t Feed(const unsigned char* bytes, size_t count) override {
        return filter_->Take(bytes, static_cast<uint32_t>(count)) ? 0u : uint32_t{orlix::ResultUnpackError};
    }
    uint32_t Finish() override { return filter_->Finish() ? 0u : uint32_t{orlix::ResultUnpackError}; }

private:
    std::unique_ptr<FilterStage> filter_;
};

// The .lzma header of a 7z LZMA coder: its five property bytes, then the
// size it unpacks to.
std::string LzmaHeader(const std::vector<unsigned char>& properties, uint64_t unpackSize) {
    std::string header(properties.begin(), properties.end());
    for (int i = 0; i < 8; ++i) header += static_cast<char>(unpackSize >> (8 * i) & 0xFF);
    return header;
}

}  // namespace

std::unique_ptr<SevenZipStage> MakeSevenZipStage(const SevenZipCoder& coder, uint64_t unpackSize, uint64_t memoryLimit,
                                                 ByteSink& next, uint32_t& failure) {
    failure = 0;
    const std::vector<unsigned char>& props = coder.properties;
    const size_t limit = static_cast<size_t>(std::min<uint64_t>(memoryLimit, SIZE_MAX));
    SevenZipStage* stage = nullptr;
    if (Is(coder, kCopy)) {
        stage = new CopyStage(next);
    } else if (Is(coder, kLzma) && props.size() == 5) {
        stage = new DecoderStage(new LzmaAloneDecoder(memoryLimit), next, LzmaHeader(props, unpackSize));
    } else if (Is(coder, kLzma2) && props.size() == 1) {
        uint32_t dictionary = 0;
        if (lzma::Lzma2DictionarySize(props[0], &dictionary)) {
            stage = new DecoderStage(new lzma::Lzma2Decoder(memoryLimit, dictionary), next);
        }
    } else if (Is(coder, kBcjX86) && props.empty()) {
        stage = new FilterStageAdapter(new BcjX86Sink(next, 0));
    } else if (Is(coder, kDelta) && props.size() == 1) {
        stage = new FilterStageAdapter(new DeltaSink(next, props[0] + 1u));
    } else if (Is(coder, kDeflate)) {
        stage = new DecoderStage(new InflateDecoder(InflateFormat::Deflate, limit), next);
    } else if (Is(coder, kDeflate64)) {
        stage = new DecoderStage(new InflateDecoder(InflateFormat::Deflate64, limit), next);
    } else if (Is(coder, kBzip2)) {
        stage = new DecoderStage(new Bzip2Decoder(limit), next);
    }
    if (stage) return std::unique_ptr<SevenZipStage>(stage);
    // Encrypted folders are answered as such; any other coder we do not
    // have (BCJ2, PPMd, ARM filters...) leaves the member unchecked.
    failure = Is(coder, kAes) ? orlix::ResultPasswordProtected : orlix::ResultUnpackError;
    return nullptr;
}

}  // namespace refengine
