#include "base_file.h"

namespace clamdbridge {
namespace {

// Longer lines are rejected whole.
constexpr size_t kMaxLineLength = 4096;

}  // namespace

BaseFileParser::BaseFileParser(Settings& settings) : settings_(settings), lines_(*this, kMaxLineLength) {}

bool BaseFileParser::TakeLine(const std::string& line) { return ApplyConfigLine(line, settings_); }

}  // namespace clamdbridge
