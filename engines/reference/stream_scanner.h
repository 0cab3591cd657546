// Matches the loaded signatures against one object fed in chunks of any
// size: memory stays bounded by the chunk plus the longest pattern part.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "database.h"
#include "md5.h"

namespace refengine {

class StreamScanner {
public:
    // size: the object's length when known (EOF-n offsets, size limits and
    // hash records need it).
    StreamScanner(const Database& database, uint64_t size, bool sizeKnown);
    // False once a body signature has matched: the rest need not be read.
    bool Feed(const unsigned char* bytes, size_t count);
    // Settles what the end of the object decides (hash records).
    void Finish();

    bool found() const { return verdict_ != nullptr; }
    const Verdict& verdict() const { return *verdict_; }
    // Offset of the first byte of the body match (0 for hash matches).
    uint64_t matchStart() const { return matchStart_; }
    uint64_t consumed() const { return position_; }

private:
    struct Candidate {
        uint64_t end;
        uint64_t start;
        uint32_t ref;
    };
    struct Chain {
        uint64_t end;
        uint64_t start;  // where the first part of the chain began
    };

    void Resolve(uint64_t limit);
    bool Verify(const Candidate& c) const;
    void OnPart(const Candidate& c);
    bool OffsetAllows(const BodySignature& sig, uint64_t start) const;

    const Database& db_;
    uint64_t size_;
    bool sizeKnown_;
    bool hashing_;
    Md5 md5_;
    int32_t state_ = 0;
    uint64_t position_ = 0;
    std::vector<unsigned char> window_;
    uint64_t windowStart_ = 0;
    std::vector<Candidate> pending_;
    std::unordered_map<uint32_t, std::vector<std::vector<Chain>>> chains_;
    const Verdict* verdict_ = nullptr;
    uint64_t matchStart_ = 0;
};

}  // namespace refengine
