#include "database.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace refengine {
namespace {

// The window kinds, longest stride first.
constexpr uint32_t kWidths[Database::kKinds] = {4, 4, 4, 4, 4, 4, 4, 4, 2, 1};
constexpr uint32_t kStrides[Database::kKinds] = {16, 12, 8, 6, 4, 3, 2, 1, 1, 1};
constexpr uint32_t kMinBitmapBits = 1u << 12;
constexpr uint32_t kMaxBitmapBits = 1u << 23;
// Bitmap bits per window: with two bits set a window, about one visited
// position in 300 of random data passes a bitmap this sparse, one in 100
// at the largest size (1 MB) with 400,000 windows.
constexpr uint32_t kBitsPerWindow = 32;

// How often a byte turns up in ordinary files, roughly: zeros, white space
// and text are common, high bytes rare. Windows are placed where the sum is
// least, so the filter stays quiet on the data mail carries.
uint32_t Commonness(unsigned char b) {
    if (b == 0) return 12;
    if (b == 0xFF || b == ' ') return 8;
    if ((b >= 'a' && b <= 'z') || b == '\r' || b == '\n' || b == '\t') return 5;
    if ((b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9')) return 4;
    if (b >= 0x21 && b < 0x7F) return 3;
    if (b < 0x20) return 2;
    return 1;
}

// Words that fill whole stretches of ordinary files; a bitmap that let them
// through by a hash collision would send every position of such a stretch
// to the table.
const uint32_t kCommonWords[] = {0x00000000u, 0xFFFFFFFFu, 0x20202020u, 0x0A0D0A0Du, 0x0D0A0D0Au};
const uint32_t kMultipliers[] = {0x9E3779B1u, 0x85EBCA77u, 0xC2B2AE3Du, 0x27D4EB2Fu,
                                 0x165667B1u, 0xD3A2646Du, 0xFD7046C5u, 0xB55A4F09u};

void BuildGroup(AnchorGroup& group) {
    // About two windows a bucket; a counting sort puts each bucket's
    // entries side by side.
    std::vector<AnchorGroup::Entry> entries;
    entries.swap(group.entries);
    uint32_t bucketBits = 1;
    while (bucketBits < 30 && (size_t{1} << bucketBits) * 2 < entries.size()) ++bucketBits;
    group.bucketShift = 32 - bucketBits;
    group.buckets.assign((size_t{1} << bucketBits) + 1, 0);
    for (const AnchorGroup::Entry& e : entries) ++group.buckets[group.Bucket(e.key) + 1];
    for (size_t b = 1; b < group.buckets.size(); ++b) group.buckets[b] += group.buckets[b - 1];
    std::vector<uint32_t> fill(group.buckets.begin(), group.buckets.end() - 1);
    group.entries.resize(entries.size());
    for (const AnchorGroup::Entry& e : entries) group.entries[fill[group.Bucket(e.key)]++] = e;
    uint32_t bits = kMinBitmapBits;
    if (group.width == 4) {
        while (bits < kMaxBitmapBits && bits / kBitsPerWindow < group.entries.size()) bits *= 2;
    } else {
        // Two bytes or one: the window itself is the bit.
        bits = std::max<uint32_t>(1u << (8 * group.width), 32);
    }
    uint32_t log = 0;
    while ((1u << log) < bits / 32) ++log;
    group.shift = 32 - log;
    for (uint32_t multiplier : kMultipliers) {
        // Windows of one or two bytes: the word is the window's high bits.
        group.multiplier = group.width == 4 ? multiplier : 1u << (32 - 8 * group.width);
        group.bitmap.assign(bits / 32, 0);
        for (const AnchorGroup::Entry& e : group.entries) group.bitmap[group.Word(e.key)] |= group.Mask(e.key);
        bool quiet = true;
        for (uint32_t word : kCommonWords) {
            uint32_t key = word & (group.width == 4 ? ~0u : (1u << (8 * group.width)) - 1);
            quiet = quiet && (!group.MayHold(key) || group.Holds(key));
        }
        if (quiet || group.width != 4) break;
    }
}

}  // namespace

void Database::Clear() { *this = Database(); }

bool Database::AddLine(const std::string& line) {
    // Hash lines are the bulk of large bases: parsed in place, no copies.
    HashLine hashLine;
    Verdict kind;
    switch (ParseBaseHashLine(line.data(), line.size(), hashLine, kind)) {
        case RecordStatus::Accepted:
            return AddHash(hashLine, kind, false);
        case RecordStatus::Blank:
            return true;
        case RecordStatus::Damaged:
        case RecordStatus::OtherLevel:
            return false;
        case RecordStatus::Unsupported:
            break;
    }
    BodySignature body;
    HashSignature hash;
    switch (ParseBaseLine(line, body, hash)) {
        case LineKind::Body:
            bodies_.push_back(std::move(body));
            built_ = false;
            break;
        case LineKind::Hash:
            // Every hash line went the way above.
            return false;
        case LineKind::Invalid:
            return false;
        case LineKind::Blank:
            break;
    }
    return true;
}

void Database::AddBody(BodySignature&& body) {
    bodies_.push_back(std::move(body));
    built_ = false;
}

void Database::AddBodies(std::vector<BodySignature>& choices) {
    if (choices.empty()) return;
    extraChoices_ += choices.size() - 1;
    for (BodySignature& body : choices) bodies_.push_back(std::move(body));
    choices.clear();
    built_ = false;
}

bool Database::AddHash(const HashLine& line, const Verdict& kind, bool allow) {
    NameRef name;
    if (!hashes_.names().Add(line.name.text, line.name.length, kind, name)) return false;
    (allow ? hashes_.allowed(line.kind) : hashes_.finds(line.kind)).Add(line.size, line.digest, name);
    built_ = false;
    return true;
}

bool Database::AddSectionHash(const HashLine& line) {
    NameRef name;
    if (!hashes_.names().Add(line.name.text, line.name.length, Verdict(), name)) return false;
    hashes_.sections(line.kind).Add(line.size, line.digest, name);
    built_ = false;
    return true;
}

void Database::Ignore(const TextSpan& name) {
    ignored_.emplace(name.text, name.length);
    built_ = false;
}

void Database::Rollback(const Mark& mark) {
    bodies_.resize(mark.bodies);
    extraChoices_ = mark.choices;
    hashes_.Rollback(mark.hashes);
    built_ = false;
}

size_t Database::bytes() const {
    size_t n = hashes_.bytes() + bodies_.capacity() * sizeof(BodySignature) + parts_.capacity() * sizeof(PartRef);
    for (const BodySignature& b : bodies_) {
        n += b.verdict.name.capacity() + b.parts.capacity() * sizeof(PatternPart);
        for (const PatternPart& p : b.parts)
            n += p.bytes.capacity() + p.mask.capacity() + p.classes.capacity() * sizeof(ByteClass);
    }
    for (const AnchorGroup& g : groups_) {
        n += g.entries.capacity() * sizeof(AnchorGroup::Entry) + g.buckets.capacity() * 4 + g.bitmap.capacity() * 4;
    }
    return n;
}

bool Database::UseFilterPath(FilterPath path) {
    if (!FilterPathAvailable(path)) return false;
    filterPath_ = path;
    return true;
}

bool Database::FindHash(HashKind kind, uint64_t size, const unsigned char* digest, Verdict& verdict) const {
    return hashes_.finds(kind).Find(size, digest, [&](NameRef name) {
        hashes_.names().Describe(name, verdict);
        return !Ignored(verdict.name);
    });
}

bool Database::FindSectionHash(HashKind kind, uint64_t size, const unsigned char* digest, Verdict& verdict) const {
    return hashes_.sections(kind).Find(size, digest, [&](NameRef name) {
        hashes_.names().Describe(name, verdict);
        return !Ignored(verdict.name);
    });
}

bool Database::Allowed(HashKind kind, uint64_t size, const unsigned char* digest) const {
    return hashes_.allowed(kind).Find(size, digest, [](NameRef) { return true; });
}

bool AnchorGroup::Holds(uint32_t key) const {
    const uint32_t bucket = Bucket(key);
    for (uint32_t i = buckets[bucket]; i < buckets[bucket + 1]; ++i) {
        if (entries[i].key == key) return true;
    }
    return false;
}

// A part goes to the group of the longest stride its longest fixed run
// allows, at the place in that run where its bytes are rarest.
void Database::AddAnchors(uint32_t ref, const PatternPart& part, bool later) {
    size_t g = 0;
    while (g + 1 < kKinds && part.anchorLength < kWidths[g] + kStrides[g] - 1) ++g;
    AnchorGroup& group = groups_[2 * g + (later ? 1 : 0)];
    const uint32_t span = std::min(part.anchorLength, kWidths[g] + kStrides[g] - 1);
    uint32_t best = part.anchorStart, bestScore = ~0u;
    for (uint32_t at = part.anchorStart; at + span <= part.anchorStart + part.anchorLength; ++at) {
        uint32_t score = 0;
        for (uint32_t k = 0; k < span; ++k) score += Commonness(part.bytes[at + k]);
        if (score < bestScore) {
            bestScore = score;
            best = at;
        }
    }
    for (uint32_t k = 0; k < kStrides[g]; ++k) {
        group.entries.push_back(AnchorGroup::Entry{WindowKey(&part.bytes[best + k], kWidths[g]), ref, best + k});
    }
}

void Database::Finish() {
    if (built_) return;
    parts_.clear();
    maxPartLength_ = 0;
    lookahead_ = 0;
    needsHead_ = false;
    for (size_t g = 0; g < kGroups; ++g) {
        groups_[g] = AnchorGroup();
        groups_[g].width = kWidths[g / 2];
        groups_[g].stride = kStrides[g / 2];
        groups_[g].laterParts = g % 2 == 1;
    }
    for (uint32_t s = 0; s < bodies_.size(); ++s) {
        // An ignored record gets no windows: the filter never sends it a part.
        if (Ignored(bodies_[s].verdict.name)) continue;
        const BodySignature& body = bodies_[s];
        needsHead_ = needsHead_ || body.target != 0 || body.offsetKind > OffsetKind::FromEnd;
        for (uint32_t p = 0; p < bodies_[s].parts.size(); ++p) {
            const PatternPart& part = bodies_[s].parts[p];
            uint32_t ref = static_cast<uint32_t>(parts_.size());
            parts_.push_back(PartRef{s, p, static_cast<uint32_t>(part.bytes.size())});
            maxPartLength_ = std::max(maxPartLength_, static_cast<uint32_t>(part.bytes.size()));
            lookahead_ = std::max(lookahead_, part.lookahead());
            AddAnchors(ref, part, p > 0);
        }
    }
    for (AnchorGroup& group : groups_) {
        if (!group.entries.empty()) BuildGroup(group);
    }
    needsHead_ = needsHead_ || hashes_.sectionCount() > 0;
    hashes_.Finish();
    built_ = true;
}

}  // namespace refengine
