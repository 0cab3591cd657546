#include "codecs/xz/xz_index.h"

#include <zlib.h>

#include <cstring>

#include "codecs/xz/xz_records.h"

namespace refengine {
namespace xz {

void BlockRecords::Add(uint64_t unpaddedSize, uint64_t uncompressedSize) {
    unsigned char record[16];
    for (int i = 0; i < 8; ++i) {
        record[i] = static_cast<unsigned char>(unpaddedSize >> (8 * i));
        record[8 + i] = static_cast<unsigned char>(uncompressedSize >> (8 * i));
    }
    hash_.Update(record, sizeof record);
    ++count_;
}

bool BlockRecords::SameAs(BlockRecords& other) {
    unsigned char mine[Sha256::kSize];
    unsigned char theirs[Sha256::kSize];
    hash_.Final(mine);
    other.hash_.Final(theirs);
    return count_ == other.count_ && std::memcmp(mine, theirs, sizeof mine) == 0;
}

IndexParser::Step IndexParser::Feed(const unsigned char* in, size_t count, size_t* used) {
    size_t i = 0;
    Step step = Step::More;
    while (i < count && step == Step::More) step = Byte(in[i++]);
    *used = i;
    return step;
}

IndexParser::Step IndexParser::Byte(unsigned char byte) {
    ++size_;
    // The CRC32 covers everything before its own four bytes.
    if (phase_ != Phase::Crc) crc_ = static_cast<uint32_t>(crc32(crc_, &byte, 1));
    switch (phase_) {
        case Phase::Indicator:
            if (byte != 0) return Step::Damaged;
            phase_ = Phase::Count;
            return Step::More;
        case Phase::Count:
        case Phase::Unpadded:
        case Phase::Uncompressed: {
            if (valueBytes_ == 9) return Step::Damaged;
            value_ |= static_cast<uint64_t>(byte & 0x7F) << (7 * valueBytes_);
            ++valueBytes_;
            if (byte & 0x80) return Step::More;
            if (valueBytes_ > 1 && byte == 0) return Step::Damaged;
            uint64_t value = value_;
            value_ = 0;
            valueBytes_ = 0;
            if (phase_ == Phase::Count) {
                left_ = value;
            } else if (phase_ == Phase::Unpadded) {
                if (value == 0 || value > kMaxValue) return Step::Damaged;
                unpadded_ = value;
                phase_ = Phase::Uncompressed;
                return Step::More;
            } else {
                if (value > kMaxValue) return Step::Damaged;
                records_.Add(unpadded_, value);
                --left_;
            }
            phase_ = left_ > 0 ? Phase::Unpadded : Phase::Padding;
            // Records end where padding starts; with no padding due, the CRC is next.
            if (phase_ == Phase::Padding && size_ % 4 == 0) phase_ = Phase::Crc;
            return Step::More;
        }
        case Phase::Padding:
            if (byte != 0) return Step::Damaged;
            if (size_ % 4 == 0) phase_ = Phase::Crc;
            return Step::More;
        case Phase::Crc:
            storedCrc_ |= static_cast<uint32_t>(byte) << (8 * crcBytes_);
            if (++crcBytes_ < 4) return Step::More;
            return storedCrc_ == crc_ ? Step::Done : Step::Damaged;
    }
    return Step::Damaged;
}

}  // namespace xz
}  // namespace refengine
