// The index at the end of a .xz stream lists every block's sizes. It is
// checked against the blocks actually decoded without keeping a list of
// them: both sides are reduced to a count and a hash of their records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/sha.h"

namespace refengine {
namespace xz {

// A count of (unpadded size, uncompressed size) records and their hash.
class BlockRecords {
public:
    void Add(uint64_t unpaddedSize, uint64_t uncompressedSize);
    // Ends the list; compares the two lists. Both are spent afterwards.
    bool SameAs(BlockRecords& other);
    uint64_t count() const { return count_; }

private:
    Sha256 hash_;
    uint64_t count_ = 0;
};

class IndexParser {
public:
    enum class Step { More, Done, Damaged };

    // The index's bytes from its indicator byte on, in pieces of any size.
    Step Feed(const unsigned char* in, size_t count, size_t* used);
    BlockRecords& records() { return records_; }
    uint64_t size() const { return size_; }  // bytes of the index, its CRC32 included

private:
    enum class Phase { Indicator, Count, Unpadded, Uncompressed, Padding, Crc };

    Step Byte(unsigned char byte);

    Phase phase_ = Phase::Indicator;
    uint64_t size_ = 0;
    uint32_t crc_ = 0;
    uint32_t storedCrc_ = 0;
    uint32_t crcBytes_ = 0;
    uint64_t value_ = 0;  // the variable-length integer being read
    uint32_t valueBytes_ = 0;
    uint64_t left_ = 0;  // records still to come
    uint64_t unpadded_ = 0;
    BlockRecords records_;
};

}  // namespace xz
}  // namespace refengine
