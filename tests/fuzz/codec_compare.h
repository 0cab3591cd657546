// What the codec fuzz targets share: our decoder fed in pieces the input
// itself picks, liblzma on the same bytes, and the rule that decides when
// the two disagree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "codecs/codec.h"
#include "liblzma_oracle.h"

namespace fuzz {

constexpr uint64_t kMemoryLimit = uint64_t{64} << 20;
constexpr size_t kOutputLimit = size_t{8} << 20;

struct Ours {
    refengine::CodecStatus status = refengine::CodecStatus::More;
    std::string bytes;
    bool mismatch = false;
};

// Whole, or in pieces of 1 to 13 bytes for a third of the inputs.
Ours DecodeOurs(refengine::StreamDecoder& decoder, const uint8_t* data, size_t size);

// Traps when the two disagree about what a stream holds: one decodes it
// whole and the other does not, or both do to different bytes. Streams
// only we refuse for our own reasons (memory, filters we lack) and
// formats only liblzma refuses (listed by the caller) are not compared.
void Compare(const Ours& ours, const oracle::Result& theirs, bool theirsMayRefuse);

}  // namespace fuzz
