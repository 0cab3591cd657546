// What the mail formats share: a view of part of an object, its lines read
// one by one whatever their ending, the first pass that measures a decoded
// member, and the names members may carry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codecs/codec.h"
#include "formats/check_budget.h"
#include "formats/single_member.h"
#include "host/host_io.h"

namespace refengine {

// Bytes of a line kept as text: a header field, a boundary, a uuencoded
// line all fit; what is longer is only measured.
constexpr size_t kKeptLineBytes = 16384;

// A range of a shared object read as an object of its own.
class RangeSource : public ByteSource {
public:
    RangeSource(std::shared_ptr<ByteSource> source, uint64_t start, uint64_t end)
        : source_(std::move(source)), start_(start), size_(end > start ? end - start : 0) {}
    uint64_t Size() const override { return size_; }
    int32_t ReadAt(uint64_t offset, void* buffer, uint32_t count) override;

private:
    std::shared_ptr<ByteSource> source_;
    uint64_t start_;
    uint64_t size_;
};

struct TextLine {
    uint64_t start = 0;
    uint64_t textEnd = 0;  // where the line's ending starts
    uint64_t end = 0;      // past the ending
    std::string text;      // the first kKeptLineBytes of the line, without its ending
    bool longer = false;   // the line holds more than text
};

// Lines of a range ended by LF, CRLF or a lone CR, as mail parsers split them.
class LineReader {
public:
    LineReader(Host& host, ByteSource& source, uint64_t start, uint64_t end);
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;
    // 1: a line read; 0: the range is done; -1: a read failure (or no buffer).
    int Next(TextLine& line);
    uint64_t position() const { return position_; }

private:
    bool Fill();  // false on a read failure

    ByteSource& source_;
    HostBuffer buffer_;
    uint64_t end_;
    uint64_t position_;  // the object offset of buffer_[at_]
    uint32_t at_ = 0;
    uint32_t filled_ = 0;
};

// Hands bytes to two sinks; the second (a copy kept aside) may be absent.
class TeeSink : public ByteSink {
public:
    TeeSink(ByteSink& first, ByteSink* second) : first_(first), second_(second) {}
    bool Take(const unsigned char* bytes, uint32_t count) override;
    bool secondFailed() const { return secondFailed_; }

private:
    ByteSink& first_;
    ByteSink* second_;
    bool secondFailed_ = false;
};

// A member name as the plug-in shows it: printable ASCII only, anything
// else (a UTF-8 sequence counting as one character) replaced by '_', at
// most kMaxMemberNameKept bytes.
std::string SafeName(const std::string& bytes, bool utf8);

// The lines of bytes held in memory, without their endings; skipFirst: the
// bytes start inside a line, which is left out.
std::vector<std::string> HeadLines(const unsigned char* bytes, size_t count, bool skipFirst = false);

std::string Lowercase(std::string text);
std::string TrimWhite(const std::string& text);
bool StartsWithNoCase(const std::string& text, const char* prefix);

}  // namespace refengine
