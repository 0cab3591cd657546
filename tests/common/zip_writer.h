// Small archive writers for tests. ZIP: stored and deflated members, and the
// knobs to build broken, encrypted, split, prefixed and ZIP64 archives on
// purpose. tar: ustar, GNU and pax long names, any entry type, broken
// checksums and sizes. gzip: every optional header field, several members.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ZipMember {
    std::string name;
    std::string data;
    bool deflate = true;
    uint16_t flags = 0;        // bit 0: encrypted
    uint16_t method = 0xFFFF;  // overrides the method field when set
    uint16_t disk = 0;         // volume the member starts on
    bool badCrc = false;
    bool badLocalHeader = false;
    int64_t declaredSize = -1;  // overrides the uncompressed size field
    int64_t crc = -1;           // overrides the CRC of data (with packed, data may stay empty)
    std::string packed;         // raw packed bytes instead of data's
    int aliasOf = -1;           // only a directory entry, pointing at that earlier member's data
    uint32_t aliasShift = 0;    // with aliasOf: bytes past that member's offset; then data gives CRC and sizes
};

struct ZipLayout {
    uint16_t disk = 0;
    uint16_t directoryDisk = 0;
    bool omitEndRecord = false;
    bool badCentralHeader = false;
    bool spanMarker = false;
    int declaredEntries = -1;    // overrides the end record's entry counts
    std::string prefix;          // a stub in front of the archive
    bool adjustOffsets = false;  // offsets counted from the stub's start, as `zip -A` writes them
    std::string comment;         // the archive comment
    bool zip64 = false;          // ZIP64 extra fields, end record and locator
};

std::string BuildZip(const std::vector<ZipMember>& members, const ZipLayout& layout = ZipLayout());
std::string DeflateRaw(const std::string& data);

struct TarMember {
    std::string name;
    std::string data;
    char type = '0';
    enum class LongName { Ustar, Gnu, Pax } longName = LongName::Ustar;  // names over 100 bytes
    bool badChecksum = false;
    int64_t declaredSize = -1;  // overrides the size field
};
// Ends with the two zero blocks that close an archive.
std::string BuildTar(const std::vector<TarMember>& members);

struct GzipLayout {
    std::string name;     // FNAME, when not empty
    std::string comment;  // FCOMMENT, when not empty
    std::string extra;    // FEXTRA, when not empty
    bool headerCrc = false;
    bool badCrc = false;
    size_t members = 1;  // the data split over this many concatenated members
};
std::string BuildGzip(const std::string& data, const GzipLayout& layout = GzipLayout());
