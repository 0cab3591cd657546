// The records of the open signature containers (.cvd, .cld): the 512-byte
// text header and the lines of the .info list inside, each parsed by one
// function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace refengine {

constexpr size_t kContainerHeaderSize = 512;

// ClamAV-VDB:build time:version:signatures:functionality level:MD5:digital
// signature:builder:build seconds, padded with spaces.
struct ContainerHeader {
    std::string buildTime;
    uint32_t version = 0;
    uint32_t signatures = 0;
    uint32_t level = 0;
    std::string md5;        // of the bytes after the header; "X" when not given
    std::string signature;  // the publisher's, over the MD5; not verified here
    std::string builder;
    uint32_t buildSeconds = 0;
};
// False when the block is no container header.
bool ParseContainerHeader(const unsigned char* block, size_t count, ContainerHeader& header);

// One file of the container as its .info list records it: NAME:SIZE:SHA256.
struct InfoEntry {
    std::string name;
    uint64_t size = 0;
    unsigned char sha256[32] = {};
};
enum class InfoLine { Entry, Other, Damaged };
// Other: the list's header line (ClamAV-VDB:...) and its signature line (DSIG:...).
InfoLine ParseInfoLine(const std::string& line, InfoEntry& entry);

// Digests as text (either case) to bytes.
bool ParseHexDigest(const std::string& text, unsigned char* digest, size_t length);

}  // namespace refengine
