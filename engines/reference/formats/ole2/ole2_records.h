// A compound file's records: its header and its directory entries, each
// parsed by one function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace refengine {

constexpr uint32_t kCfbHeaderSize = 512;
constexpr uint32_t kHeaderDifatEntries = 109;
constexpr uint32_t kDirectoryEntrySize = 128;
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kMiniStreamCutoff = 4096;

// Sector numbers that are no sector.
constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kNoEntry = 0xFFFFFFFF;

bool LooksLikeCompoundFile(const unsigned char* head, size_t count);

struct CfbHeader {
    uint16_t majorVersion = 0;
    uint32_t sectorSize = 0;
    uint32_t directorySectors = 0;  // counted in version 4 only
    uint32_t fatSectors = 0;
    uint32_t firstDirectorySector = 0;
    uint32_t firstMiniFatSector = 0;
    uint32_t miniFatSectors = 0;
    uint32_t firstDifatSector = 0;
    uint32_t difatSectors = 0;
    uint32_t difat[kHeaderDifatEntries] = {};
};
// False when the header is not one a compound file writer stores: its
// signature, byte order, sector sizes or mini stream cutoff.
bool ParseCfbHeader(const unsigned char (&bytes)[kCfbHeaderSize], CfbHeader& header);

enum class EntryType : uint8_t { Unused = 0, Storage = 1, Stream = 2, Root = 5 };

struct DirectoryEntry {
    std::string name;     // reduced to safe text
    std::string rawName;  // as stored, ASCII characters only, for the names Outlook gives its streams
    uint8_t type = 0;
    uint32_t left = kNoEntry, right = kNoEntry, child = kNoEntry;
    uint32_t startSector = 0;
    uint64_t size = 0;
};
// False for an entry in use whose type or name length no writer stores.
// Version 3 files keep only the low half of a stream's size.
bool ParseDirectoryEntry(const unsigned char* bytes, uint16_t majorVersion, DirectoryEntry& entry);

}  // namespace refengine
