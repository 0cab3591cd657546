#include "mail_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "formats/archive_reader.h"

namespace refengine {
namespace {

constexpr uint32_t kLineChunk = 16384;

}  // namespace

int32_t RangeSource::ReadAt(uint64_t offset, void* buffer, uint32_t count) {
    if (offset >= size_) return 0;
    uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(count, size_ - offset));
    return source_->ReadAt(start_ + offset, buffer, take);
}

LineReader::LineReader(Host& host, ByteSource& source, uint64_t start, uint64_t end)
    : source_(source), buffer_(host, kLineChunk), end_(std::min(end, source.Size())), position_(start) {}

bool LineReader::Fill() {
    at_ = filled_ = 0;
    if (position_ >= end_) return true;
    uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(buffer_.size(), end_ - position_));
    int32_t got = source_.ReadAt(position_, buffer_.data(), want);
    if (got == -1) return false;
    filled_ = static_cast<uint32_t>(got);
    if (got == 0) end_ = position_;  // the object is shorter than it said
    return true;
}

int LineReader::Next(TextLine& line) {
    if (!buffer_) return -1;
    if (position_ >= end_) return 0;
    line.start = position_;
    line.text.clear();
    line.longer = false;
    for (;;) {
        if (at_ == filled_) {
            if (!Fill()) return -1;
            if (filled_ == 0) {
                line.textEnd = line.end = position_;
                return 1;
            }
        }
        const unsigned char* bytes = buffer_.data();
        uint32_t run = at_;
        while (run < filled_ && bytes[run] != '\n' && bytes[run] != '\r') ++run;
        size_t room = kKeptLineBytes - std::min(kKeptLineBytes, line.text.size());
        size_t keep = std::min<size_t>(room, run - at_);
        line.text.append(reinterpret_cast<const char*>(bytes + at_), keep);
        if (keep < run - at_) line.longer = true;
        position_ += run - at_;
        at_ = run;
        if (run == filled_) continue;
        line.textEnd = position_;
        bool cr = bytes[at_] == '\r';
        ++at_;
        ++position_;
        if (cr) {
            if (at_ == filled_ && !Fill()) return -1;
            if (at_ < filled_ && buffer_.data()[at_] == '\n') {
                ++at_;
                ++position_;
            }
        }
        line.end = position_;
        return 1;
    }
}

bool TeeSink::Take(const unsigned char* bytes, uint32_t count) {
    if (second_ && !secondFailed_ && !second_->Take(bytes, count)) secondFailed_ = true;
    return first_.Take(bytes, count);
}

std::string SafeName(const std::string& bytes, bool utf8) {
    std::string name;
    for (size_t i = 0; i < bytes.size() && name.size() < kMaxMemberNameKept; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F) {
            name += static_cast<char>(c);
        } else if (!(utf8 && c >= 0x80 && c < 0xC0)) {
            name += '_';  // a UTF-8 continuation adds nothing to its character's '_'
        }
    }
    return name;
}

std::vector<std::string> HeadLines(const unsigned char* bytes, size_t count, bool skipFirst) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i <= count; ++i) {
        if (i < count && bytes[i] != '\n' && bytes[i] != '\r') continue;
        if (!skipFirst) lines.emplace_back(reinterpret_cast<const char*>(bytes + start), i - start);
        skipFirst = false;
        if (i + 1 < count && bytes[i] == '\r' && bytes[i + 1] == '\n') ++i;
        start = i + 1;
    }
    return lines;
}

std::string Lowercase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string TrimWhite(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    size_t length = std::strlen(prefix);
    if (text.size() < length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

}  // namespace refengine
