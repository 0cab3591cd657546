#include "mail_writer.h"

#include <cstdint>

namespace {

uint16_t Crc(const std::string& bytes) {
    uint16_t crc = 0;
    for (unsigned char c : bytes) {
        crc = static_cast<uint16_t>(crc ^ c << 8);
        for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

std::string Big(uint32_t value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>(value >> (8 * i) & 0xFF);
    return out;
}

}  // namespace

std::string Base64(const std::string& bytes, size_t lineLength) {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t n = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size()) n |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 2]);
        out += kLetters[n >> 18 & 63];
        out += kLetters[n >> 12 & 63];
        out += i + 1 < bytes.size() ? kLetters[n >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? kLetters[n & 63] : '=';
    }
    std::string lines;
    for (size_t i = 0; i < out.size(); i += lineLength) lines += out.substr(i, lineLength) + "\n";
    return lines;
}

std::string Uuencode(const std::string& name, const std::string& bytes, bool withEnd) {
    std::string out = "begin 644 " + name + "\n";
    auto letter = [](unsigned v) { return static_cast<char>(v ? v + 32 : '`'); };
    for (size_t i = 0; i < bytes.size(); i += 45) {
        std::string chunk = bytes.substr(i, 45);
        out += letter(static_cast<unsigned>(chunk.size()));
        for (size_t k = 0; k < chunk.size(); k += 3) {
            unsigned char b[3] = {};
            for (size_t j = 0; j < 3 && k + j < chunk.size(); ++j) b[j] = static_cast<unsigned char>(chunk[k + j]);
            out += letter(b[0] >> 2);
            out += letter((b[0] & 3) << 4 | b[1] >> 4);
            out += letter((b[1] & 15) << 2 | b[2] >> 6);
            out += letter(b[2] & 63);
        }
        out += "\n";
    }
    return withEnd ? out + "`\nend\n" : out;
}

std::string BinHex(const std::string& name, const std::string& data, const std::string& resource) {
    static const char kLetters[] = "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
    std::string header = std::string(1, static_cast<char>(name.size())) + name + std::string(1, '\0') + "TEXTttxt" +
                         std::string(2, '\0') + Big(static_cast<uint32_t>(data.size()), 4) +
                         Big(static_cast<uint32_t>(resource.size()), 4);
    std::string stream = header + Big(Crc(header), 2) + data + Big(Crc(data), 2) + resource + Big(Crc(resource), 2);
    std::string packed;
    for (char c : stream) packed += c == '\x90' ? std::string("\x90\0", 2) : std::string(1, c);
    std::string text;
    for (size_t i = 0; i < packed.size(); i += 3) {
        uint32_t n = 0;
        size_t group = packed.size() - i < 3 ? packed.size() - i : 3;
        for (size_t k = 0; k < 3; ++k) n = n << 8 | (k < group ? static_cast<unsigned char>(packed[i + k]) : 0u);
        for (size_t k = 0; k <= group; ++k) text += kLetters[n >> (18 - 6 * k) & 63];
    }
    std::string lines;
    for (size_t i = 0; i < text.size(); i += 64) lines += (i ? "\n" : "") + text.substr(i, 64);
    return "(This file must be converted with BinHex 4.0)\n\n:" + lines + ":\n";
}
