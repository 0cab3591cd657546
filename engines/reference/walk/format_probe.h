// The archive formats the engine walks, told apart by their first bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace refengine {

enum class ArchiveFormat { None, Zip, Gzip, Tar };

// Bytes that decide a format from the head: a tar header's checksum covers
// its whole first block.
constexpr uint32_t kFormatHeadBytes = 512;

// Names stored apart from their headers (gzip, tar long names) are kept up
// to this length: the walk reports 512 bytes at most.
constexpr size_t kMaxMemberNameKept = 1024;

// The format whose head the bytes carry (a ZIP signature, a gzip member, a
// tar header), or None; an object with a ZIP only at its end is not told
// from its head.
ArchiveFormat DetectArchiveHead(const unsigned char* head, size_t count);
// The archiver name the walk reports.
const char* ArchiverName(ArchiveFormat format);

}  // namespace refengine
