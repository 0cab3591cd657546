#include "container_records.h"

#include <cstring>
#include <vector>

namespace refengine {
namespace {

std::vector<std::string> Split(const std::string& text, size_t most) {
    std::vector<std::string> fields;
    size_t from = 0;
    for (;;) {
        size_t colon = text.find(':', from);
        if (colon == std::string::npos || fields.size() + 1 == most) {
            fields.push_back(text.substr(from));
            return fields;
        }
        fields.push_back(text.substr(from, colon - from));
        from = colon + 1;
    }
}

bool Number(const std::string& text, uint64_t limit, uint64_t& value) {
    if (text.empty() || text.size() > 19) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value <= limit;
}

bool Number32(const std::string& text, uint32_t& value) {
    uint64_t v = 0;
    if (!Number(text, 0xFFFFFFFFu, v)) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool ParseHexDigest(const std::string& text, unsigned char* digest, size_t length) {
    if (text.size() != 2 * length) return false;
    for (size_t i = 0; i < length; ++i) {
        int high = Hex(text[2 * i]), low = Hex(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        digest[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

bool ParseContainerHeader(const unsigned char* block, size_t count, ContainerHeader& header) {
    static const char kMagic[] = "ClamAV-VDB:";
    if (count < kContainerHeaderSize || std::memcmp(block, kMagic, sizeof kMagic - 1) != 0) return false;
    std::string text(reinterpret_cast<const char*>(block), kContainerHeaderSize);
    const size_t end = text.find_last_not_of(std::string(" \0\r\n", 4));
    text.resize(end == std::string::npos ? 0 : end + 1);
    if (text.find('\0') != std::string::npos) return false;
    std::vector<std::string> f = Split(text, 16);
    if (f.size() < 9) return false;
    header = ContainerHeader();
    header.buildTime = f[1];
    header.md5 = f[5];
    header.signature = f[6];
    header.builder = f[7];
    return Number32(f[2], header.version) && Number32(f[3], header.signatures) && Number32(f[4], header.level) &&
           Number32(f[8], header.buildSeconds);
}

InfoLine ParseInfoLine(const std::string& raw, InfoEntry& entry) {
    std::string line = raw;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty() || line.compare(0, 11, "ClamAV-VDB:") == 0 || line.compare(0, 5, "DSIG:") == 0)
        return InfoLine::Other;
    std::vector<std::string> f = Split(line, 4);
    if (f.size() != 3 || f[0].empty()) return InfoLine::Damaged;
    entry.name = f[0];
    if (!Number(f[1], ~0ull >> 1, entry.size) || !ParseHexDigest(f[2], entry.sha256, 32)) return InfoLine::Damaged;
    return InfoLine::Entry;
}

}  // namespace refengine
