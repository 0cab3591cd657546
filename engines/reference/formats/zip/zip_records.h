// The ZIP format's on-disk records, each parsed by one function from its
// fixed part into a struct. A parser answers false when the record's
// signature is not there.
#pragma once

#include <cstdint>

namespace refengine {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kSpanSignature = 0x08074b50;
// The local header's and the end record's signatures as bytes in an object,
// for searches over raw bytes.
constexpr unsigned char kLocalMarker[4] = {kLocalSignature & 0xFF, kLocalSignature >> 8 & 0xFF,
                                           kLocalSignature >> 16 & 0xFF, kLocalSignature >> 24};
constexpr unsigned char kEndMarker[4] = {kEndSignature & 0xFF, kEndSignature >> 8 & 0xFF, kEndSignature >> 16 & 0xFF,
                                         kEndSignature >> 24};
constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kZip64EndRecordSize = 56;
constexpr uint32_t kZip64LocatorSize = 20;
constexpr uint32_t kCentralHeaderSize = 46;
constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint16_t kFlagEncrypted = 0x1;
// With method 14: the LZMA data ends with the end marker.
constexpr uint16_t kFlagLzmaEndMarker = 0x2;

// The methods we unpack besides stored (0) and Deflate (8).
enum ZipMethod : uint16_t {
    kMethodStored = 0,
    kMethodDeflate = 8,
    kMethodDeflate64 = 9,
    kMethodBzip2 = 12,
    kMethodLzma = 14,
    kMethodXz = 95,
};

// The end record, or the ZIP64 one that replaces its fields.
struct EndRecord {
    uint32_t disk = 0;
    uint32_t directoryDisk = 0;
    uint64_t entriesHere = 0;
    uint64_t entries = 0;
    uint64_t directorySize = 0;
    uint64_t directoryOffset = 0;
    uint32_t commentLength = 0;  // the classic record only
};
bool ParseEndRecord(const unsigned char (&bytes)[kEndRecordSize], EndRecord& record);
bool ParseZip64EndRecord(const unsigned char (&bytes)[kZip64EndRecordSize], EndRecord& record);

struct Zip64Locator {
    uint32_t recordDisk = 0;
    uint64_t recordOffset = 0;
    uint32_t disks = 0;
};
bool ParseZip64Locator(const unsigned char (&bytes)[kZip64LocatorSize], Zip64Locator& locator);

// A central directory entry; ZIP64 values replace the full 32-bit slots
// once its extra field is applied.
struct CentralHeader {
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint64_t packedSize = 0;
    uint64_t size = 0;
    uint32_t nameLength = 0;
    uint32_t extraLength = 0;
    uint32_t commentLength = 0;
    uint32_t disk = 0;
    uint64_t localOffset = 0;
};
bool ParseCentralHeader(const unsigned char (&bytes)[kCentralHeaderSize], CentralHeader& header);
// Reads the ZIP64 extra field among extra's fields into header: 0, or
// 0x4000 when it lacks a value whose slot is full.
uint32_t ApplyZip64Extra(const unsigned char* extra, uint32_t length, CentralHeader& header);

struct LocalHeader {
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t nameLength = 0;
    uint32_t extraLength = 0;
};
bool ParseLocalHeader(const unsigned char (&bytes)[kLocalHeaderSize], LocalHeader& header);

// What a method 14 member's data starts with: the encoder's version, the
// size of the properties (5 for LZMA), the properties byte and the
// dictionary size; the raw LZMA stream follows.
constexpr uint32_t kZipLzmaHeaderSize = 9;
struct ZipLzmaHeader {
    uint32_t propertiesSize = 0;
    unsigned char properties = 0;
    uint32_t dictionarySize = 0;
};
// False when the properties are not the five bytes LZMA has.
bool ParseZipLzmaHeader(const unsigned char (&bytes)[kZipLzmaHeaderSize], ZipLzmaHeader& header);

}  // namespace refengine
