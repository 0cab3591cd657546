// What the codec fuzz targets share: a finding aborts with a line that
// says what differed.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "codec_test_support.h"

namespace codecfuzz {

inline void Require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "codec finding: %s\n", what);
        std::abort();
    }
}

// The bytes both decoders wrote before either stopped agree.
inline bool SamePrefix(const std::string& a, const std::string& b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    return a.compare(0, n, b, 0, n) == 0;
}

// Whole and in pieces the decoder must come to the same answer and bytes.
inline void RequireSameInPieces(const codectest::Decoded& whole, const codectest::Decoded& pieces) {
    Require(!whole.brokeContract && !pieces.brokeContract, "Feed/Finish broke the contract");
    Require(whole.status == pieces.status, "another answer when fed in pieces");
    Require(whole.output == pieces.output, "other bytes when fed in pieces");
    Require(whole.checksumMismatch == pieces.checksumMismatch, "another checksum answer when fed in pieces");
}

}  // namespace codecfuzz
