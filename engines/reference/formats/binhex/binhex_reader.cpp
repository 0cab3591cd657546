#include "binhex_reader.h"

#include <algorithm>
#include <cstring>

#include "formats/mime/mail_text.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

constexpr uint32_t kTextChunk = 16384;

bool StartsPhrase(const std::string& line) { return line.compare(0, std::strlen(kBinHexPhrase), kBinHexPhrase) == 0; }

// Keeps the first decoded bytes: the header.
class HeadSink : public ByteSink {
public:
    bool Take(const unsigned char* bytes, uint32_t count) override {
        size_t take = std::min<size_t>(count, sizeof bytes_ - length_);
        std::memcpy(bytes_ + length_, bytes, take);
        length_ += take;
        BinHexHeader header;
        return !ParseBinHexHeader(bytes_, length_, header);
    }
    const unsigned char* bytes() const { return bytes_; }
    size_t length() const { return length_; }

private:
    unsigned char bytes_[kBinHexHeaderMaximum];
    size_t length_ = 0;
};

// Cuts one fork and the sum after it out of the decoded stream.
class ForkSink : public ByteSink {
public:
    ForkSink(uint64_t skip, uint64_t length, ByteSink& out) : skip_(skip), length_(length), out_(out) {}
    bool Take(const unsigned char* bytes, uint32_t count) override {
        uint32_t skipped = static_cast<uint32_t>(std::min<uint64_t>(skip_, count));
        skip_ -= skipped;
        bytes += skipped;
        count -= skipped;
        uint32_t fork = static_cast<uint32_t>(std::min<uint64_t>(length_ - taken_, count));
        if (fork > 0) {
            crc_ = BinHexCrc(crc_, bytes, fork);
            taken_ += fork;
            if (!out_.Take(bytes, fork)) {
                stopped_ = true;
                return false;
            }
        }
        for (uint32_t i = fork; i < count && sumLength_ < 2; ++i) sum_[sumLength_++] = bytes[i];
        return sumLength_ < 2;
    }
    bool complete() const { return sumLength_ == 2; }
    bool stopped() const { return stopped_; }
    bool sumBad() const { return crc_ != (sum_[0] << 8 | sum_[1]); }

private:
    uint64_t skip_;
    uint64_t length_;
    ByteSink& out_;
    uint64_t taken_ = 0;
    uint16_t crc_ = 0;
    unsigned char sum_[2] = {};
    uint32_t sumLength_ = 0;
    bool stopped_ = false;
};

}  // namespace

bool LooksLikeBinHex(const unsigned char* head, size_t count) {
    std::vector<std::string> lines = HeadLines(head, count);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (!StartsPhrase(lines[i])) continue;
        size_t next = i + 1;
        while (next + 1 < lines.size() && lines[next].empty()) ++next;
        if (!lines[next].empty() && lines[next][0] == ':') return true;
    }
    return false;
}

uint32_t BinHexReader::FindBlock(bool& found) {
    found = false;
    LineReader lines(host_, *source_, cursor_, source_->Size());
    TextLine line;
    bool afterPhrase = false;
    for (int got; (got = lines.Next(line)) != 0;) {
        if (got == -1) return orlix::ResultReadError;
        if (afterPhrase && line.text.empty() && !line.longer) continue;
        if (afterPhrase && !line.text.empty() && line.text[0] == ':') {
            data_ = line.start + 1;
            cursor_ = data_;
            found = true;
            return 0;
        }
        afterPhrase = !line.longer && StartsPhrase(line.text);
    }
    cursor_ = source_->Size();
    return 0;
}

BinHexDecoder::State BinHexReader::Decode(ByteSink& out, uint32_t& readFailure) {
    HostBuffer chunk(host_, kTextChunk);
    BinHexDecoder decoder;
    readFailure = chunk ? 0u : uint32_t{orlix::ResultUnpackError};
    uint64_t size = source_->Size();
    for (uint64_t at = data_; !readFailure && at < size;) {
        int32_t got =
            source_->ReadAt(at, chunk.data(), static_cast<uint32_t>(std::min<uint64_t>(chunk.size(), size - at)));
        if (got <= 0) {
            readFailure = got == -1 ? orlix::ResultReadError : orlix::ResultUnpackError;
            break;
        }
        if (decoder.Feed(chunk.data(), static_cast<uint32_t>(got), out) != BinHexDecoder::State::Running)
            return decoder.state();
        at += static_cast<uint32_t>(got);
    }
    // A text that ends before the closing ':' is cut off: what it holds is
    // still decoded.
    if (decoder.Finish(out) == BinHexDecoder::State::Stopped) return BinHexDecoder::State::Stopped;
    return BinHexDecoder::State::Damaged;
}

uint32_t BinHexReader::Next(std::string& name) {
    if (error_) return error_;
    if (resourceNext_) {
        resourceNext_ = false;
        resource_ = true;
        name = SafeName(header_.name, false) + ".rsrc";
        return 0;
    }
    bool found = false;
    if (uint32_t failure = FindBlock(found)) return error_ = failure;
    if (!found) return orlix::ResultNoMoreMembers;
    HeadSink head;
    uint32_t readFailure = 0;
    Decode(head, readFailure);
    if (readFailure == orlix::ResultReadError) return error_ = readFailure;
    header_ = BinHexHeader();
    // A block cut off inside its header holds no member to check.
    if (!ParseBinHexHeader(head.bytes(), head.length(), header_)) return error_ = orlix::ResultUnpackError;
    std::string file = SafeName(header_.name, false);
    resource_ = header_.dataLength == 0 && header_.resourceLength > 0;
    resourceNext_ = !resource_ && header_.resourceLength > 0;
    name = file.empty() ? "binhex" : file;
    if (resource_) name += ".rsrc";
    return 0;
}

uint32_t BinHexReader::Extract(MemberChecks& checks) {
    uint64_t skip = header_.length, length = header_.dataLength;
    if (resource_) {
        skip += header_.dataLength + 2ull;
        length = header_.resourceLength;
    }
    if (length > checks.budget().limits().memberBytes) return orlix::ResultUnpackError;
    std::unique_ptr<MemberCheck> check = checks.Begin({length, 0, false});
    ForkSink fork(skip, length, *check);
    uint32_t readFailure = 0;
    Decode(fork, readFailure);
    if (!checks.budget().Spend(0)) return check->Settle(orlix::ResultUnpackError);
    uint32_t failure = readFailure == orlix::ResultReadError ? readFailure : 0;
    // The bytes went to the check first: a find outweighs a damaged sum.
    if (!failure && !fork.stopped() && !fork.complete()) failure = orlix::ResultUnpackError;
    if (!failure && fork.complete() && (fork.sumBad() || header_.crcBad)) failure = orlix::ResultCrcError;
    return check->Settle(failure);
}

}  // namespace refengine
