// A base file as the host hands it over, in pieces of any size, split into
// lines for an engine's own line parser. Every engine's bases are read this
// way; the rejected lines are counted, an overlong one rejected whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace engineboundary {

// Takes one line (without its line break); false rejects it.
class LineTaker {
public:
    virtual ~LineTaker() = default;
    virtual bool TakeLine(const std::string& line) = 0;
    // The same line where it lies in the piece read (or in the reader's
    // own copy when it spans pieces); takers of large bases parse it there.
    virtual bool TakeText(const char* text, size_t length) { return TakeLine(std::string(text, length)); }
};

class BaseLineReader {
public:
    // maxLength bounds one line, so that a file without line ends cannot
    // grow one string without end.
    BaseLineReader(LineTaker& taker, size_t maxLength) : taker_(taker), maxLength_(maxLength) {}
    BaseLineReader(const BaseLineReader&) = delete;
    BaseLineReader& operator=(const BaseLineReader&) = delete;

    void Feed(const unsigned char* data, size_t size) {
        const char* at = reinterpret_cast<const char*>(data);
        const char* end = at + size;
        while (at < end) {
            const char* brk = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
            const char* stop = brk ? brk : end;
            if (brk && line_.empty() && !overlong_ && static_cast<size_t>(brk - at) <= maxLength_) {
                // A whole line within this piece: no copy.
                EndLine(at, static_cast<size_t>(brk - at));
                at = brk + 1;
                continue;
            }
            if (!overlong_) {
                size_t room = maxLength_ - line_.size();
                size_t take = static_cast<size_t>(stop - at);
                if (take > room) {
                    overlong_ = true;
                    line_.clear();
                } else {
                    line_.append(at, take);
                }
            }
            if (!brk) break;
            EndLine(line_.data(), line_.size());
            at = brk + 1;
        }
    }
    // At the end of the file: a last line without a line end counts too.
    void Finish() {
        if (!line_.empty() || overlong_) EndLine(line_.data(), line_.size());
    }

    int32_t rejected() const { return rejected_; }
    int32_t firstRejected() const { return firstRejected_; }  // its line number, 0 for none

private:
    void EndLine(const char* text, size_t length) {
        ++lineNumber_;
        if (overlong_ || !taker_.TakeText(text, length)) {
            if (rejected_++ == 0) firstRejected_ = lineNumber_;
        }
        line_.clear();
        overlong_ = false;
    }

    LineTaker& taker_;
    size_t maxLength_;
    std::string line_;
    bool overlong_ = false;
    int32_t lineNumber_ = 0;
    int32_t rejected_ = 0;
    int32_t firstRejected_ = 0;
};

}  // namespace engineboundary
