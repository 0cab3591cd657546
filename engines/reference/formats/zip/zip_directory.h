// Finds a ZIP's end records and, through them, its central directory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_io.h"

namespace refengine {

// The first bytes of every ZIP this engine walks: a local header, an empty
// archive's end record, or the marker of a split archive's first volume.
bool LooksLikeZip(const unsigned char* head, size_t count);
// True when an archive's directory is found at the end of an object that
// does not start like one: a self-extractor or any stub in front of a ZIP.
bool EndsInZip(Host& host, ByteSource& source);

// One place a central directory was found, and how its offsets map to the
// object's: bias is added to every offset the directory names.
struct DirectoryReading {
    uint64_t start = 0;
    int64_t bias = 0;
};

// Where the central directory is and what the end records say about it.
// Extractors differ in where they look (where the end record points, or
// right before the end records when a stub shifted the archive): when both
// places hold a directory, both are walked.
struct ZipDirectory {
    uint32_t error = 0;
    DirectoryReading readings[2];
    uint32_t readingCount = 0;
    uint64_t size = 0;   // the declared size of the directory
    uint64_t limit = 0;  // the end records: no header reaches past here
    uint64_t entries = 0;
    uint64_t entriesHere = 0;
    uint32_t disk = 0;
    bool zip64 = false;
};

ZipDirectory LocateDirectory(Host& host, ByteSource& source);

}  // namespace refengine
