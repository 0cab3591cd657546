#include "zip_directory.h"

#include <algorithm>

#include "engine/contract.h"
#include "source_reads.h"
#include "zip_records.h"

namespace refengine {
namespace {

// The last end record in the object's tail whose comment fits behind it;
// its offset, or an error in found.
bool FindEndRecord(ByteSource& source, ZipDirectory& found, EndRecord& record, uint64_t& offset) {
    uint64_t size = source.Size();
    uint32_t tailLength = static_cast<uint32_t>(std::min<uint64_t>(size, kEndRecordSize + kMaxCommentLength));
    HostBuffer tail(tailLength ? tailLength : 1);
    if (!tail) {
        found.error = orlix::ResultReadError;
        return false;
    }
    int32_t read = ReadFully(source, size - tailLength, tail.data(), tailLength);
    if (read == -1) {
        found.error = orlix::ResultReadError;
        return false;
    }
    for (uint32_t at = tailLength >= kEndRecordSize ? tailLength - kEndRecordSize + 1 : 0; read == 1 && at-- > 0;) {
        unsigned char bytes[kEndRecordSize];
        std::copy(tail.data() + at, tail.data() + at + kEndRecordSize, bytes);
        if (ParseEndRecord(bytes, record) && at + kEndRecordSize + record.commentLength <= tailLength) {
            offset = size - tailLength + at;
            return true;
        }
    }
    // The first volume of a split set has no end record of its own.
    found.error = HasSignature(source, 0, kSpanSignature) ? orlix::ResultSplitArchive : orlix::ResultBadArchiveHeader;
    return false;
}

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
    if (ReadFully(source, at, z, kZip64EndRecordSize) != 1 || !ParseZip64EndRecord(z, record)) {
        found.error = orlix::ResultBadArchiveHeader;
        return false;
    }
    found.limit = at;
    found.zip64 = true;
    return true;
}

}  // namespace

bool LooksLikeZip(const unsigned char* head, size_t count) {
    if (count < 4) return false;
    uint32_t signature = Get32(head);
    return signature == kLocalSignature || signature == kEndSignature || signature == kSpanSignature;
}

bool EndsInZip(ByteSource& source) {
    ZipDirectory directory = LocateDirectory(source);
    return directory.error == 0 && directory.end > directory.start;
}

// The central directory is where the archive says, or, when a stub in
// front shifted everything, right before the end records.
ZipDirectory LocateDirectory(ByteSource& source) {
    ZipDirectory found;
    EndRecord record;
    uint64_t endOffset = 0;
    if (!FindEndRecord(source, found, record, endOffset)) return found;
    found.limit = endOffset;
    if (!ReadZip64Records(source, endOffset, found, record)) return found;
    if (record.directoryDisk != record.disk || record.entriesHere != record.entries) {
        found.error = orlix::ResultSplitArchive;
        return found;
    }
    if (record.directorySize > found.limit || record.directoryOffset > found.limit) {
        found.error = orlix::ResultBadArchiveHeader;
        return found;
    }
    uint64_t shifted = found.limit - record.directorySize;
    if (record.directorySize == 0 || HasSignature(source, record.directoryOffset, kCentralSignature)) {
        found.start = record.directoryOffset;
    } else if (shifted > record.directoryOffset && HasSignature(source, shifted, kCentralSignature)) {
        found.start = shifted;
        found.bias = shifted - record.directoryOffset;
    } else {
        found.error = orlix::ResultBadArchiveHeader;
        return found;
    }
    found.end = found.start + record.directorySize;
    found.entries = record.entries;
    found.disk = record.disk;
    return found;
}

}  // namespace refengine
