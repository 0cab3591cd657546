// The loaded signature records and the filter built over short windows of
// the fixed bytes of their pattern parts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "anchor_group.h"
#include "virus_record.h"
#include "wide_filter.h"

namespace refengine {

class Database {
public:
    // Window kinds (width and stride), each once for first parts and once
    // for later parts.
    static constexpr size_t kKinds = 10;
    static constexpr size_t kGroups = 2 * kKinds;

    // Adds the record of one base line; false for a line that is none.
    bool AddLine(const std::string& line);
    // Builds the filter and the hash index; cheap to call again when
    // nothing changed.
    void Finish();
    void Clear();

    const std::vector<BodySignature>& bodies() const { return bodies_; }
    const std::vector<HashSignature>& hashes() const { return hashes_; }
    const PartRef& part(uint32_t ref) const { return parts_[ref]; }
    uint32_t maxPartLength() const { return maxPartLength_; }
    bool HasHashOfSize(uint64_t size) const;
    // The hash record of this size and digest, or null.
    const HashSignature* FindHash(uint64_t size, const unsigned char (&md5)[16]) const;
    int32_t records() const { return static_cast<int32_t>(bodies_.size() + hashes_.size()); }
    const AnchorGroup& group(size_t index) const { return groups_[index]; }

    // The vector path of the filter's scan loop: the best the processor has
    // unless a test or a benchmark names one it has.
    FilterPath filterPath() const { return filterPath_; }
    bool UseFilterPath(FilterPath path);
    WideSweep wideSweep() const { return WideSweepOf(filterPath_); }

private:
    void AddAnchors(uint32_t ref, const PatternPart& part, bool later);

    std::vector<BodySignature> bodies_;
    std::vector<HashSignature> hashes_;
    std::vector<PartRef> parts_;
    std::vector<uint32_t> hashOrder_;  // hashes_ indices sorted by size, then digest
    AnchorGroup groups_[kGroups];
    uint32_t maxPartLength_ = 0;
    FilterPath filterPath_ = BestFilterPath();
    bool built_ = false;
};

}  // namespace refengine
