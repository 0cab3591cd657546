#include "ole2_records.h"

#include <cstring>

#include "formats/mapi/mapi_names.h"
#include "host/source_reads.h"

namespace refengine {
namespace {

const unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr uint16_t kByteOrderMark = 0xFFFE;
constexpr uint32_t kNameBytes = 64;

}  // namespace

bool LooksLikeCompoundFile(const unsigned char* head, size_t count) {
    return count >= sizeof kSignature && std::memcmp(head, kSignature, sizeof kSignature) == 0;
}

bool ParseCfbHeader(const unsigned char (&bytes)[kCfbHeaderSize], CfbHeader& header) {
    header = CfbHeader();
    if (!LooksLikeCompoundFile(bytes, kCfbHeaderSize) || Get16(bytes + 28) != kByteOrderMark) return false;
    header.majorVersion = Get16(bytes + 26);
    uint16_t sectorShift = Get16(bytes + 30);
    // Version 3 writes 512-byte sectors, version 4 4096-byte ones; readers
    // take either size with either version.
    if (sectorShift != 9 && sectorShift != 12) return false;
    if (Get16(bytes + 32) != 6 || Get32(bytes + 56) != kMiniStreamCutoff) return false;
    header.sectorSize = 1u << sectorShift;
    header.directorySectors = Get32(bytes + 40);
    header.fatSectors = Get32(bytes + 44);
    header.firstDirectorySector = Get32(bytes + 48);
    header.firstMiniFatSector = Get32(bytes + 60);
    header.miniFatSectors = Get32(bytes + 64);
    header.firstDifatSector = Get32(bytes + 68);
    header.difatSectors = Get32(bytes + 72);
    for (uint32_t i = 0; i < kHeaderDifatEntries; ++i) header.difat[i] = Get32(bytes + 76 + 4 * i);
    return true;
}

bool ParseDirectoryEntry(const unsigned char* bytes, uint16_t majorVersion, DirectoryEntry& entry) {
    entry = DirectoryEntry();
    entry.type = bytes[66];
    if (entry.type == static_cast<uint8_t>(EntryType::Unused)) return true;
    if (entry.type != static_cast<uint8_t>(EntryType::Storage) &&
        entry.type != static_cast<uint8_t>(EntryType::Stream) && entry.type != static_cast<uint8_t>(EntryType::Root))
        return false;
    uint16_t nameLength = Get16(bytes + 64);
    if (nameLength > kNameBytes || nameLength % 2) return false;
    entry.name = SafeNameFromUtf16(bytes, nameLength);
    for (uint32_t i = 0; i + 1 < nameLength; i += 2) {
        uint16_t c = Get16(bytes + i);
        if (c == 0) break;
        entry.rawName += c < 0x80 ? static_cast<char>(c) : '?';
    }
    entry.left = Get32(bytes + 68);
    entry.right = Get32(bytes + 72);
    entry.child = Get32(bytes + 76);
    entry.startSector = Get32(bytes + 116);
    entry.size = Get64(bytes + 120);
    if (majorVersion == 3) entry.size &= 0xFFFFFFFFu;
    return true;
}

}  // namespace refengine
