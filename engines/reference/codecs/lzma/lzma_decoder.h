// The LZMA decoder proper: range-coded symbols into a sliding window. It
// is driven in runs: each run starts a fresh range coder and ends at a
// known output size or at the end marker. LZMA2 strings several runs over
// one window; the .lzma format has one. Input may stop at any byte: what
// one symbol needs is kept between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/codec.h"
#include "codecs/lzma/lz_window.h"
#include "codecs/lzma/lzma_models.h"
#include "codecs/lzma/lzma_properties.h"
#include "codecs/lzma/range_decoder.h"

namespace refengine {
namespace lzma {

enum class LzmaResult {
    NeedInput,  // all input taken, the run goes on
    Done,       // the run reached its size or its end marker
    Damaged,
    Truncated,  // the last input ended inside a symbol
    Stopped,    // the sink refused bytes
    TooLarge,   // the window could not grow to its size
};

class LzmaDecoder {
public:
    static constexpr uint64_t kUnknownSize = UINT64_MAX;
    static constexpr uint32_t kMaxMatch = 273;

    // memoryLimit bounds the window and the literal coders together.
    explicit LzmaDecoder(uint64_t memoryLimit);
    LzmaDecoder(const LzmaDecoder&) = delete;
    LzmaDecoder& operator=(const LzmaDecoder&) = delete;

    // A window for this dictionary size and coders for these properties,
    // both reset. False when they would pass the memory limit.
    bool Configure(uint32_t dictionarySize, const LzmaProperties& props);
    // New properties over the same window; resets the state. False past
    // the memory limit.
    bool SetProperties(const LzmaProperties& props);
    // Probabilities, state and repeated distances to their start.
    void ResetState();
    // Forgets the history (the state goes with it).
    void ResetWindow();

    // Starts a range-coded run producing outputSize bytes (kUnknownSize:
    // up to the end marker). markerAfterSize lets a known-size run also
    // end with the marker right after its last byte.
    void StartRun(uint64_t outputSize, bool markerAfterSize);
    // Decodes from in. last: no more input belongs to this run. *used
    // counts bytes taken, also those kept for the next call.
    LzmaResult Decode(const unsigned char* in, size_t count, bool last, size_t* used, ByteSink& out);
    // Bytes taken but not yet decoded (only after Done can they remain).
    uint32_t bufferedInput() const { return tempLength_; }

    // Stored bytes straight into the history (LZMA2's uncompressed chunks).
    bool AppendStored(const unsigned char* bytes, size_t count, ByteSink& out) {
        return window_.Append(bytes, count, out);
    }
    // The window could not grow to its dictionary size.
    bool outOfMemory() const { return window_.outOfMemory(); }

private:
    enum class Stop { Go, Marker, Error };

    // What one symbol may change besides probabilities, to take it back.
    struct Snapshot {
        RangeState rc;
        uint32_t state, rep0, rep1, rep2, rep3, pending;
        uint32_t pos, full, total;
        uint32_t saved;  // window bytes kept from pos on
        unsigned char bytes[kMaxMatch];
    };
    void Save(Snapshot* s, uint32_t limit);
    void Restore(const Snapshot& s);

    template <class Journal>
    Stop DecodeSymbols(const unsigned char* safeEnd, uint32_t limit, bool single, Journal* journal);
    template <class Journal>
    Stop DecodeTrailingMarker(Journal* journal);
    template <class Journal>
    Stop Step(const unsigned char* safeEnd, uint32_t limit, bool single, Journal* journal) {
        return trailingMarker_ ? DecodeTrailingMarker(journal) : DecodeSymbols(safeEnd, limit, single, journal);
    }
    void CopyPending(uint32_t limit);
    bool ReserveLiterals(const LzmaProperties& props);
    LzmaResult Finish(LzmaResult result, ByteSink& out);

    uint64_t memoryLimit_;
    LzWindow window_;
    LzmaModels models_;
    std::unique_ptr<Probability[]> literals_;
    uint32_t literalCapacity_ = 0;
    LzmaProperties props_;

    RangeState rc_;
    uint32_t initBytesLeft_ = 0;
    uint32_t state_ = 0;
    uint32_t rep0_ = 0, rep1_ = 0, rep2_ = 0, rep3_ = 0;
    uint32_t pendingLength_ = 0;  // match bytes still to copy once the window has room
    uint64_t remaining_ = kUnknownSize;
    bool markerAfterSize_ = false;
    bool trailingMarker_ = false;                 // the size is reached; only the end marker may follow
    uint32_t symbolStart_ = 0;                    // where the last symbol began writing
    LzmaResult outcome_ = LzmaResult::NeedInput;  // sticky once the run ended or failed

    unsigned char temp_[kMaxSymbolInput];
    uint32_t tempLength_ = 0;
};

}  // namespace lzma
}  // namespace refengine
