#include "hash_store.h"

#include <algorithm>
#include <cstdio>

namespace refengine {
namespace {

// A stem's record in the pool: the find's bits, how its name ends, the
// revision, the size bound (4 bytes), then the text and a NUL.
constexpr size_t kStemHeader = 7;
enum Tail : unsigned char { kPlain = 0, kNumber = 1, kNumberAndRevision = 2 };

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// digits [from, to) as a number written without leading zeros, within limit.
bool CanonicalNumber(const char* text, size_t from, size_t to, uint64_t limit, uint64_t& value) {
    if (from >= to || to - from > 10 || (text[from] == '0' && to - from > 1)) return false;
    value = 0;
    for (size_t i = from; i < to; ++i) value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    return value <= limit;
}

// Splits "Stem-1234567-0" into the stem, the number and the revision, as
// signature names mostly end; names without such an end keep the whole
// text as their stem.
Tail SplitName(const char* name, size_t length, size_t& stemLength, uint32_t& number, unsigned char& revision) {
    size_t end = length;
    while (end > 0 && IsDigit(name[end - 1])) --end;
    uint64_t value = 0;
    if (end < length && CanonicalNumber(name, end, length, 0xFFFFFFFFu, value)) {
        const size_t last = end;
        const uint64_t lastValue = value;
        if (end >= 2 && name[end - 1] == '-' && value <= 255) {
            size_t start = end - 1;
            while (start > 0 && IsDigit(name[start - 1])) --start;
            if (CanonicalNumber(name, start, end - 1, 0xFFFFFFFFu, value)) {
                stemLength = start;
                number = static_cast<uint32_t>(value);
                revision = static_cast<unsigned char>(lastValue);
                return kNumberAndRevision;
            }
        }
        stemLength = last;
        number = static_cast<uint32_t>(lastValue);
        revision = 0;
        return kNumber;
    }
    stemLength = length;
    number = 0;
    revision = 0;
    return kPlain;
}

// A stem's hash: its header and text, eight bytes at a time.
uint32_t StemHash(const unsigned char* header, const char* text, size_t length) {
    auto mix = [](uint64_t h, uint64_t word) {
        h = (h ^ word) * 0x9E3779B97F4A7C15ull;
        return h ^ (h >> 29);
    };
    uint64_t word = 0;
    std::memcpy(&word, header, kStemHeader);
    uint64_t h = mix(0x243F6A8885A308D3ull ^ length, word);
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        std::memcpy(&word, text + i, 8);
        h = mix(h, word);
    }
    if (i < length) {
        word = 0;
        std::memcpy(&word, text + i, length - i);
        h = mix(h, word);
    }
    return static_cast<uint32_t>(h ^ (h >> 32));
}

size_t StemLength(const unsigned char* stem) {
    return kStemHeader + std::strlen(reinterpret_cast<const char*>(stem + kStemHeader));
}

template <size_t Stride>
struct Packed {
    unsigned char bytes[Stride];
};

// The records' order is that of their bytes read as one key: the size's
// four bytes from the most significant on, then the digest, then the name
// reference as stored (so that which of the records of one hash is
// reported does not depend on the sort). Where key byte k is stored:
constexpr size_t KeyByteAt(size_t k) { return k < 4 ? 3 - k : k; }

template <size_t Stride>
bool KeyLess(const Packed<Stride>& a, const Packed<Stride>& b) {
    uint32_t x, y;
    std::memcpy(&x, a.bytes, 4);
    std::memcpy(&y, b.bytes, 4);
    if (x != y) return x < y;
    return std::memcmp(a.bytes + 4, b.bytes + 4, Stride - 4) < 0;
}

// Ranges this short are sorted by comparison.
constexpr size_t kRadixCutoff = 48;

// Records in one array.
template <size_t Stride>
struct Contiguous {
    Packed<Stride>* base;
    Packed<Stride>& operator[](size_t i) const { return base[i]; }
};

// Records in blocks of kBlockRecords (a power of two), as they were added.
template <size_t Stride>
struct Blocked {
    unsigned char* const* blocks;
    size_t shift;
    Packed<Stride>& operator[](size_t i) const {
        return reinterpret_cast<Packed<Stride>*>(blocks[i >> shift])[i & ((size_t(1) << shift) - 1)];
    }
};

template <size_t Stride>
void SmallSort(Contiguous<Stride> records, size_t from, size_t count) {
    std::sort(records.base + from, records.base + from + count, KeyLess<Stride>);
}

template <size_t Stride>
void SmallSort(Blocked<Stride> records, size_t from, size_t count) {
    for (size_t i = from + 1; i < from + count; ++i) {
        const Packed<Stride> moving = records[i];
        size_t j = i;
        for (; j > from && KeyLess(moving, records[j - 1]); --j) records[j] = records[j - 1];
        records[j] = moving;
    }
}

template <size_t Stride>
void RadixSort(Blocked<Stride> records, size_t from, size_t count, size_t k);

// A range within one block is sorted as an array.
template <size_t Stride>
void RadixSortPart(Contiguous<Stride> records, size_t from, size_t count, size_t k) {
    RadixSort(records, from, count, k);
}

template <size_t Stride>
void RadixSortPart(Blocked<Stride> records, size_t from, size_t count, size_t k) {
    const size_t block = from >> records.shift;
    if (((from + count - 1) >> records.shift) == block) {
        const Contiguous<Stride> inBlock{reinterpret_cast<Packed<Stride>*>(records.blocks[block])};
        RadixSort(inBlock, from & ((size_t(1) << records.shift) - 1), count, k);
    } else {
        RadixSort(records, from, count, k);
    }
}

// Sorts records [from, from + count) whose keys agree before byte k: a
// radix sort in place on one key byte at a time, from the most
// significant on (each record swapped straight to its bucket), as digests
// are random and the buckets soon small. No second table: the load never
// holds much more than the records themselves.
template <size_t Stride, typename Records>
void RadixSortOf(Records records, size_t from, size_t count, size_t k) {
    while (count > kRadixCutoff && k < Stride) {
        const size_t at = KeyByteAt(k);
        size_t counts[256] = {};
        for (size_t i = from; i < from + count; ++i) ++counts[records[i].bytes[at]];
        if (counts[records[from].bytes[at]] == count) {
            ++k;  // one value throughout: the next byte decides
            continue;
        }
        size_t heads[256], ends[256];
        size_t end = from;
        for (int b = 0; b < 256; ++b) {
            heads[b] = end;
            end += counts[b];
            ends[b] = end;
        }
        for (int b = 0; b < 256; ++b) {
            while (heads[b] < ends[b]) {
                Packed<Stride> moving = records[heads[b]];
                unsigned to = moving.bytes[at];
                while (to != static_cast<unsigned>(b)) {
                    std::swap(moving, records[heads[to]++]);
                    to = moving.bytes[at];
                }
                records[heads[b]++] = moving;
            }
        }
        size_t first = from;
        for (int b = 0; b < 256; ++b) {
            if (counts[b] > 1) RadixSortPart(records, first, counts[b], k + 1);
            first += counts[b];
        }
        return;
    }
    if (count > 1) SmallSort(records, from, count);
}

template <size_t Stride>
void RadixSort(Contiguous<Stride> records, size_t from, size_t count, size_t k) {
    RadixSortOf<Stride>(records, from, count, k);
}

template <size_t Stride>
void RadixSort(Blocked<Stride> records, size_t from, size_t count, size_t k) {
    RadixSortOf<Stride>(records, from, count, k);
}

// The first key byte in which sizes from low to high can differ.
size_t FirstSizeByte(uint32_t low, uint32_t high) {
    size_t k = 0;
    while (k < 4 && (low >> (24 - 8 * k)) == (high >> (24 - 8 * k))) ++k;
    return k;
}

template <size_t Stride>
void SortPacked(unsigned char* const* blocks, size_t shift, size_t count, size_t firstByte) {
    RadixSortPart(Blocked<Stride>{blocks, shift}, 0, count, firstByte);
}

}  // namespace

bool NamePool::Add(const char* name, size_t length, const Verdict& kind, NameRef& ref) {
    if (length == 0 || length > kMaxVirusNameLength) return false;
    size_t stemLength = 0;
    unsigned char revision = 0;
    const Tail tail = SplitName(name, length, stemLength, ref.number, revision);
    unsigned char header[kStemHeader];
    header[0] = static_cast<unsigned char>(kind.flags);
    header[1] = tail;
    header[2] = revision;
    std::memcpy(header + 3, &kind.maxObjectSize, 4);
    const uint32_t hash = StemHash(header, name, stemLength);
    uint32_t found = Find(header, name, stemLength, hash);
    if (found == 0) {
        if ((stems_ + 1) * 2 > slots_.size()) Rehash(stems_ + 1);
        found = static_cast<uint32_t>(pool_.size()) + 1;
        pool_.insert(pool_.end(), header, header + kStemHeader);
        pool_.insert(pool_.end(), name, name + stemLength);
        pool_.push_back(0);
        Insert(found - 1, hash);
        ++stems_;
    }
    ref.stem = found - 1;
    return true;
}

uint32_t NamePool::Find(const unsigned char* header, const char* text, size_t length, uint32_t hash) const {
    if (slots_.empty()) return 0;
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.stem == 0) return 0;
        if (slot.hash != hash) continue;
        const size_t at = slot.stem - 1;
        if (pool_.size() - at < kStemHeader + length + 1) continue;
        const unsigned char* stem = pool_.data() + at;
        if (std::memcmp(stem, header, kStemHeader) == 0 && std::memcmp(stem + kStemHeader, text, length) == 0 &&
            stem[kStemHeader + length] == 0)
            return slot.stem;
    }
}

void NamePool::Insert(uint32_t offset, uint32_t hash) {
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i].stem != 0) i = (i + 1) & mask;
    slots_[i] = Slot{offset + 1, hash};
}

void NamePool::Rehash(size_t stems) {
    size_t size = 1024;
    while (size < stems * 2) size *= 2;
    slots_.assign(size, Slot{0, 0});
    for (size_t at = 0; at < pool_.size(); at += StemLength(pool_.data() + at) + 1) {
        const unsigned char* stem = pool_.data() + at;
        const size_t text = StemLength(stem) - kStemHeader;
        Insert(static_cast<uint32_t>(at), StemHash(stem, reinterpret_cast<const char*>(stem + kStemHeader), text));
    }
}

void NamePool::Rollback(size_t mark) {
    if (mark >= pool_.size()) return;
    pool_.resize(mark);
    stems_ = 0;
    for (size_t at = 0; at < pool_.size(); at += StemLength(pool_.data() + at) + 1) ++stems_;
    Rehash(stems_);
}

size_t NamePool::Spell(NameRef ref, char* out) const {
    const unsigned char* stem = pool_.data() + ref.stem;
    const char* text = reinterpret_cast<const char*>(stem + kStemHeader);
    size_t length = std::strlen(text);
    std::memcpy(out, text, length);
    if (stem[1] != kPlain) length += static_cast<size_t>(std::snprintf(out + length, 12, "%u", ref.number));
    if (stem[1] == kNumberAndRevision) length += static_cast<size_t>(std::snprintf(out + length, 6, "-%u", stem[2]));
    out[length] = 0;
    return length;
}

void NamePool::Describe(NameRef ref, Verdict& verdict) const {
    char name[kMaxVirusNameLength + 1];
    verdict.name.assign(name, Spell(ref, name));
    const unsigned char* stem = pool_.data() + ref.stem;
    verdict.flags = stem[0];
    verdict.curable = false;
    std::memcpy(&verdict.maxObjectSize, stem + 3, 4);
}

void HashTable::Add(uint32_t size, const unsigned char* digest, NameRef name) {
    const size_t used = (sorted_ + pending_) % kBlockRecords;
    if (used == 0) blocks_.emplace_back(new unsigned char[kBlockRecords * stride_]);
    unsigned char* at = blocks_.back().get() + used * stride_;
    std::memcpy(at, &size, 4);
    std::memcpy(at + 4, digest, digest_);
    std::memcpy(at + 4 + digest_, &name, sizeof name);
    ++pending_;
    lowestSize_ = std::min(lowestSize_, size);
    highestSize_ = std::max(highestSize_, size);
}

void HashTable::Rollback(size_t mark) {
    if (mark >= pending_) return;
    pending_ = mark;
    blocks_.resize((sorted_ + mark + kBlockRecords - 1) / kBlockRecords);
}

void HashTable::Finish() {
    if (pending_ == 0) return;
    // The records are sorted where they were added: no second table, and
    // each page of them faulted in once.
    sorted_ += pending_;
    pending_ = 0;
    std::vector<unsigned char*> blocks(blocks_.size());
    for (size_t b = 0; b < blocks_.size(); ++b) blocks[b] = blocks_[b].get();
    // Every record's size lies between the lowest and the highest added.
    const size_t first = FirstSizeByte(lowestSize_, highestSize_);
    switch (digest_) {
        case 16:
            SortPacked<28>(blocks.data(), kBlockShift, sorted_, first);
            break;
        case 20:
            SortPacked<32>(blocks.data(), kBlockShift, sorted_, first);
            break;
        default:
            SortPacked<44>(blocks.data(), kBlockShift, sorted_, first);
            break;
    }
}

size_t HashTable::LowerBound(uint32_t size, const unsigned char* digest) const {
    size_t low = 0, high = sorted_;
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        const unsigned char* e = At(mid);
        const uint32_t s = SizeOf(e);
        const bool below = s != size ? s < size : std::memcmp(e + 4, digest, digest_) < 0;
        if (below) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

bool HashTable::Covers(uint64_t size) const {
    if (sorted_ == 0) return false;
    if (SizeOf(At(sorted_ - 1)) == kAnySize) return true;
    if (size >= kAnySize) return false;
    static const unsigned char kLowest[kMaxDigestLength] = {};
    const size_t i = LowerBound(static_cast<uint32_t>(size), kLowest);
    return i < sorted_ && SizeOf(At(i)) == size;
}

HashStore::HashStore()
    : finds_{HashTable(16), HashTable(20), HashTable(32)},
      allowed_{HashTable(16), HashTable(20), HashTable(32)},
      sections_{HashTable(16), HashTable(20), HashTable(32)} {}

void HashStore::Finish() {
    for (HashTable& t : finds_) t.Finish();
    for (HashTable& t : allowed_) t.Finish();
    for (HashTable& t : sections_) t.Finish();
}

size_t HashStore::findCount() const {
    size_t n = 0;
    for (const HashTable& t : finds_) n += t.count();
    for (const HashTable& t : sections_) n += t.count();
    return n;
}

size_t HashStore::sectionCount() const {
    size_t n = 0;
    for (const HashTable& t : sections_) n += t.count();
    return n;
}

size_t HashStore::allowCount() const {
    size_t n = 0;
    for (const HashTable& t : allowed_) n += t.count();
    return n;
}

size_t HashStore::bytes() const {
    size_t n = names_.bytes();
    for (const HashTable& t : finds_) n += t.bytes();
    for (const HashTable& t : allowed_) n += t.bytes();
    for (const HashTable& t : sections_) n += t.bytes();
    return n;
}

HashStore::Mark HashStore::mark() const {
    Mark m;
    for (size_t k = 0; k < kHashKinds; ++k) {
        m.finds[k] = finds_[k].mark();
        m.allowed[k] = allowed_[k].mark();
        m.sections[k] = sections_[k].mark();
    }
    m.names = names_.mark();
    return m;
}

void HashStore::Rollback(const Mark& mark) {
    for (size_t k = 0; k < kHashKinds; ++k) {
        finds_[k].Rollback(mark.finds[k]);
        allowed_[k].Rollback(mark.allowed[k]);
        sections_[k].Rollback(mark.sections[k]);
    }
    names_.Rollback(mark.names);
}

}  // namespace refengine
