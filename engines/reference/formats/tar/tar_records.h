// The tar format's header block (v7, ustar, GNU) and pax records, each
// parsed by one function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace refengine {

constexpr uint32_t kTarBlock = 512;

bool LooksLikeTar(const unsigned char* head, size_t count);
bool IsZeroBlock(const unsigned char (&block)[kTarBlock]);

struct TarHeader {
    std::string name;  // with the ustar prefix in front
    uint64_t size = 0;
    char type = 0;
    bool sparseExtended = false;  // GNU sparse: more map blocks follow
};
// False when the checksum or a number field is not what a tar writer
// stores.
bool ParseTarHeader(const unsigned char (&block)[kTarBlock], TarHeader& header);

// What a pax extended header changes about the next member.
struct PaxRecords {
    std::string path;
    uint64_t size = 0;
    bool hasSize = false;
};
// False when a record is malformed; the records before it are kept.
bool ParsePaxRecords(const std::string& data, PaxRecords& records);

// The GNU sparse map extension block's "more follow" flag.
bool SparseExtensionContinues(const unsigned char (&block)[kTarBlock]);

}  // namespace refengine
