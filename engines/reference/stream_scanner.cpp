#include "stream_scanner.h"

#include <algorithm>
#include <cstring>

namespace refengine {
namespace {

// Open chains kept per bounded gap; a flood of partial matches cannot grow
// memory without limit (the oldest are dropped first).
constexpr size_t kMaxChainsPerPart = 256;

}  // namespace

StreamScanner::StreamScanner(const Database& database, uint64_t size, bool sizeKnown)
    : db_(database), size_(size), sizeKnown_(sizeKnown) {
    hashing_ = sizeKnown ? database.HasHashOfSize(size) : !database.hashes().empty();
}

bool StreamScanner::OffsetAllows(const BodySignature& sig, uint64_t start) const {
    switch (sig.offsetKind) {
        case OffsetKind::Any:
            return true;
        case OffsetKind::FromStart:
            return start == sig.offset;
        case OffsetKind::FromEnd:
            return sizeKnown_ && size_ >= sig.offset && start == size_ - sig.offset;
    }
    return false;
}

bool StreamScanner::Verify(const Candidate& c) const {
    const PartRef& ref = db_.part(c.ref);
    const PatternPart& part = db_.bodies()[ref.signature].parts[ref.part];
    const unsigned char* at = window_.data() + (c.start - windowStart_);
    for (uint32_t k = 0; k < ref.length; ++k) {
        if (part.fixed[k] && at[k] != part.bytes[k]) return false;
    }
    return true;
}

void StreamScanner::OnPart(const Candidate& c) {
    const PartRef& ref = db_.part(c.ref);
    const BodySignature& sig = db_.bodies()[ref.signature];
    uint32_t limit = sig.verdict.maxObjectSize;
    if (limit && (!sizeKnown_ || size_ > limit)) return;
    uint64_t chainStart = c.start;
    if (ref.part == 0) {
        if (!OffsetAllows(sig, c.start)) return;
    } else {
        auto it = chains_.find(ref.signature);
        if (it == chains_.end()) return;
        std::vector<Chain>& before = it->second[ref.part - 1];
        const PatternGap& gap = sig.gaps[ref.part - 1];
        bool linked = false;
        for (const Chain& chain : before) {
            if (chain.end + gap.min <= c.start && (gap.unbounded || c.start <= chain.end + gap.max)) {
                chainStart = chain.start;
                linked = true;
                break;
            }
        }
        // Parts of one kind arrive in order of their starts, so a chain too
        // far behind this one is too far behind every later one as well.
        if (!gap.unbounded) {
            before.erase(std::remove_if(before.begin(), before.end(),
                                        [&](const Chain& chain) { return chain.end + gap.max < c.start; }),
                         before.end());
        }
        if (!linked) return;
    }
    if (ref.part + 1 == sig.parts.size()) {
        verdict_ = &sig.verdict;
        matchStart_ = chainStart;
        return;
    }
    std::vector<std::vector<Chain>>& chains = chains_[ref.signature];
    if (chains.empty()) chains.resize(sig.parts.size() - 1);
    std::vector<Chain>& list = chains[ref.part];
    if (sig.gaps[ref.part].unbounded) {
        // With no upper bound the earliest end serves every later part.
        if (list.empty()) list.push_back(Chain{c.end, chainStart});
        return;
    }
    if (list.size() >= kMaxChainsPerPart) list.erase(list.begin());
    list.push_back(Chain{c.end, chainStart});
}

void StreamScanner::Resolve(uint64_t limit) {
    auto ready = std::partition(pending_.begin(), pending_.end(), [&](const Candidate& c) { return c.end > limit; });
    std::vector<Candidate> now(ready, pending_.end());
    pending_.erase(ready, pending_.end());
    std::sort(now.begin(), now.end(), [&](const Candidate& a, const Candidate& b) {
        if (a.end != b.end) return a.end < b.end;
        return db_.part(a.ref).part < db_.part(b.ref).part;
    });
    for (const Candidate& c : now) {
        if (Verify(c)) OnPart(c);
        if (verdict_) {
            pending_.clear();
            return;
        }
    }
}

bool StreamScanner::Feed(const unsigned char* bytes, size_t count) {
    if (verdict_) return false;
    if (hashing_) md5_.Update(bytes, count);
    if (db_.bodies().empty()) {
        position_ += count;
        return true;
    }
    window_.insert(window_.end(), bytes, bytes + count);
    for (size_t i = 0; i < count; ++i) {
        state_ = db_.Step(state_, bytes[i]);
        if (!db_.HasHits(state_)) continue;
        uint64_t anchorEnd = position_ + i + 1;
        for (uint32_t ref : db_.Hits(state_)) {
            const PartRef& part = db_.part(ref);
            if (anchorEnd < part.anchorEnd) continue;
            uint64_t start = anchorEnd - part.anchorEnd;
            pending_.push_back(Candidate{start + part.length, start, ref});
        }
    }
    position_ += count;
    Resolve(position_);
    if (verdict_) return false;
    // Keep what a part still to be verified may need, and no more.
    uint64_t keep = position_ > db_.maxPartLength() ? position_ - db_.maxPartLength() : 0;
    for (const Candidate& c : pending_) keep = std::min(keep, c.start);
    if (keep > windowStart_) {
        window_.erase(window_.begin(), window_.begin() + static_cast<ptrdiff_t>(keep - windowStart_));
        windowStart_ = keep;
    }
    return true;
}

void StreamScanner::Finish() {
    pending_.clear();
    if (verdict_ || !hashing_) return;
    unsigned char digest[16];
    md5_.Final(digest);
    for (const HashSignature& h : db_.hashes()) {
        if (h.size == position_ && std::memcmp(h.md5, digest, 16) == 0) {
            verdict_ = &h.verdict;
            matchStart_ = 0;
            return;
        }
    }
}

}  // namespace refengine
