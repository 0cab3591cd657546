// A small ZIP writer for tests: stored and deflated members, and the knobs
// to build broken, encrypted and split archives on purpose.
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
    std::string packed;         // raw packed bytes instead of data's
};

struct ZipLayout {
    uint16_t disk = 0;
    uint16_t directoryDisk = 0;
    bool omitEndRecord = false;
    bool badCentralHeader = false;
    bool spanMarker = false;
};

std::string BuildZip(const std::vector<ZipMember>& members, const ZipLayout& layout = ZipLayout());
std::string DeflateRaw(const std::string& data);
