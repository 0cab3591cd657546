// Finds a ZIP's end records and, through them, its central directory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host_io.h"

namespace refengine {

// The first bytes of every ZIP this engine walks: a local header, an empty
// archive's end record, or the marker of a split archive's first volume.
bool LooksLikeZip(const unsigned char* head, size_t count);
// True when an archive's directory is found at the end of an object that
// does not start like one: a self-extractor or any stub in front of a ZIP.
bool EndsInZip(ByteSource& source);

// Where the central directory is and what the end records say about it.
struct ZipDirectory {
    uint32_t error = 0;
    uint64_t start = 0;  // the first central header
    uint64_t end = 0;    // start plus the declared size
    uint64_t limit = 0;  // the end records: no header reaches past here
    uint64_t entries = 0;
    uint64_t bias = 0;  // bytes in front of the archive that its offsets leave out
    uint32_t disk = 0;
    bool zip64 = false;
};

ZipDirectory LocateDirectory(ByteSource& source);

}  // namespace refengine
