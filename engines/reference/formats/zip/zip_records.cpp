#include "zip_records.h"

#include <initializer_list>

#include "host/source_reads.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

constexpr uint16_t kZip64ExtraId = 0x0001;

}  // namespace

bool ParseEndRecord(const unsigned char (&p)[kEndRecordSize], EndRecord& record) {
    if (Get32(p) != kEndSignature) return false;
    record.disk = Get16(p + 4);
    record.directoryDisk = Get16(p + 6);
    record.entriesHere = Get16(p + 8);
    record.entries = Get16(p + 10);
    record.directorySize = Get32(p + 12);
    record.directoryOffset = Get32(p + 16);
    record.commentLength = Get16(p + 20);
    return true;
}

bool ParseZip64EndRecord(const unsigned char (&p)[kZip64EndRecordSize], EndRecord& record) {
    if (Get32(p) != kZip64EndSignature) return false;
    record.disk = Get32(p + 16);
    record.directoryDisk = Get32(p + 20);
    record.entriesHere = Get64(p + 24);
    record.entries = Get64(p + 32);
    record.directorySize = Get64(p + 40);
    record.directoryOffset = Get64(p + 48);
    record.commentLength = 0;
    return true;
}

bool ParseZip64Locator(const unsigned char (&p)[kZip64LocatorSize], Zip64Locator& locator) {
    if (Get32(p) != kZip64LocatorSignature) return false;
    locator.recordDisk = Get32(p + 4);
    locator.recordOffset = Get64(p + 8);
    locator.disks = Get32(p + 16);
    return true;
}

bool ParseCentralHeader(const unsigned char (&p)[kCentralHeaderSize], CentralHeader& header) {
    if (Get32(p) != kCentralSignature) return false;
    header.flags = Get16(p + 8);
    header.method = Get16(p + 10);
    header.crc = Get32(p + 16);
    header.packedSize = Get32(p + 20);
    header.size = Get32(p + 24);
    header.nameLength = Get16(p + 28);
    header.extraLength = Get16(p + 30);
    header.commentLength = Get16(p + 32);
    header.disk = Get16(p + 34);
    header.localOffset = Get32(p + 42);
    return true;
}

uint32_t ApplyZip64Extra(const unsigned char* extra, uint32_t length, CentralHeader& header) {
    for (uint32_t at = 0; at + 4 <= length;) {
        uint32_t id = Get16(extra + at), size = Get16(extra + at + 2);
        if (at + 4 + size > length) break;
        if (id == kZip64ExtraId) {
            // Only the fields whose 32-bit slots are full are present, in this order.
            const unsigned char* p = extra + at + 4;
            const unsigned char* stop = p + size;
            for (uint64_t* field : {&header.size, &header.packedSize, &header.localOffset}) {
                if (*field != 0xFFFFFFFFu) continue;
                if (p + 8 > stop) return orlix::ResultBadArchiveHeader;
                *field = Get64(p);
                p += 8;
            }
            if (header.disk == 0xFFFF && p + 4 <= stop) header.disk = Get32(p);
            return 0;
        }
        at += 4 + size;
    }
    return 0;
}

bool ParseLocalHeader(const unsigned char (&p)[kLocalHeaderSize], LocalHeader& header) {
    if (Get32(p) != kLocalSignature) return false;
    header.flags = Get16(p + 6);
    header.method = Get16(p + 8);
    header.nameLength = Get16(p + 26);
    header.extraLength = Get16(p + 28);
    return true;
}

bool ParseZipLzmaHeader(const unsigned char (&p)[kZipLzmaHeaderSize], ZipLzmaHeader& header) {
    header.propertiesSize = Get16(p + 2);
    header.properties = p[4];
    header.dictionarySize = Get32(p + 5);
    return header.propertiesSize == 5;
}

}  // namespace refengine
