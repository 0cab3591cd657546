// The loaded signature records and the multi-pattern automaton built over
// the fixed anchors of their pattern parts.
#pragma once

#include <cstdint>
#include <vector>

#include "signature.h"

namespace refengine {

// One pattern part as the automaton reports it.
struct PartRef {
    uint32_t signature;
    uint32_t part;
    uint32_t anchorEnd;  // offset just past the anchor inside the part
    uint32_t length;
};

class Database {
public:
    // Adds the records of one base file read through the host; the number
    // of records it added, or -1 when the file cannot be read.
    int32_t LoadBase(const char* path);
    // Builds the automaton; cheap to call again when nothing changed.
    void Finish();
    void Clear();

    const std::vector<BodySignature>& bodies() const { return bodies_; }
    const std::vector<HashSignature>& hashes() const { return hashes_; }
    const PartRef& part(uint32_t ref) const { return parts_[ref]; }
    uint32_t maxPartLength() const { return maxPartLength_; }
    bool HasHashOfSize(uint64_t size) const;
    int32_t records() const { return static_cast<int32_t>(bodies_.size() + hashes_.size()); }
    int32_t rejectedLines() const { return rejected_; }

    // Automaton walk: the state after byte, and the parts whose anchors end there.
    int32_t Step(int32_t state, unsigned char byte) const;
    bool HasHits(int32_t state) const { return hasHits_[static_cast<size_t>(state)] != 0; }
    const std::vector<uint32_t>& Hits(int32_t state) const { return outputs_[state]; }

private:
    void AddLine(const std::string& line);
    int32_t Child(int32_t state, unsigned char byte) const;
    int32_t TrieChild(int32_t state, unsigned char byte) const;

    std::vector<BodySignature> bodies_;
    std::vector<HashSignature> hashes_;
    std::vector<PartRef> parts_;
    uint32_t maxPartLength_ = 0;
    int32_t rejected_ = 0;
    bool built_ = false;

    struct Edge {
        unsigned char byte;
        int32_t target;
    };
    // The trie while it is built; the walk then uses the same edges side by
    // side in one array (a state's edges from edgeStart_[state]) and one byte
    // a state saying whether it has hits, touching fewer cache lines a byte.
    std::vector<std::vector<Edge>> edges_;  // sorted by byte
    std::vector<uint32_t> edgeStart_;
    std::vector<Edge> flat_;
    std::vector<uint8_t> hasHits_;
    std::vector<int32_t> fail_;
    std::vector<std::vector<uint32_t>> outputs_;
    int32_t root_[256] = {};
    // Transition rows of states 1 to denseStates_ (one byte deep), 256 each.
    std::vector<int32_t> dense_;
    uint32_t denseStates_ = 0;
};

// The process-wide database of the loaded engine.
Database& CurrentDatabase();

}  // namespace refengine
