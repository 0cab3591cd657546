// The loaded signature records and the filter built over short windows of
// the fixed bytes of their pattern parts.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "anchor_group.h"
#include "clam_records.h"
#include "hash_store.h"
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
    // Records of the open database formats, parsed by their loader: one
    // record matched as one body per choice of its alternatives (moved from).
    void AddBody(BodySignature&& body);
    void AddBodies(std::vector<BodySignature>& choices);
    // A find, or with allow an allow-list entry; false when the name is none.
    bool AddHash(const HashLine& line, const Verdict& kind, bool allow);
    // A find of one PE section's data.
    bool AddSectionHash(const HashLine& line);
    // Records of this name are left out, whichever base holds them.
    void Ignore(const TextSpan& name);
    bool Ignored(const std::string& name) const { return !ignored_.empty() && ignored_.count(name) != 0; }
    size_t ignoredNames() const { return ignored_.size(); }

    // What a base that fails its integrity check is rolled back to: the
    // records it added go, the others stay.
    struct Mark {
        size_t bodies;
        size_t choices;
        HashStore::Mark hashes;
    };
    Mark mark() const { return Mark{bodies_.size(), extraChoices_, hashes_.mark()}; }
    void Rollback(const Mark& mark);
    // Builds the filter and the hash index; cheap to call again when
    // nothing changed.
    void Finish();
    void Clear();

    const std::vector<BodySignature>& bodies() const { return bodies_; }
    const HashStore& hashes() const { return hashes_; }
    const PartRef& part(uint32_t ref) const { return parts_[ref]; }
    uint32_t maxPartLength() const { return maxPartLength_; }
    // The most bytes after a part that a boundary check reads: the scanner
    // settles a part only once they have arrived (or the object has ended).
    uint32_t lookahead() const { return lookahead_; }
    // The find of this kind, size and digest whose name is not ignored.
    bool FindHash(HashKind kind, uint64_t size, const unsigned char* digest, Verdict& verdict) const;
    bool Allowed(HashKind kind, uint64_t size, const unsigned char* digest) const;
    bool FindSectionHash(HashKind kind, uint64_t size, const unsigned char* digest, Verdict& verdict) const;
    int32_t records() const { return static_cast<int32_t>(bodies_.size() - extraChoices_ + hashes_.findCount()); }
    // Some record needs the object's type or its PE layout: the scanner
    // reads the head before it matches.
    bool needsHead() const { return needsHead_; }
    // Bytes the records and the filter hold (vector capacities).
    size_t bytes() const;
    const AnchorGroup& group(size_t index) const { return groups_[index]; }

    // The vector path of the filter's scan loop: the best the processor has
    // unless a test or a benchmark names one it has.
    FilterPath filterPath() const { return filterPath_; }
    bool UseFilterPath(FilterPath path);
    WideSweep wideSweep() const { return WideSweepOf(filterPath_); }

private:
    void AddAnchors(uint32_t ref, const PatternPart& part, bool later);

    std::vector<BodySignature> bodies_;
    size_t extraChoices_ = 0;  // bodies beyond the first of a record's choices
    bool needsHead_ = false;
    HashStore hashes_;
    std::unordered_set<std::string> ignored_;
    std::vector<PartRef> parts_;
    AnchorGroup groups_[kGroups];
    uint32_t maxPartLength_ = 0;
    uint32_t lookahead_ = 0;
    FilterPath filterPath_ = BestFilterPath();
    bool built_ = false;
};

}  // namespace refengine
