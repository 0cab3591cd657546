#include "codecs/lzma/lzma_decoder.h"

#include <cstring>
#include <new>

namespace refengine {
namespace lzma {

namespace {

// Copies count bytes from back bytes behind pos; the source may overlap
// the destination and may wrap around the buffer's end.
inline void CopyMatch(unsigned char* dict, uint32_t size, uint32_t pos, uint32_t back, uint32_t count) {
    unsigned char* dest = dict + pos;
    if (back <= pos) {
        const unsigned char* src = dest - back;
        if (back >= count && count > 8) {
            std::memcpy(dest, src, count);
        } else {
            for (uint32_t i = 0; i < count; ++i) dest[i] = src[i];
        }
        return;
    }
    uint32_t src = pos + size - back;
    for (uint32_t i = 0; i < count; ++i) {
        dest[i] = dict[src];
        if (++src == size) src = 0;
    }
}

inline uint32_t Grow(uint32_t full, uint32_t size, uint32_t count) {
    return size - full <= count ? size : full + count;
}

}  // namespace

LzmaDecoder::LzmaDecoder(uint64_t memoryLimit) : memoryLimit_(memoryLimit) {}

bool LzmaDecoder::ReserveLiterals(const LzmaProperties& props) {
    uint32_t count = LiteralProbabilityCount(props);
    if (count <= literalCapacity_) return true;
    literals_.reset();
    literalCapacity_ = 0;
    literals_.reset(new (std::nothrow) Probability[count]);
    if (!literals_) return false;
    literalCapacity_ = count;
    return true;
}

bool LzmaDecoder::Configure(uint32_t dictionarySize, const LzmaProperties& props) {
    uint64_t need = LzWindow::BytesFor(dictionarySize) + uint64_t{LiteralProbabilityCount(props)} * sizeof(Probability);
    if (need > memoryLimit_) return false;
    if (!window_.Reserve(dictionarySize) || !ReserveLiterals(props)) return false;
    props_ = props;
    ResetState();
    return true;
}

bool LzmaDecoder::SetProperties(const LzmaProperties& props) {
    uint64_t need = uint64_t{window_.size} + uint64_t{LiteralProbabilityCount(props)} * sizeof(Probability);
    if (need > memoryLimit_ || !ReserveLiterals(props)) return false;
    props_ = props;
    ResetState();
    return true;
}

void LzmaDecoder::ResetState() {
    models_.Reset();
    ResetProbabilities(literals_.get(), LiteralProbabilityCount(props_));
    state_ = 0;
    rep0_ = rep1_ = rep2_ = rep3_ = 0;
    pendingLength_ = 0;
}

void LzmaDecoder::ResetWindow() {
    window_.Reset();
    ResetState();
}

void LzmaDecoder::StartRun(uint64_t outputSize, bool markerAfterSize) {
    rc_ = RangeState();
    initBytesLeft_ = kRangeInitBytes;
    remaining_ = outputSize;
    markerAfterSize_ = markerAfterSize && outputSize != kUnknownSize;
    trailingMarker_ = false;
    pendingLength_ = 0;
    tempLength_ = 0;
    outcome_ = LzmaResult::NeedInput;
}

LzmaResult LzmaDecoder::Finish(LzmaResult result, ByteSink& out) {
    outcome_ = result;
    if (result == LzmaResult::Damaged || result == LzmaResult::Truncated) {
        // What the failing symbol wrote is not data; what came before it is.
        window_.pos = symbolStart_;
    }
    if (!window_.Flush(out) && result == LzmaResult::Done) outcome_ = LzmaResult::Stopped;
    if (outcome_ == LzmaResult::Stopped && window_.outOfMemory()) outcome_ = LzmaResult::TooLarge;
    return outcome_;
}

void LzmaDecoder::CopyPending(uint32_t limit) {
    uint32_t room = limit - window_.pos;
    uint32_t count = pendingLength_ < room ? pendingLength_ : room;
    CopyMatch(window_.data(), window_.size, window_.pos, rep0_ + 1, count);
    window_.pos += count;
    window_.Advance(count);
    pendingLength_ -= count;
    if (remaining_ != kUnknownSize) remaining_ -= count;
}

LzmaResult LzmaDecoder::Decode(const unsigned char* in, size_t count, bool last, size_t* used, ByteSink& out) {
    *used = 0;
    if (outcome_ != LzmaResult::NeedInput) return outcome_;
    symbolStart_ = window_.pos;
    while (initBytesLeft_ > 0) {
        if (*used == count) return last ? Finish(LzmaResult::Truncated, out) : LzmaResult::NeedInput;
        unsigned char byte = in[(*used)++];
        if (initBytesLeft_ == kRangeInitBytes && byte != 0) return Finish(LzmaResult::Damaged, out);
        rc_.code = (rc_.code << 8) | byte;
        --initBytesLeft_;
    }
    for (;;) {
        if (window_.NeedsFlush() && !window_.Flush(out)) return Finish(LzmaResult::Stopped, out);
        symbolStart_ = window_.pos;
        uint32_t limit = window_.Limit();
        if (remaining_ < limit - window_.pos) limit = window_.pos + static_cast<uint32_t>(remaining_);
        if (pendingLength_ > 0) {
            // A match may not run past the run's size.
            if (remaining_ == 0) return Finish(LzmaResult::Damaged, out);
            CopyPending(limit);
            continue;
        }
        if (remaining_ == 0 && !trailingMarker_) {
            if (rc_.code == 0) return Finish(LzmaResult::Done, out);
            if (!markerAfterSize_) return Finish(LzmaResult::Damaged, out);
            trailingMarker_ = true;
        }

        size_t avail = count - *used;
        uint32_t before = window_.pos;
        Stop stop;
        if (tempLength_ == 0 && (avail >= kMaxSymbolInput || last)) {
            // Straight from the caller's buffer while a whole symbol is sure to be there.
            rc_.in = in + *used;
            rc_.end = in + count;
            NoJournal none;
            stop = Step(last ? rc_.end : rc_.end - kMaxSymbolInput, limit, false, &none);
            *used = static_cast<size_t>(rc_.in - in);
        } else {
            // Too little for certain: try the symbol on what there is and
            // take it back if the input ran out inside it.
            size_t take = kMaxSymbolInput - tempLength_;
            if (take > avail) take = avail;
            if (take > 0) std::memcpy(temp_ + tempLength_, in + *used, take);
            uint32_t old = tempLength_;
            uint32_t have = old + static_cast<uint32_t>(take);
            Snapshot snapshot;
            Save(&snapshot, limit);
            ProbabilityJournal journal;
            rc_.in = temp_;
            rc_.end = temp_ + have;
            stop = Step(rc_.end, limit, true, &journal);
            if (journal.full()) return Finish(LzmaResult::Damaged, out);
            if (rc_.overrun && !last && have < kMaxSymbolInput) {
                journal.Undo();
                Restore(snapshot);
                tempLength_ = have;
                *used += take;
                if (!window_.Flush(out)) return Finish(LzmaResult::Stopped, out);
                return LzmaResult::NeedInput;
            }
            uint32_t consumed = static_cast<uint32_t>(rc_.in - temp_);
            if (consumed >= old) {
                // The rest of temp_ is still in the caller's buffer: read it from there.
                *used += consumed - old;
                tempLength_ = 0;
            } else {
                std::memmove(temp_, temp_ + consumed, have - consumed);
                tempLength_ = have - consumed;
                *used += take;
            }
        }
        rc_.in = nullptr;
        rc_.end = nullptr;
        if (rc_.overrun) return Finish(last ? LzmaResult::Truncated : LzmaResult::Damaged, out);
        if (remaining_ != kUnknownSize) remaining_ -= window_.pos - before;
        if (stop == Stop::Error) return Finish(LzmaResult::Damaged, out);
        if (stop == Stop::Marker) {
            symbolStart_ = window_.pos;
            // The marker ends a run of unknown size, or one of known size
            // exactly at its size where that is allowed; never elsewhere.
            bool placed = remaining_ == kUnknownSize || trailingMarker_;
            return Finish(placed && rc_.code == 0 ? LzmaResult::Done : LzmaResult::Damaged, out);
        }
    }
}

void LzmaDecoder::Save(Snapshot* s, uint32_t limit) {
    s->rc = rc_;
    s->state = state_;
    s->rep0 = rep0_;
    s->rep1 = rep1_;
    s->rep2 = rep2_;
    s->rep3 = rep3_;
    s->pending = pendingLength_;
    s->pos = window_.pos;
    s->full = window_.full;
    s->total = window_.total;
    // The bytes a symbol may overwrite can still be history a later match reads.
    s->saved = limit - window_.pos < kMaxMatch ? limit - window_.pos : kMaxMatch;
    std::memcpy(s->bytes, window_.data() + window_.pos, s->saved);
}

void LzmaDecoder::Restore(const Snapshot& s) {
    rc_ = s.rc;
    state_ = s.state;
    rep0_ = s.rep0;
    rep1_ = s.rep1;
    rep2_ = s.rep2;
    rep3_ = s.rep3;
    pendingLength_ = s.pending;
    window_.pos = s.pos;
    window_.full = s.full;
    window_.total = s.total;
    std::memcpy(window_.data() + s.pos, s.bytes, s.saved);
}

template <class Journal>
LzmaDecoder::Stop LzmaDecoder::DecodeTrailingMarker(Journal* journal) {
    BasicRangeDecoder<Journal> rc(rc_, journal);
    uint32_t posState = window_.total & ((1u << props_.pb) - 1);
    Stop stop = Stop::Error;
    if (rc.Bit(&models_.isMatch[state_][posState]) == 1 && rc.Bit(&models_.isRep[state_]) == 0) {
        uint32_t length = DecodeLength(rc, models_.matchLength, posState);
        if (DecodeDistance(rc, models_, length) == kEndMarkerDistance) stop = Stop::Marker;
    }
    rc_ = rc;
    return stop;
}

template <class Journal>
LzmaDecoder::Stop LzmaDecoder::DecodeSymbols(const unsigned char* safeEnd, uint32_t limit, bool single,
                                             Journal* journal) {
    // Everything the loop touches lives in locals, so that stores into the
    // window cannot force it to reload them.
    BasicRangeDecoder<Journal> rc(rc_, journal);
    LzmaModels& m = models_;
    Probability* const literals = literals_.get();
    unsigned char* const dict = window_.data();
    const uint32_t size = window_.size;
    const uint32_t pbMask = (1u << props_.pb) - 1;
    const uint32_t lpMask = (1u << props_.lp) - 1;
    const uint32_t lc = props_.lc;
    uint32_t pos = window_.pos;
    uint32_t full = window_.full;
    uint32_t total = window_.total;
    uint32_t state = state_;
    uint32_t rep0 = rep0_, rep1 = rep1_, rep2 = rep2_, rep3 = rep3_;
    uint32_t pending = 0;
    uint32_t symbolStart = pos;
    Stop stop = Stop::Go;

    do {
        if (pos >= limit || rc.in > safeEnd || rc.overrun) break;
        symbolStart = pos;
        const uint32_t posState = total & pbMask;
        if (rc.Bit(&m.isMatch[state][posState]) == 0) {
            uint32_t previous = full != 0 ? dict[(pos != 0 ? pos : size) - 1] : 0;
            Probability* probs = literals + 0x300u * (((total & lpMask) << lc) + (previous >> (8 - lc)));
            uint32_t symbol = 1;
            if (state < 7) {
                do symbol = (symbol << 1) | rc.Bit(&probs[symbol]);
                while (symbol < 0x100);
            } else {
                // After a match the literal is coded against the byte at rep0
                // until the first bit where they differ.
                uint32_t back = rep0 + 1;
                uint32_t matchByte = dict[pos >= back ? pos - back : pos + size - back];
                do {
                    uint32_t matchBit = (matchByte >> 7) & 1;
                    matchByte <<= 1;
                    uint32_t bit = rc.Bit(&probs[((1 + matchBit) << 8) + symbol]);
                    symbol = (symbol << 1) | bit;
                    if (bit != matchBit) break;
                } while (symbol < 0x100);
                while (symbol < 0x100) symbol = (symbol << 1) | rc.Bit(&probs[symbol]);
            }
            dict[pos++] = static_cast<unsigned char>(symbol);
            ++total;
            if (full < size) ++full;
            state = state < 4 ? 0 : (state < 10 ? state - 3 : state - 6);
            continue;
        }

        uint32_t lengthSymbol;
        if (rc.Bit(&m.isRep[state]) == 0) {
            lengthSymbol = DecodeLength(rc, m.matchLength, posState);
            uint32_t distance = DecodeDistance(rc, m, lengthSymbol);
            if (distance == kEndMarkerDistance) {
                stop = Stop::Marker;
                break;
            }
            rep3 = rep2;
            rep2 = rep1;
            rep1 = rep0;
            rep0 = distance;
            state = state < 7 ? 7 : 10;
        } else {
            if (rc.Bit(&m.isRepG0[state]) == 0) {
                if (rc.Bit(&m.isRep0Long[state][posState]) == 0) {
                    // One byte from rep0.
                    if (rep0 >= full) {
                        stop = Stop::Error;
                        break;
                    }
                    state = state < 7 ? 9 : 11;
                    uint32_t back = rep0 + 1;
                    dict[pos] = dict[pos >= back ? pos - back : pos + size - back];
                    ++pos;
                    ++total;
                    if (full < size) ++full;
                    continue;
                }
            } else {
                uint32_t distance;
                if (rc.Bit(&m.isRepG1[state]) == 0) {
                    distance = rep1;
                } else {
                    if (rc.Bit(&m.isRepG2[state]) == 0) {
                        distance = rep2;
                    } else {
                        distance = rep3;
                        rep3 = rep2;
                    }
                    rep2 = rep1;
                }
                rep1 = rep0;
                rep0 = distance;
            }
            lengthSymbol = DecodeLength(rc, m.repLength, posState);
            state = state < 7 ? 8 : 11;
        }
        if (rep0 >= full) {
            stop = Stop::Error;
            break;
        }
        uint32_t length = lengthSymbol + kMinMatch;
        uint32_t count = limit - pos < length ? limit - pos : length;
        CopyMatch(dict, size, pos, rep0 + 1, count);
        pos += count;
        total += count;
        full = Grow(full, size, count);
        pending = length - count;
    } while (!single);

    rc_ = rc;
    window_.pos = pos;
    window_.full = full;
    window_.total = total;
    state_ = state;
    rep0_ = rep0;
    rep1_ = rep1;
    rep2_ = rep2;
    rep3_ = rep3;
    pendingLength_ = pending;
    symbolStart_ = symbolStart;
    return stop;
}

}  // namespace lzma
}  // namespace refengine
