#include "database.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "host_io.h"

namespace refengine {
namespace {

// Anchors are cut to this length: longer keys only deepen the trie, the
// verification of the whole part does the rest.
constexpr uint32_t kMaxAnchorLength = 16;
constexpr size_t kMaxLineLength = 65536;
constexpr uint32_t kReadChunk = 65536;

}  // namespace

Database& CurrentDatabase() {
    static Database database;
    return database;
}

void Database::Clear() { *this = Database(); }

void Database::AddLine(const std::string& line) {
    BodySignature body;
    HashSignature hash;
    switch (ParseBaseLine(line, body, hash)) {
        case LineKind::Body:
            bodies_.push_back(std::move(body));
            built_ = false;
            break;
        case LineKind::Hash:
            hashes_.push_back(std::move(hash));
            built_ = false;
            break;
        case LineKind::Invalid:
            ++rejected_;
            break;
        case LineKind::Blank:
            break;
    }
}

int32_t Database::LoadBase(const char* path) {
    if (!path || !HostBound()) return -1;
    HostFile file;
    if (!file.Open(path, orlix::kOpenRead)) return -1;
    HostBuffer chunk(kReadChunk);
    if (!chunk) return -1;
    int32_t before = records(), rejectedBefore = rejected_;
    std::string line;
    bool overlong = false;
    uint64_t offset = 0;
    for (;;) {
        int32_t got = file.ReadAt(offset, chunk.data(), chunk.size());
        if (got == -1) return -1;
        if (got == 0) break;
        offset += static_cast<uint32_t>(got);
        for (int32_t i = 0; i < got; ++i) {
            char c = static_cast<char>(chunk.data()[i]);
            if (c == '\n') {
                if (overlong)
                    ++rejected_;
                else
                    AddLine(line);
                line.clear();
                overlong = false;
            } else if (!overlong) {
                line += c;
                if (line.size() > kMaxLineLength) {
                    overlong = true;
                    line.clear();
                }
            }
        }
    }
    if (overlong)
        ++rejected_;
    else if (!line.empty())
        AddLine(line);
    char trace[400];
    std::snprintf(trace, sizeof trace, "orlix32: %.260s: %d records, %d lines rejected\n", path, records() - before,
                  rejected_ - rejectedBefore);
    HostTrace(trace);
    return records() - before;
}

bool Database::HasHashOfSize(uint64_t size) const {
    for (const HashSignature& h : hashes_) {
        if (h.size == size) return true;
    }
    return false;
}

int32_t Database::TrieChild(int32_t state, unsigned char byte) const {
    const std::vector<Edge>& list = edges_[state];
    auto it =
        std::lower_bound(list.begin(), list.end(), byte, [](const Edge& e, unsigned char b) { return e.byte < b; });
    return it != list.end() && it->byte == byte ? it->target : -1;
}

int32_t Database::Child(int32_t state, unsigned char byte) const {
    const Edge* first = flat_.data() + edgeStart_[static_cast<size_t>(state)];
    const Edge* last = flat_.data() + edgeStart_[static_cast<size_t>(state) + 1];
    const Edge* it = std::lower_bound(first, last, byte, [](const Edge& e, unsigned char b) { return e.byte < b; });
    return it != last && it->byte == byte ? it->target : -1;
}

int32_t Database::Step(int32_t state, unsigned char byte) const {
    for (;;) {
        if (state == 0) return root_[byte];
        if (static_cast<uint32_t>(state) <= denseStates_)
            return dense_[(static_cast<uint32_t>(state) - 1) * 256 + byte];
        int32_t next = Child(state, byte);
        if (next >= 0) return next;
        state = fail_[state];
    }
}

void Database::Finish() {
    if (built_) return;
    parts_.clear();
    edges_.assign(1, {});
    outputs_.assign(1, {});
    maxPartLength_ = 0;
    denseStates_ = 0;
    dense_.clear();
    auto childOrNew = [this](int32_t state, unsigned char byte) {
        int32_t next = TrieChild(state, byte);
        if (next >= 0) return next;
        next = static_cast<int32_t>(edges_.size());
        edges_.emplace_back();
        outputs_.emplace_back();
        std::vector<Edge>& list = edges_[state];
        auto at =
            std::lower_bound(list.begin(), list.end(), byte, [](const Edge& e, unsigned char b) { return e.byte < b; });
        list.insert(at, Edge{byte, next});
        return next;
    };
    // The states one byte deep first, so that they are states 1 to k: a
    // walk over clean data with many records sits in them or falls back to
    // them at nearly every byte, and their full transition rows (below) are
    // then found by the state number alone.
    for (const BodySignature& body : bodies_) {
        for (const PatternPart& part : body.parts) {
            if (part.anchorLength > 0) childOrNew(0, part.bytes[part.anchorStart]);
        }
    }
    const uint32_t depthOne = static_cast<uint32_t>(edges_.size() - 1);
    for (uint32_t s = 0; s < bodies_.size(); ++s) {
        for (uint32_t p = 0; p < bodies_[s].parts.size(); ++p) {
            const PatternPart& part = bodies_[s].parts[p];
            uint32_t length = std::min(part.anchorLength, kMaxAnchorLength);
            int32_t state = 0;
            for (uint32_t k = 0; k < length; ++k) state = childOrNew(state, part.bytes[part.anchorStart + k]);
            uint32_t size = static_cast<uint32_t>(part.bytes.size());
            outputs_[state].push_back(static_cast<uint32_t>(parts_.size()));
            parts_.push_back(PartRef{s, p, part.anchorStart + length, size});
            maxPartLength_ = std::max(maxPartLength_, size);
        }
    }
    edgeStart_.assign(edges_.size() + 1, 0);
    flat_.clear();
    for (size_t state = 0; state < edges_.size(); ++state) {
        edgeStart_[state] = static_cast<uint32_t>(flat_.size());
        flat_.insert(flat_.end(), edges_[state].begin(), edges_[state].end());
    }
    edgeStart_[edges_.size()] = static_cast<uint32_t>(flat_.size());
    // Failure links breadth first; each state inherits the hits of its
    // failure state so a walk reports every anchor ending at a byte.
    fail_.assign(edges_.size(), 0);
    for (int b = 0; b < 256; ++b) root_[b] = 0;
    std::vector<int32_t> queue;
    for (const Edge& e : edges_[0]) {
        root_[e.byte] = e.target;
        queue.push_back(e.target);
    }
    for (size_t head = 0; head < queue.size(); ++head) {
        int32_t state = queue[head];
        for (const Edge& e : edges_[state]) {
            int32_t fallback = Step(fail_[state], e.byte);
            fail_[e.target] = fallback;
            const std::vector<uint32_t>& inherited = outputs_[fallback];
            outputs_[e.target].insert(outputs_[e.target].end(), inherited.begin(), inherited.end());
            queue.push_back(e.target);
        }
    }
    // Full rows for the states one byte deep: their failure state is the
    // start state, so a missing edge leads where the start state's would.
    dense_.resize(static_cast<size_t>(depthOne) * 256);
    for (uint32_t state = 1; state <= depthOne; ++state) {
        for (int b = 0; b < 256; ++b) {
            int32_t next = Child(static_cast<int32_t>(state), static_cast<unsigned char>(b));
            dense_[(state - 1) * 256 + static_cast<uint32_t>(b)] = next >= 0 ? next : root_[b];
        }
    }
    denseStates_ = depthOne;
    hasHits_.assign(outputs_.size(), 0);
    for (size_t state = 0; state < outputs_.size(); ++state) hasHits_[state] = !outputs_[state].empty();
    built_ = true;
}

}  // namespace refengine
