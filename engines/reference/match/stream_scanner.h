// Matches the loaded signatures against one object fed in chunks of any
// size: memory stays bounded by the chunk plus the longest pattern part
// and the partial matches still open.
#pragma once

#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

#include "database.h"
#include "digest/md5.h"
#include "digest/sha.h"
#include "object_type.h"
#include "wide_filter.h"

namespace refengine {

class StreamScanner {
public:
    // size: the object's length when known (EOF-n offsets, size limits and
    // hash records need it).
    StreamScanner(const Database& database, uint64_t size, bool sizeKnown);
    // False once a body signature has matched: the rest need not be read
    // (unless an allow list may still clear the object by its hash).
    bool Feed(const unsigned char* bytes, size_t count);
    // Settles what the end of the object decides (hash records).
    void Finish();

    bool found() const { return verdict_ != nullptr; }
    const Verdict& verdict() const { return *verdict_; }
    // Offset of the first byte of the body match found (0 for hash
    // matches): of several starts that complete the same match, the latest,
    // so that the match covers as little as it can.
    uint64_t matchStart() const { return matchStart_; }
    // False when the start could not be kept exactly (see Link).
    bool matchStartKnown() const { return matchStartKnown_; }
    uint64_t consumed() const { return position_; }

private:
    struct Candidate {
        uint64_t end;
        uint64_t start;
        uint32_t ref;
    };
    // Ends of verified partial matches (parts 0 to k of one record) that a
    // part k+1 may still follow: one end, or after a flood of them a range
    // of ends merged into one entry.
    struct Link {
        uint64_t firstEnd;
        uint64_t lastEnd;
        uint64_t start;  // the latest start of the record's first part that reaches lastEnd
        bool exact;      // false once merged: ends in between may be missing
    };
    using Links = std::deque<Link>;

    void Filter(size_t g);
    uint64_t FilterAll();
    bool Scan(const unsigned char* bytes, size_t count);
    // The body records over the chunk; count 0 once the object has ended.
    bool Match(const unsigned char* bytes, size_t count);
    // The data of a PE section whose size a section hash record names.
    struct SectionHash {
        uint64_t start;
        uint64_t end;
        HashKind kind;
        Md5 md5;
        Sha1 sha1;
        Sha256 sha256;
    };
    void StartSectionHashes();
    void UpdateSectionHashes(const unsigned char* bytes, size_t count);
    // The head decides the object's type and PE layout; true once it has.
    bool ProbeOnce(const unsigned char* bytes, size_t count, bool final);
    bool Resolve(uint64_t limit);
    bool Verify(const Candidate& c);
    // The object's bytes from..to-1, all of them before or in the chunk.
    const unsigned char* Bytes(uint64_t from, uint64_t to);
    void OnPart(const Candidate& c);
    bool OffsetAllows(const BodySignature& sig, uint64_t start) const;
    static void Prune(Links& links, const PatternGap& gap, uint64_t nextStart);

    const Database& db_;
    uint64_t size_;
    bool sizeKnown_;
    void UpdateHashes(const unsigned char* bytes, size_t count);

    // The head is kept until it tells the object's type, when a record
    // asks for one (or for an offset in a PE image).
    bool probing_ = false;
    std::vector<unsigned char> head_;
    ObjectHead object_;
    std::vector<SectionHash> sectionHashes_;
    Verdict sectionVerdict_;
    bool hashing_[kHashKinds] = {};
    bool allowCheck_ = false;  // an allow-list entry of this size exists: a find needs the whole object
    WideSweep wide_;           // one path for the whole object
    Md5 md5_;
    Sha1 sha1_;
    Sha256 sha256_;
    Verdict hashVerdict_;
    uint64_t position_ = 0;
    // The object has ended: checks after a part that reach past it see its end.
    bool ended_ = false;
    std::vector<unsigned char> window_;  // bytes before the chunk still needed
    uint64_t windowStart_ = 0;
    const unsigned char* chunk_ = nullptr;  // the chunk being fed
    uint64_t chunkStart_ = 0;
    unsigned char seam_[6] = {};  // the last bytes before the chunk and its first
    uint64_t seamStart_ = 0;
    std::vector<unsigned char> scratch_;
    uint64_t next_[Database::kGroups] = {};  // next position each filter group visits
    // The groups of later parts sleep until the first partial match ends
    // here: no later part starting before it can belong to a match.
    uint64_t laterFrom_ = ~uint64_t{0};
    bool woken_ = false;
    std::vector<Candidate> pending_;
    std::vector<Candidate> ready_;
    std::unordered_map<uint32_t, std::vector<Links>> links_;
    const Verdict* verdict_ = nullptr;
    uint64_t matchStart_ = 0;
    bool matchStartKnown_ = true;
};

}  // namespace refengine
