// A gzip member's header and trailer (RFC 1952), each parsed by one function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/host_io.h"

namespace refengine {

constexpr uint32_t kGzipTrailerSize = 8;
// What a header is read through.
constexpr uint32_t kGzipHeaderBuffer = 65536;

bool LooksLikeGzip(const unsigned char* head, size_t count);

struct GzipHeader {
    uint8_t flags = 0;
    std::string name;           // FNAME, empty when absent
    uint64_t length = 0;        // the header's bytes: deflate data follows
    bool headerCrcBad = false;  // FHCRC present and wrong
};
// 0: parsed; 0x4000: not a gzip header; 0x80: the object ends inside it;
// 0x20: a read failure. The stored name is kept up to nameRoom bytes; the
// header is read through buffer (any size; 0x80 when it has none).
uint32_t ReadGzipHeader(HostBuffer& buffer, ByteSource& source, uint64_t offset, GzipHeader& header, size_t nameRoom);

struct GzipTrailer {
    uint32_t crc = 0;
    uint32_t size = 0;  // the member's length modulo 2^32
};
void ParseGzipTrailer(const unsigned char (&bytes)[kGzipTrailerSize], GzipTrailer& trailer);

}  // namespace refengine
