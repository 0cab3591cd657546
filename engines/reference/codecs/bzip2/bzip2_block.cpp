#include "bzip2_block.h"

#include <new>

#include "bzip2_crc.h"

namespace refengine {

bool Bzip2Block::Reserve(unsigned level) {
    uint32_t want = uint32_t(level) * kLevelBytes;
    if (!chunk_) chunk_.reset(new (std::nothrow) unsigned char[kChunk]);
    if (!chunk_) return false;
    if (want <= capacity_) return true;
    links_.reset();
    capacity_ = 0;
    links_.reset(new (std::nothrow) uint32_t[want]);
    if (!links_) return false;
    capacity_ = want;
    return true;
}

Bzip2Block::Result Bzip2Block::Emit(uint32_t length, uint32_t origin, const uint32_t counts[256], ByteSink& out,
                                    uint32_t* crcOut) {
    uint32_t* links = links_.get();
    // Each byte of the last column is also a byte of the first, in sorted
    // order: link each first-column row to the row whose text follows it.
    uint32_t start[256];
    uint32_t sum = 0;
    for (int b = 0; b < 256; ++b) {
        start[b] = sum;
        sum += counts[b];
    }
    for (uint32_t i = 0; i < length; ++i) links[start[links[i] & 0xff]++] |= i << 8;

    unsigned char* chunk = chunk_.get();
    unsigned char* to = chunk;
    unsigned char* const chunkEnd = chunk + kChunk;
    uint32_t crc = 0xffffffffu;
    uint32_t row = links[origin] >> 8;
    unsigned last = 256;  // no byte yet
    unsigned same = 0;    // how many of last in a row; at 4 a count follows
    for (uint32_t i = 0; i < length; ++i) {
        uint32_t link = links[row];
        row = link >> 8;
        unsigned byte = link & 0xff;
        unsigned copies = 1;
        if (same == 4) {
            copies = byte;
            byte = last;
            same = 0;
        } else if (byte == last) {
            ++same;
        } else {
            last = byte;
            same = 1;
        }
        // Room for the longest run first, so the bytes go in unchecked.
        if (chunkEnd - to < 256) {
            if (!out.Take(chunk, uint32_t(to - chunk))) return Result::Stopped;
            to = chunk;
        }
        for (unsigned k = 0; k < copies; ++k) {
            *to++ = (unsigned char)byte;
            crc = Bzip2CrcByte(crc, (unsigned char)byte);
        }
    }
    if (to != chunk && !out.Take(chunk, uint32_t(to - chunk))) return Result::Stopped;
    *crcOut = ~crc;
    // Four equal bytes promise a count: a block cannot end between them.
    return same == 4 ? Result::Damaged : Result::Done;
}

}  // namespace refengine
