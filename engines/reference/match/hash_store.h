// Whole-object hash records kept compactly: per hash kind one packed table
// of (size, digest, name) entries, sorted once by size and digest, and the
// names in one pool where records share the stem of their name ("Win.Trojan.
// Agent-") and keep only their own number. Records are appended in blocks
// while bases load, so that growing never copies them, and sorted across
// the blocks where they lie when the load finishes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "virus_record.h"

namespace refengine {

enum class HashKind : uint8_t { Md5 = 0, Sha1 = 1, Sha256 = 2 };
constexpr size_t kHashKinds = 3;
constexpr size_t kMaxDigestLength = 32;
constexpr size_t DigestLength(HashKind kind) { return kind == HashKind::Md5 ? 16 : kind == HashKind::Sha1 ? 20 : 32; }
// A record for objects of any size ('*'); sorts after every real size.
constexpr uint32_t kAnySize = 0xFFFFFFFFu;

// A name in the pool: the stem's offset and the record's own number.
struct NameRef {
    uint32_t stem = 0;
    uint32_t number = 0;
};

class NamePool {
public:
    // Keeps name with the find's kind and size bound; false when the name
    // is empty or too long.
    bool Add(const char* name, size_t length, const Verdict& kind, NameRef& ref);
    void Describe(NameRef ref, Verdict& verdict) const;
    // The name alone, written into out (at least kMaxVirusNameLength + 1 bytes); its length.
    size_t Spell(NameRef ref, char* out) const;
    size_t mark() const { return pool_.size(); }
    // Drops every stem added after mark.
    void Rollback(size_t mark);
    size_t bytes() const { return pool_.capacity() + slots_.capacity() * sizeof(Slot); }

private:
    // The stem of this header and text, its offset + 1; 0 when there is none.
    uint32_t Find(const unsigned char* header, const char* text, size_t length, uint32_t hash) const;
    void Insert(uint32_t offset, uint32_t hash);
    void Rehash(size_t stems);

    std::vector<unsigned char> pool_;
    // Open addressing: stem offset + 1 (0 for an empty slot) and the stem's
    // hash, so that a probe compares texts only when the hashes agree.
    struct Slot {
        uint32_t stem;
        uint32_t hash;
    };
    std::vector<Slot> slots_;
    size_t stems_ = 0;
};

// The records of one hash kind.
class HashTable {
public:
    explicit HashTable(size_t digestLength) : digest_(digestLength), stride_(4 + digestLength + 8) {}
    void Add(uint32_t size, const unsigned char* digest, NameRef name);
    // Moves the records added since into the sorted table.
    void Finish();
    size_t count() const { return sorted_ + pending_; }
    size_t mark() const { return pending_; }
    void Rollback(size_t mark);
    // True when a record of this size (or of any size) exists.
    bool Covers(uint64_t size) const;
    // Calls take(name) for every record of this size (or any size) and
    // digest until it answers true; true when one did.
    template <typename Take>
    bool Find(uint64_t size, const unsigned char* digest, Take take) const {
        if (size < kAnySize && FindExact(static_cast<uint32_t>(size), digest, take)) return true;
        return FindExact(kAnySize, digest, take);
    }
    size_t bytes() const { return blocks_.capacity() * sizeof(blocks_[0]) + blocks_.size() * kBlockRecords * stride_; }

private:
    static constexpr size_t kBlockShift = 15;
    static constexpr size_t kBlockRecords = size_t(1) << kBlockShift;

    size_t LowerBound(uint32_t size, const unsigned char* digest) const;
    const unsigned char* At(size_t i) const {
        return blocks_[i >> kBlockShift].get() + (i & (kBlockRecords - 1)) * stride_;
    }
    template <typename Take>
    bool FindExact(uint32_t size, const unsigned char* digest, Take take) const {
        for (size_t i = LowerBound(size, digest); i < sorted_; ++i) {
            const unsigned char* e = At(i);
            if (SizeOf(e) != size || std::memcmp(e + 4, digest, digest_) != 0) return false;
            NameRef name;
            std::memcpy(&name, e + 4 + digest_, sizeof name);
            if (take(name)) return true;
        }
        return false;
    }
    static uint32_t SizeOf(const unsigned char* e) {
        uint32_t size;
        std::memcpy(&size, e, 4);
        return size;
    }

    size_t digest_;
    size_t stride_;  // size, digest, name: packed, no padding
    // Blocks of kBlockRecords records, filled in order; not zeroed first.
    // The first sorted_ records are sorted, the pending_ after them not yet.
    std::vector<std::unique_ptr<unsigned char[]>> blocks_;
    size_t sorted_ = 0;
    size_t pending_ = 0;
    // Bounds of every size added (a rollback leaves them wider).
    uint32_t lowestSize_ = kAnySize;
    uint32_t highestSize_ = 0;
};

// Every hash record: finds and allow-list entries of each kind, the finds
// of one PE section's data, and the names.
class HashStore {
public:
    HashStore();
    HashTable& finds(HashKind kind) { return finds_[static_cast<size_t>(kind)]; }
    const HashTable& finds(HashKind kind) const { return finds_[static_cast<size_t>(kind)]; }
    HashTable& allowed(HashKind kind) { return allowed_[static_cast<size_t>(kind)]; }
    const HashTable& allowed(HashKind kind) const { return allowed_[static_cast<size_t>(kind)]; }
    HashTable& sections(HashKind kind) { return sections_[static_cast<size_t>(kind)]; }
    const HashTable& sections(HashKind kind) const { return sections_[static_cast<size_t>(kind)]; }
    NamePool& names() { return names_; }
    const NamePool& names() const { return names_; }
    void Finish();
    size_t findCount() const;  // section finds included
    size_t sectionCount() const;
    size_t allowCount() const;
    size_t bytes() const;

    // What a rollback returns to.
    struct Mark {
        size_t finds[kHashKinds];
        size_t allowed[kHashKinds];
        size_t sections[kHashKinds];
        size_t names;
    };
    Mark mark() const;
    void Rollback(const Mark& mark);

private:
    HashTable finds_[kHashKinds];
    HashTable allowed_[kHashKinds];
    HashTable sections_[kHashKinds];
    NamePool names_;
};

}  // namespace refengine
