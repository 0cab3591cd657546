#include "zip_directory.h"

#include <algorithm>

#include "host/source_reads.h"
#include "orlix/contract.h"
#include "zip_records.h"

namespace refengine {
namespace {

constexpr uint32_t kSearchChunk = 65536;
// End signatures tried before giving up: each costs a few reads, and a
// crafted object could hold millions of them.
constexpr uint32_t kMaxEndCandidates = 256;

// Replaces the end record's fields with the ZIP64 record's when a locator
// sits right before it. False when the locator leads nowhere.
bool ReadZip64Records(ByteSource& source, uint64_t endOffset, ZipDirectory& found, EndRecord& record) {
    unsigned char bytes[kZip64LocatorSize];
    Zip64Locator locator;
    if (endOffset < kZip64LocatorSize ||
        ReadFully(source, endOffset - kZip64LocatorSize, bytes, kZip64LocatorSize) != 1 ||
        !ParseZip64Locator(bytes, locator)) {
        return true;
    }
    // The record sits where the locator says, or right before the locator
    // when a stub in front shifted it.
    uint64_t at = locator.recordOffset;
    uint64_t beforeLocator =
        endOffset - kZip64LocatorSize - std::min<uint64_t>(endOffset - kZip64LocatorSize, kZip64EndRecordSize);
    if (at > endOffset || !HasSignature(source, at, kZip64EndSignature)) at = beforeLocator;
    unsigned char z[kZip64EndRecordSize];
    if (ReadFully(source, at, z, kZip64EndRecordSize) != 1 || !ParseZip64EndRecord(z, record)) return false;
    found.limit = at;
    found.zip64 = true;
    return true;
}

// The directory of the end record at endOffset, or an error in found.
ZipDirectory Resolve(ByteSource& source, uint64_t endOffset, EndRecord record) {
    ZipDirectory found;
    found.limit = endOffset;
    if (!ReadZip64Records(source, endOffset, found, record)) {
        found.error = orlix::ResultBadArchiveHeader;
        return found;
    }
    found.size = record.directorySize;
    found.entries = record.entries;
    found.entriesHere = record.entriesHere;
    found.disk = record.disk;
    if (record.directorySize > found.limit) {
        found.error = orlix::ResultBadArchiveHeader;
        return found;
    }
    uint64_t pointed = record.directoryOffset;
    uint64_t shifted = found.limit - record.directorySize;
    if (pointed <= shifted && (record.directorySize == 0 || HasSignature(source, pointed, kCentralSignature)))
        found.readings[found.readingCount++] = {pointed, 0};
    // Offsets counted from the archive's own start behind a stub, or from
    // a start before the bytes this object holds.
    if (record.directorySize > 0 && shifted != pointed && HasSignature(source, shifted, kCentralSignature))
        found.readings[found.readingCount++] = {shifted, static_cast<int64_t>(shifted - pointed)};
    if (found.readingCount == 0) {
        // Disk numbers count only when the directory is not here: a single
        // file is read whatever volume its records name.
        bool elsewhere = record.directoryDisk != record.disk || record.entriesHere != record.entries;
        found.error = elsewhere ? orlix::ResultSplitArchive : orlix::ResultBadArchiveHeader;
    }
    return found;
}

}  // namespace

bool LooksLikeZip(const unsigned char* head, size_t count) {
    if (count < 4) return false;
    uint32_t signature = Get32(head);
    return signature == kLocalSignature || signature == kEndSignature || signature == kSpanSignature;
}

bool EndsInZip(Host& host, ByteSource& source) {
    ZipDirectory directory = LocateDirectory(host, source);
    return directory.error == 0 && directory.size > 0;
}

// The last end record, searched from the object's end, whose directory
// checks out: neither an overstated comment length nor any amount of
// trailing data hides it.
ZipDirectory LocateDirectory(Host& host, ByteSource& source) {
    ZipDirectory first;
    first.error = orlix::ResultBadArchiveHeader;
    bool seen = false;
    uint64_t size = source.Size();
    HostBuffer buffer(host, kSearchChunk + kEndRecordSize);
    if (!buffer) {
        first.error = orlix::ResultReadError;
        return first;
    }
    uint32_t tried = 0;
    for (uint64_t chunkEnd = size; chunkEnd > 0 && tried < kMaxEndCandidates;) {
        uint64_t chunkStart = chunkEnd - std::min<uint64_t>(chunkEnd, kSearchChunk);
        // A record may straddle the chunk's end: read its tail along.
        uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(size, chunkEnd + kEndRecordSize - 1) - chunkStart);
        int32_t got = source.ReadAt(chunkStart, buffer.data(), length);
        if (got != static_cast<int32_t>(length)) {
            first.error = orlix::ResultReadError;
            return first;
        }
        for (uint64_t at = chunkEnd - chunkStart; at-- > 0 && tried < kMaxEndCandidates;) {
            const unsigned char* p = buffer.data() + at;
            if (at + kEndRecordSize > length || !std::equal(kEndMarker, kEndMarker + 4, p)) continue;
            unsigned char bytes[kEndRecordSize];
            std::copy(p, p + kEndRecordSize, bytes);
            EndRecord record;
            if (!ParseEndRecord(bytes, record)) continue;
            ++tried;
            ZipDirectory found = Resolve(source, chunkStart + at, record);
            if (found.error == 0) return found;
            if (!seen) first = found;
            seen = true;
        }
        chunkEnd = chunkStart;
    }
    // The first volume of a split set has no end record of its own.
    if (!seen && HasSignature(source, 0, kSpanSignature)) first.error = orlix::ResultSplitArchive;
    return first;
}

}  // namespace refengine
