#include "stream_scanner.h"

#include <algorithm>
#include <cstring>

namespace refengine {
namespace {

// Open partial matches kept per gap of one record. Pruning leaves at most
// gap minimum + next part length + 1 of them, so only gaps of thousands of
// bytes reach this; past it the newest two are merged into one range of
// ends, which keeps every find (it may let a match through whose ends in
// the merged range do not all exist) but no longer knows the exact start.
constexpr size_t kMaxLinks = 4096;

// Visits positions from..to-1 (stride apart) of bytes that begin at
// position origin, and reports those whose window the group's bitmap lets
// through; the position after the last one. A wide sweep, when the process
// has one, takes the 4-byte windows in vector steps; this loop takes the rest.
template <uint32_t Width, typename OnHit>
uint64_t Sweep(const AnchorGroup& group, WideSweep wide, const unsigned char* bytes, uint64_t origin, uint64_t from,
               uint64_t to, OnHit onHit) {
    const uint32_t* bitmap = group.bitmap.data();
    const uint32_t multiplier = group.multiplier, shift = group.shift, stride = group.stride;
    size_t i = static_cast<size_t>(from - origin);
    const size_t end = static_cast<size_t>(to - origin);
    if (Width == 4 && wide) {
        size_t hits[kWideHits];
        for (;;) {
            size_t count = 0;
            const size_t next = wide(group, bytes, i, end, hits, count);
            for (size_t k = 0; k < count; ++k) onHit(WindowKey<4>(bytes + hits[k]), origin + hits[k]);
            if (next == i) break;
            i = next;
        }
    }
    for (; i < end; i += stride) {
        const uint32_t key = WindowKey<Width>(bytes + i);
        const uint32_t mask = AnchorGroup::MaskOf<Width>(key);
        if ((bitmap[(key * multiplier) >> shift] & mask) == mask) onHit(key, origin + i);
    }
    return origin + i;
}

}  // namespace

StreamScanner::StreamScanner(const Database& database, uint64_t size, bool sizeKnown)
    : db_(database), size_(size), sizeKnown_(sizeKnown), probing_(database.needsHead()), wide_(database.wideSweep()) {
    // A kind is computed only when a record of it may take this object.
    for (size_t k = 0; k < kHashKinds; ++k) {
        const HashKind kind = static_cast<HashKind>(k);
        const HashTable &finds = database.hashes().finds(kind), &allowed = database.hashes().allowed(kind);
        const bool allow = sizeKnown ? allowed.Covers(size) : allowed.count() > 0;
        hashing_[k] = allow || (sizeKnown ? finds.Covers(size) : finds.count() > 0);
        allowCheck_ = allowCheck_ || allow;
    }
}

void StreamScanner::UpdateHashes(const unsigned char* bytes, size_t count) {
    if (hashing_[0]) md5_.Update(bytes, count);
    if (hashing_[1]) sha1_.Update(bytes, count);
    if (hashing_[2]) sha256_.Update(bytes, count);
}

bool StreamScanner::OffsetAllows(const BodySignature& sig, uint64_t start) const {
    if (sig.target != 0 && sig.target != static_cast<uint8_t>(object_.type)) return false;
    const std::vector<PeSection>& sections = object_.layout.sections;
    uint64_t base = 0;
    switch (sig.offsetKind) {
        case OffsetKind::Any:
            return true;
        case OffsetKind::FromStart:
            base = sig.offset;
            break;
        case OffsetKind::FromEnd:
            if (!sizeKnown_ || size_ < sig.offset) return false;
            base = size_ - sig.offset;
            break;
        case OffsetKind::EntryPoint: {
            const uint64_t entry = object_.layout.entryOffset;
            if (!object_.pe || (sig.backward && entry < sig.offset)) return false;
            base = sig.backward ? entry - sig.offset : entry + sig.offset;
            break;
        }
        case OffsetKind::SectionStart:
            if (!object_.pe || sig.section >= sections.size()) return false;
            base = uint64_t{sections[sig.section].rawOffset} + sig.offset;
            break;
        case OffsetKind::LastSection:
            if (!object_.pe) return false;
            base = uint64_t{sections.back().rawOffset} + sig.offset;
            break;
        case OffsetKind::InSection: {
            if (!object_.pe || sig.section >= sections.size()) return false;
            const PeSection& s = sections[sig.section];
            // Up to and including the first byte after the section.
            return start >= s.rawOffset && start - s.rawOffset <= uint64_t{s.rawSize} + sig.shift;
        }
    }
    return start >= base && start - base <= sig.shift;
}

bool StreamScanner::Verify(const Candidate& c) {
    const PartRef& ref = db_.part(c.ref);
    const PatternPart& part = db_.bodies()[ref.signature].parts[ref.part];
    if (part.before == Boundary::None && part.after == Boundary::None) return part.Matches(Bytes(c.start, c.end));
    // The boundaries' bytes beside the part: the one before it unless the
    // object starts with the part, those after it that have arrived.
    const uint64_t from = part.before != Boundary::None && c.start > 0 ? c.start - 1 : c.start;
    const uint64_t to = std::min(c.end + part.lookahead(), position_);
    const unsigned char* at = Bytes(from, to) + (c.start - from);
    if (!part.Matches(at)) return false;
    if (part.before != Boundary::None && !BoundaryBefore(part.before, from < c.start ? at - 1 : nullptr)) return false;
    return part.after == Boundary::None ||
           BoundaryAfter(part.after, at + (c.end - c.start), static_cast<size_t>(to - c.end));
}

// Parts arrive in order of their ends, so the next part of a record starts
// at nextStart or later: a link too far behind it is too far behind every
// later one, and of two links it can already use, the later one serves
// every later part at least as well (it expires later and starts later).
void StreamScanner::Prune(Links& links, const PatternGap& gap, uint64_t nextStart) {
    if (!gap.unbounded) {
        while (!links.empty() && links.front().lastEnd + gap.max < nextStart) links.pop_front();
    }
    while (links.size() >= 2 && links[1].firstEnd + gap.min <= nextStart) links.pop_front();
}

void StreamScanner::OnPart(const Candidate& c) {
    const PartRef& ref = db_.part(c.ref);
    const BodySignature& sig = db_.bodies()[ref.signature];
    uint32_t limit = sig.verdict.maxObjectSize;
    if (limit && (!sizeKnown_ || size_ > limit)) return;
    uint64_t chainStart = c.start;
    bool exact = true;
    if (ref.part == 0) {
        if (!OffsetAllows(sig, c.start)) return;
    } else {
        auto it = links_.find(ref.signature);
        if (it == links_.end()) return;
        Links& before = it->second[ref.part - 1];
        const PatternGap& gap = sig.gaps[ref.part - 1];
        Prune(before, gap, c.start);
        if (before.empty() || before.front().firstEnd + gap.min > c.start) return;
        chainStart = before.front().start;
        exact = before.front().exact;
    }
    if (ref.part + 1 == sig.parts.size()) {
        verdict_ = &sig.verdict;
        matchStart_ = chainStart;
        matchStartKnown_ = exact;
        return;
    }
    std::vector<Links>& lists = links_[ref.signature];
    if (lists.empty()) lists.resize(sig.parts.size() - 1);
    Links& links = lists[ref.part];
    if (laterFrom_ == ~uint64_t{0}) {
        laterFrom_ = c.end;
        woken_ = true;
    }
    const uint64_t nextLength = sig.parts[ref.part + 1].bytes.size();
    Prune(links, sig.gaps[ref.part], c.end > nextLength ? c.end - nextLength : 0);
    links.push_back(Link{c.end, c.end, chainStart, exact});
    if (links.size() > kMaxLinks) {
        Link last = links.back();
        links.pop_back();
        links.back().lastEnd = last.lastEnd;
        links.back().start = last.start;
        links.back().exact = false;
    }
}

// True when a partial match woke the groups of later parts: the parts not
// yet settled go back to pending until those groups have caught up, so that
// parts are still settled in order of their ends.
bool StreamScanner::Resolve(uint64_t limit) {
    if (pending_.empty()) return false;
    auto ready = std::partition(pending_.begin(), pending_.end(), [&](const Candidate& c) { return c.end > limit; });
    ready_.assign(ready, pending_.end());
    pending_.erase(ready, pending_.end());
    std::sort(ready_.begin(), ready_.end(), [&](const Candidate& a, const Candidate& b) {
        if (a.end != b.end) return a.end < b.end;
        const PartRef &x = db_.part(a.ref), &y = db_.part(b.ref);
        return x.part != y.part ? x.part < y.part : x.signature < y.signature;
    });
    for (size_t i = 0; i < ready_.size(); ++i) {
        if (Verify(ready_[i])) OnPart(ready_[i]);
        if (verdict_) {
            pending_.clear();
            return false;
        }
        if (woken_) {
            woken_ = false;
            pending_.insert(pending_.end(), ready_.begin() + static_cast<ptrdiff_t>(i) + 1, ready_.end());
            return true;
        }
    }
    return false;
}

void StreamScanner::Filter(size_t g) {
    const AnchorGroup& group = db_.group(g);
    if (position_ < group.width) return;
    if (group.laterParts) {
        uint64_t from = (laterFrom_ + group.stride - 1) / group.stride * group.stride;
        next_[g] = std::max(next_[g], from);
    }
    const uint64_t earliest = group.laterParts ? laterFrom_ : 0;
    const uint64_t to = position_ - group.width + 1;
    auto onHit = [&](uint32_t key, uint64_t p) {
        const uint32_t bucket = group.Bucket(key);
        const AnchorGroup::Entry* entry = group.entries.data() + group.buckets[bucket];
        const AnchorGroup::Entry* last = group.entries.data() + group.buckets[bucket + 1];
        for (; entry != last; ++entry) {
            if (entry->key != key || p < entry->offset + earliest) continue;
            uint64_t start = p - entry->offset;
            pending_.push_back(Candidate{start + db_.part(entry->ref).length, start, entry->ref});
        }
    };
    // Positions are absolute. The few windows that begin before the chunk
    // read the seam; all others read the caller's chunk where it lies.
    auto sweep = [&](const unsigned char* bytes, uint64_t origin, uint64_t from, uint64_t until) {
        switch (group.width) {
            case 4:
                return Sweep<4>(group, wide_, bytes, origin, from, until, onHit);
            case 2:
                return Sweep<2>(group, nullptr, bytes, origin, from, until, onHit);
            default:
                return Sweep<1>(group, nullptr, bytes, origin, from, until, onHit);
        }
    };
    uint64_t p = next_[g];
    if (p < chunkStart_ && p < to) p = sweep(seam_, seamStart_, p, std::min(to, chunkStart_));
    if (p < to) p = sweep(chunk_, chunkStart_, p, to);
    next_[g] = p;
}

const unsigned char* StreamScanner::Bytes(uint64_t from, uint64_t to) {
    if (from >= chunkStart_) return chunk_ + (from - chunkStart_);
    if (to <= chunkStart_) return window_.data() + (from - windowStart_);
    scratch_.assign(window_.begin() + static_cast<ptrdiff_t>(from - windowStart_), window_.end());
    scratch_.insert(scratch_.end(), chunk_, chunk_ + (to - chunkStart_));
    return scratch_.data();
}

// The earliest position a group will visit next.
uint64_t StreamScanner::FilterAll() {
    uint64_t next = position_;
    for (size_t g = 0; g < Database::kGroups; ++g) {
        const AnchorGroup& group = db_.group(g);
        if (group.empty() || (group.laterParts && laterFrom_ == ~uint64_t{0})) continue;
        Filter(g);
        next = std::min(next, next_[g]);
    }
    return next;
}

void StreamScanner::StartSectionHashes() {
    if (!object_.pe || db_.hashes().sectionCount() == 0) return;
    for (const PeSection& s : object_.layout.sections) {
        for (size_t k = 0; k < kHashKinds; ++k) {
            const HashKind kind = static_cast<HashKind>(k);
            if (!s.rawSize || !db_.hashes().sections(kind).Covers(s.rawSize)) continue;
            sectionHashes_.emplace_back();
            sectionHashes_.back().start = s.rawOffset;
            sectionHashes_.back().end = uint64_t{s.rawOffset} + s.rawSize;
            sectionHashes_.back().kind = kind;
        }
    }
}

// Each section's data as it streams by; a section that is complete is
// looked up at once.
void StreamScanner::UpdateSectionHashes(const unsigned char* bytes, size_t count) {
    const uint64_t from = position_, to = position_ + count;
    for (size_t i = 0; i < sectionHashes_.size() && !verdict_;) {
        SectionHash& h = sectionHashes_[i];
        const uint64_t a = std::max(from, h.start), b = std::min(to, h.end);
        if (a < b) {
            const unsigned char* p = bytes + (a - from);
            const size_t n = static_cast<size_t>(b - a);
            if (h.kind == HashKind::Md5) h.md5.Update(p, n);
            if (h.kind == HashKind::Sha1) h.sha1.Update(p, n);
            if (h.kind == HashKind::Sha256) h.sha256.Update(p, n);
        }
        if (to < h.end) {
            ++i;
            continue;
        }
        unsigned char md5[16], sha1[Sha1::kSize], sha256[Sha256::kSize];
        const unsigned char* digest = h.kind == HashKind::Md5 ? md5 : h.kind == HashKind::Sha1 ? sha1 : sha256;
        if (h.kind == HashKind::Md5) h.md5.Final(md5);
        if (h.kind == HashKind::Sha1) h.sha1.Final(sha1);
        if (h.kind == HashKind::Sha256) h.sha256.Final(sha256);
        if (db_.FindSectionHash(h.kind, h.end - h.start, digest, sectionVerdict_)) {
            verdict_ = &sectionVerdict_;
            matchStart_ = 0;
            matchStartKnown_ = true;
        }
        sectionHashes_.erase(sectionHashes_.begin() + static_cast<ptrdiff_t>(i));
    }
}

bool StreamScanner::ProbeOnce(const unsigned char* bytes, size_t count, bool final) {
    // The probe never asks for more than kMaxPeHead bytes; past them it
    // decides on what it has.
    final = final || count >= kMaxPeHead;
    if (!ProbeHead(bytes, count, sizeKnown_ ? size_ : ~uint64_t{0}, final, object_)) return false;
    probing_ = false;
    StartSectionHashes();
    return true;
}

bool StreamScanner::Feed(const unsigned char* bytes, size_t count) {
    if (!probing_) return Scan(bytes, count);
    // An object's first chunk usually holds the whole head: it is read
    // where it lies. A member's first bytes may come in small pieces.
    if (head_.empty() && ProbeOnce(bytes, count, false)) return Scan(bytes, count);
    head_.insert(head_.end(), bytes, bytes + count);
    if (!ProbeOnce(head_.data(), head_.size(), false)) return true;
    std::vector<unsigned char> head;
    head.swap(head_);
    return Scan(head.data(), head.size());
}

bool StreamScanner::Scan(const unsigned char* bytes, size_t count) {
    if (verdict_ && !allowCheck_) return false;
    UpdateHashes(bytes, count);
    if (!sectionHashes_.empty() && !verdict_) UpdateSectionHashes(bytes, count);
    if (verdict_ || db_.bodies().empty()) {
        position_ += count;
        return true;
    }
    return Match(bytes, count);
}

bool StreamScanner::Match(const unsigned char* bytes, size_t count) {
    // The bytes before the chunk that are still needed stay in window_;
    // the chunk itself is read where the caller holds it.
    chunk_ = bytes;
    chunkStart_ = position_;
    position_ += count;
    const size_t before = static_cast<size_t>(std::min<uint64_t>(3, chunkStart_ - windowStart_));
    const size_t after = std::min<size_t>(3, count);
    seamStart_ = chunkStart_ - before;
    std::copy(window_.end() - static_cast<ptrdiff_t>(before), window_.end(), seam_);
    std::copy(bytes, bytes + after, seam_ + before);
    // Every part ending by position_ has a window that ends there too, so
    // once the groups have visited all of them every such part is pending.
    // A part is settled once the bytes its check after it reads are in:
    // every part alike, so that they are still settled in order of their ends.
    uint64_t settled = position_;
    if (!ended_) settled = position_ > db_.lookahead() ? position_ - db_.lookahead() : 0;
    uint64_t keep = FilterAll();
    while (Resolve(settled)) keep = FilterAll();
    if (verdict_) {
        chunk_ = nullptr;
        return allowCheck_;
    }
    // Keep what a part still to be verified or found may need, and no more.
    keep = keep > db_.maxPartLength() ? keep - db_.maxPartLength() : 0;
    for (const Candidate& c : pending_) keep = std::min(keep, c.start > 0 ? c.start - 1 : 0);
    keep = std::max(keep, windowStart_);
    if (keep >= chunkStart_) {
        window_.assign(bytes + (keep - chunkStart_), bytes + count);
    } else {
        window_.erase(window_.begin(), window_.begin() + static_cast<ptrdiff_t>(keep - windowStart_));
        window_.insert(window_.end(), bytes, bytes + count);
    }
    windowStart_ = keep;
    chunk_ = nullptr;
    return true;
}

void StreamScanner::Finish() {
    if (probing_) {
        ProbeOnce(head_.data(), head_.size(), true);
        std::vector<unsigned char> head;
        head.swap(head_);
        Scan(head.data(), head.size());
    }
    // Parts that end within the last bytes, whose checks after them see the end.
    if (!pending_.empty() && !verdict_) {
        ended_ = true;
        static const unsigned char kNone = 0;
        Match(&kNone, 0);
    }
    pending_.clear();
    unsigned char md5[16], sha1[Sha1::kSize], sha256[Sha256::kSize];
    if (hashing_[0]) md5_.Final(md5);
    if (hashing_[1]) sha1_.Final(sha1);
    if (hashing_[2]) sha256_.Final(sha256);
    const unsigned char* digests[kHashKinds] = {md5, sha1, sha256};
    // An object on an allow list is clean, whatever matched it.
    for (size_t k = 0; k < kHashKinds && allowCheck_; ++k) {
        if (hashing_[k] && db_.Allowed(static_cast<HashKind>(k), position_, digests[k])) {
            verdict_ = nullptr;
            return;
        }
    }
    if (verdict_) return;
    for (size_t k = 0; k < kHashKinds; ++k) {
        if (hashing_[k] && db_.FindHash(static_cast<HashKind>(k), position_, digests[k], hashVerdict_)) {
            verdict_ = &hashVerdict_;
            matchStart_ = 0;
            matchStartKnown_ = true;
            return;
        }
    }
}

}  // namespace refengine
