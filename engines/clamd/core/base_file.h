// The base file clamd.vdb as the host hands it over, in pieces of any size:
// split into lines, each applied to the settings, the rejected ones counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "config.h"

namespace clamdbridge {

class BaseFileParser {
public:
    explicit BaseFileParser(Settings& settings) : settings_(settings) {}
    BaseFileParser(const BaseFileParser&) = delete;
    BaseFileParser& operator=(const BaseFileParser&) = delete;

    void Feed(const unsigned char* data, size_t size);
    // At the end of the file: applies a last line that has no line end.
    void Finish();

    int32_t rejected() const { return rejected_; }
    int32_t firstRejected() const { return firstRejected_; }  // its line number, 0 for none

private:
    void EndLine();

    Settings& settings_;
    std::string line_;
    bool overlong_ = false;
    int32_t lineNumber_ = 0;
    int32_t rejected_ = 0;
    int32_t firstRejected_ = 0;
};

}  // namespace clamdbridge
