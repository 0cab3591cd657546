#include "sample_data.h"

#include <random>

namespace codec_test {

std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::string out(size, '\0');
    for (char& c : out) c = static_cast<char>(random() & 0xFF);
    return out;
}

std::string X86Like(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::string out;
    while (out.size() < size) {
        uint32_t kind = random() % 8;
        if (kind < 3) {
            // CALL/JMP rel32 to a nearby target: the operand's top byte 00 or FF.
            out.push_back(static_cast<char>(random() & 1 ? 0xE8 : 0xE9));
            int32_t rel = static_cast<int32_t>(random() % 0x20000) - 0x10000;
            for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(static_cast<uint32_t>(rel) >> (8 * i)));
        } else if (kind == 3) {
            // E8/E9 bytes close together, so earlier ones decide about later ones.
            for (int i = 0; i < 3; ++i) out.push_back(static_cast<char>(random() & 1 ? 0xE8 : 0xE9));
            out.push_back(static_cast<char>(random() & 1 ? 0x00 : 0xFF));
            out.push_back(static_cast<char>(random() & 0xFF));
        } else if (kind == 4) {
            out.push_back(static_cast<char>(0xE8));
            for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(random() & 0xFF));
        } else {
            static const char kCommon[] = "\x55\x89\xE5\x83\xEC\x10\x8B\x45\x08\x5D\xC3\x90\x0F\x85";
            out.push_back(kCommon[random() % (sizeof kCommon - 1)]);
        }
    }
    out.resize(size);
    return out;
}

std::string Repetitive(size_t size) {
    std::string out;
    static const char kPattern[] = "orlix repeats itself; ";
    while (out.size() < size) {
        out += kPattern;
        out.append(out.size() % 97, static_cast<char>('a' + out.size() % 26));
    }
    out.resize(size);
    return out;
}

std::string AllByteValues() {
    std::string out;
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 256; ++i) out.push_back(static_cast<char>(round % 2 ? 255 - i : i));
    }
    return out;
}

std::string Words(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"mail", "scan",      "virus", "message", "the",  "attachment", "archive",
                                         "of",   "signature", "clean", "and",     "base", "stream",     "block"};
    std::mt19937 random(seed);
    std::string out;
    while (out.size() < size) {
        out += kWords[random() % (sizeof kWords / sizeof kWords[0])];
        out.push_back(random() % 9 == 0 ? '\n' : ' ');
    }
    out.resize(size);
    return out;
}

std::vector<Sample> SmallSamples() {
    return {
        {"empty", ""},
        {"one byte", "x"},
        {"repetitive", Repetitive(40000)},
        {"random", RandomBytes(6000, 1)},
        {"all byte values", AllByteValues()},
        {"x86 code", X86Like(20000, 2)},
        {"words", Words(30000, 3)},
    };
}

}  // namespace codec_test
