// The tar format's header block (v7, ustar, GNU) and pax records, each
// parsed by one function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace refengine {

constexpr uint32_t kTarBlock = 512;

// A sparse member's map holds at most this many regions; past it the
// member is read as stored only.
constexpr size_t kMaxSparseRegions = 1 << 16;

// A valid first header, or one whose checksum alone is wrong while its
// magic or its number fields are a tar writer's: GNU tar skips such a
// header to the next valid one.
bool LooksLikeTar(const unsigned char* head, size_t count);
bool IsZeroBlock(const unsigned char (&block)[kTarBlock]);

// Bytes of a sparse member's file that its archive stores; the rest are
// holes, read as zeros.
struct SparseRegion {
    uint64_t offset = 0;
    uint64_t size = 0;
};
struct SparseMap {
    std::vector<SparseRegion> regions;
    uint64_t realSize = 0;
    bool valid = true;  // false: a field not a number, or too many regions
};

struct TarHeader {
    std::string name;  // with the ustar prefix in front
    uint64_t size = 0;
    char type = 0;
    bool sparseExtended = false;  // GNU sparse: more map blocks follow
    SparseMap sparse;             // type 'S': the map's first regions and the file's size
};
// False when the checksum or a number field is not what a tar writer
// stores.
bool ParseTarHeader(const unsigned char (&block)[kTarBlock], TarHeader& header);

// What a pax extended header changes about the next member.
struct PaxRecords {
    std::string path;
    uint64_t size = 0;
    bool hasSize = false;
    // GNU sparse members: format 1.0 keeps the map in the data; 0.0 and
    // 0.1 keep it here.
    int sparseMajor = -1;
    bool sparseInRecords = false;
    SparseMap sparse;
    uint64_t pendingOffset = 0;  // 0.0: an offset waiting for its length
};
// False when a record is malformed; the records before it are kept.
bool ParsePaxRecords(const std::string& data, PaxRecords& records);

// An old GNU sparse map extension block's regions added to map; true when
// more such blocks follow.
bool ParseSparseExtension(const unsigned char (&block)[kTarBlock], SparseMap& map);
// A pax 1.0 sparse map at the start of a member's data: decimal numbers on
// lines, the count then offset and length pairs. The bytes it takes up, or
// 0 when text does not hold a whole map.
size_t ParseSparseMapText(const std::string& text, SparseMap& map);

}  // namespace refengine
