#include "base_file.h"

namespace clamdbridge {
namespace {

// Longer lines are rejected whole; the bound keeps a file without line ends
// from growing one string without end.
constexpr size_t kMaxLineLength = 4096;

}  // namespace

void BaseFileParser::Feed(const unsigned char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            EndLine();
        } else if (line_.size() < kMaxLineLength) {
            line_ += static_cast<char>(data[i]);
        } else {
            overlong_ = true;
        }
    }
}

void BaseFileParser::Finish() {
    if (!line_.empty() || overlong_) EndLine();
}

void BaseFileParser::EndLine() {
    ++lineNumber_;
    if (overlong_ || !ApplyConfigLine(line_, settings_)) {
        if (rejected_++ == 0) firstRejected_ = lineNumber_;
    }
    line_.clear();
    overlong_ = false;
}

}  // namespace clamdbridge
