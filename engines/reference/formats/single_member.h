// What the formats that compress one stream (gzip, bzip2, xz, .lzma) share:
// the name their decompressors give the member; and the pass that measures
// a decoded member before a byte of it is checked, which the mail formats
// use too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "check_budget.h"
#include "codecs/codec.h"

namespace refengine {

// A suffix of archive names and what replaces it in the member's name.
struct SuffixRule {
    const char* suffix;       // lower case, with its dot
    const char* replacement;  // ".tar" for the short forms of .tar.xx, else ""
};

// The archive's name without its folder and, by the first rule whose
// suffix it ends in (case aside, and longer than it), with that suffix
// replaced; unchanged when none applies.
std::string SingleMemberName(const std::string& archive, const SuffixRule* rules, size_t count);

// Counts the decoded bytes and refuses them past the member bound or the
// check's time: a bomb ends here before anything is matched.
class MeasureSink : public ByteSink {
public:
    explicit MeasureSink(CheckBudget& budget) : budget_(budget) {}
    bool Take(const unsigned char*, uint32_t count) override;
    uint64_t size() const { return size_; }
    bool over() const { return over_; }

private:
    CheckBudget& budget_;
    uint64_t size_ = 0;
    bool over_ = false;
};

}  // namespace refengine
