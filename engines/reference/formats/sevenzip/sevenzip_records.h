// The 7z format's records: the signature header at the start, and the
// header database it points to (pack streams, folders of coders, the
// substreams that are the files, the files' names and kinds), each parsed
// once into a struct. Parsers answer 0 or the contract's error bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace refengine {

constexpr uint32_t kSevenZipSignatureHeaderSize = 32;
bool LooksLikeSevenZip(const unsigned char* head, size_t count);

struct SevenZipSignatureHeader {
    uint64_t nextHeaderOffset = 0;  // from the end of this header
    uint64_t nextHeaderSize = 0;
    uint32_t nextHeaderCrc = 0;
};
// False when the signature or the header's own checksum is wrong.
bool ParseSevenZipSignatureHeader(const unsigned char (&bytes)[kSevenZipSignatureHeaderSize],
                                  SevenZipSignatureHeader& header);

struct SevenZipCoder {
    std::vector<unsigned char> method;
    std::vector<unsigned char> properties;
    uint32_t inStreams = 1;
    uint32_t outStreams = 1;
};

struct SevenZipBindPair {
    uint64_t inIndex = 0;
    uint64_t outIndex = 0;
};

// One folder: coders whose streams are bound to each other; the packed
// streams feed the unbound inputs, the one unbound output is the folder's
// unpacked bytes.
struct SevenZipFolder {
    std::vector<SevenZipCoder> coders;
    std::vector<SevenZipBindPair> bindPairs;
    std::vector<uint64_t> packedStreams;  // coder input indices fed by pack streams
    std::vector<uint64_t> unpackSizes;    // one per coder output
    bool crcDefined = false;
    uint32_t crc = 0;
    uint64_t firstPackStream = 0;  // index into the archive's pack streams

    uint32_t totalInStreams() const;
    uint32_t totalOutStreams() const;
    // The output no bind pair consumes, or -1.
    int64_t MainOutput() const;
    uint64_t unpackSize() const;
};

struct SevenZipStreams {
    uint64_t packPosition = 0;  // from the end of the signature header
    std::vector<uint64_t> packSizes;
    std::vector<SevenZipFolder> folders;
    // Per folder, how many files it holds; and each file's size and CRC, in
    // folder order.
    std::vector<uint64_t> unpackStreams;
    std::vector<uint64_t> substreamSizes;
    std::vector<bool> substreamCrcDefined;
    std::vector<uint32_t> substreamCrcs;
};

struct SevenZipFile {
    std::string name;  // reduced to safe ANSI
    bool hasStream = true;
    bool directory = false;
    bool anti = false;
};

struct SevenZipDatabase {
    SevenZipStreams streams;
    std::vector<SevenZipFile> files;
};

// Property ids of the header database.
enum SevenZipProperty : uint8_t {
    kSzEnd = 0x00,
    kSzHeader = 0x01,
    kSzArchiveProperties = 0x02,
    kSzAdditionalStreamsInfo = 0x03,
    kSzMainStreamsInfo = 0x04,
    kSzFilesInfo = 0x05,
    kSzPackInfo = 0x06,
    kSzUnpackInfo = 0x07,
    kSzSubStreamsInfo = 0x08,
    kSzSize = 0x09,
    kSzCrc = 0x0A,
    kSzFolder = 0x0B,
    kSzCodersUnpackSize = 0x0C,
    kSzNumUnpackStream = 0x0D,
    kSzEmptyStream = 0x0E,
    kSzEmptyFile = 0x0F,
    kSzAnti = 0x10,
    kSzName = 0x11,
    kSzWinAttributes = 0x15,
    kSzEncodedHeader = 0x17,
    kSzDummy = 0x19,
};

// Bounds that keep a crafted header from costing more than the object.
constexpr uint64_t kSevenZipMaxFiles = 1u << 20;
constexpr uint64_t kSevenZipMaxFolders = 1u << 16;
constexpr uint32_t kSevenZipMaxCoders = 8;

// A header database that starts with kSzHeader.
uint32_t ParseSevenZipHeader(const unsigned char* bytes, size_t size, SevenZipDatabase& database);
// The streams of an encoded header (after its kSzEncodedHeader byte).
uint32_t ParseSevenZipStreams(const unsigned char* bytes, size_t size, SevenZipStreams& streams);

}  // namespace refengine
