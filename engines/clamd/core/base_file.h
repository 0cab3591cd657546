// The base file clamd.vdb as the host hands it over, in pieces of any size:
// split into lines, each applied to the settings, the rejected ones counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base_lines.h"
#include "config.h"

namespace clamdbridge {

class BaseFileParser : private engineboundary::LineTaker {
public:
    explicit BaseFileParser(Settings& settings);

    void Feed(const unsigned char* data, size_t size) { lines_.Feed(data, size); }
    // At the end of the file: applies a last line that has no line end.
    void Finish() { lines_.Finish(); }

    int32_t rejected() const { return lines_.rejected(); }
    int32_t firstRejected() const { return lines_.firstRejected(); }  // its line number, 0 for none

private:
    bool TakeLine(const std::string& line) override;

    Settings& settings_;
    engineboundary::BaseLineReader lines_;
};

}  // namespace clamdbridge
