// Inputs of the shapes a decoder must get right: nothing, one byte, long
// repeats, noise, every byte value, x86 code with calls and jumps, and
// more data than a small dictionary holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace codec_test {

struct Sample {
    std::string name;
    std::string data;
};

std::string RandomBytes(size_t size, uint32_t seed);
// Instruction-like bytes dense in E8/E9 with near and far operands.
std::string X86Like(size_t size, uint32_t seed);
std::string Repetitive(size_t size);
std::string AllByteValues();
// Text-like: words from a small vocabulary.
std::string Words(size_t size, uint32_t seed);

// The small shapes every preset and check is tried on.
std::vector<Sample> SmallSamples();

}  // namespace codec_test
