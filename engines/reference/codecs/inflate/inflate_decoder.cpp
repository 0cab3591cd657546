#include "inflate_decoder.h"

namespace refengine {

namespace {
// The order in which a dynamic block lists its code-length code's lengths.
const uint8_t kLengthCodeOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// A Huffman code a block may use: complete, or a single one-bit code
// (a block with one distance), or for distances none at all.
bool Usable(HuffmanCode::Shape shape, const HuffmanCode& code, bool mayBeEmpty) {
    switch (shape) {
        case HuffmanCode::Shape::Complete:
            return true;
        case HuffmanCode::Shape::Incomplete:
            return code.maxLength() == 1;
        case HuffmanCode::Shape::Empty:
            return mayBeEmpty;
        case HuffmanCode::Shape::Oversubscribed:
            return false;
    }
    return false;
}
}  // namespace

InflateDecoder::InflateDecoder(InflateFormat format, size_t memoryLimit) : format_(format), memoryLimit_(memoryLimit) {
    for (unsigned i = 0; i < kInflateLengthSymbols; ++i) {
        InflateLength(format, kInflateFirstLength + i, &lengthValue_[i]);
    }
    for (unsigned i = 0; i < kInflateDistanceSymbols; ++i) {
        if (InflateDistance(format, i, &distanceValue_[i])) distanceDefined_ = i + 1;
    }
}

CodecStatus InflateDecoder::Fail(CodecStatus status) {
    item_ = Item::Over;
    final_ = status;
    return status;
}

CodecStatus InflateDecoder::Feed(const unsigned char* in, size_t count, size_t* used, ByteSink& out) {
    *used = 0;
    if (item_ == Item::Over) return final_;
    if (!window_.allocated()) {
        if (MemoryFor(format_) > memoryLimit_ || !window_.Allocate(InflateWindowSize(format_))) {
            return Fail(CodecStatus::TooLarge);
        }
    }
    bits_.Attach(in, count);
    CodecStatus status = Run(out, false);
    *used = status == CodecStatus::More ? count : bits_.consumed();
    bits_.Attach(nullptr, 0);
    return status;
}

CodecStatus InflateDecoder::Finish(ByteSink& out) {
    if (item_ == Item::Over) return final_;
    if (!window_.allocated()) return Fail(CodecStatus::Truncated);
    bits_.Attach(nullptr, 0);
    return Run(out, true);
}

CodecStatus InflateDecoder::Run(ByteSink& out, bool finishing) {
    for (;;) {
        bool stopped = false;
        ParseStep step = Next(out, &stopped);
        if (stopped) return Fail(CodecStatus::Stopped);
        switch (step) {
            case ParseStep::Done:
                if (item_ != Item::Over) continue;
                bits_.GiveBack();
                if (!window_.Flush(out)) return Fail(CodecStatus::Stopped);
                return Fail(CodecStatus::End);
            case ParseStep::NeedInput:
                // What was decoded goes on before more input is asked for.
                if (!window_.Flush(out)) return Fail(CodecStatus::Stopped);
                return finishing ? Fail(CodecStatus::Truncated) : CodecStatus::More;
            case ParseStep::Damaged:
            case ParseStep::Unsupported:
                // A sink that refuses what came before the damage stopped
                // first, as it would have with the input in smaller pieces.
                if (!window_.Flush(out)) return Fail(CodecStatus::Stopped);
                return Fail(CodecStatus::Damaged);
        }
    }
}

ParseStep InflateDecoder::Next(ByteSink& out, bool* stopped) {
    switch (item_) {
        case Item::Header:
            return Header();
        case Item::StoredLengths: {
            if (!bits_.Have(32)) return ParseStep::NeedInput;
            uint32_t length = bits_.Take(16);
            uint32_t check = bits_.Take(16);
            if ((length ^ 0xffffu) != check) return ParseStep::Damaged;
            storedLeft_ = length;
            item_ = Item::Stored;
            return ParseStep::Done;
        }
        case Item::Stored:
            return Stored(out, stopped);
        case Item::Counts: {
            if (!bits_.Have(14)) return ParseStep::NeedInput;
            literalCount_ = bits_.Take(5) + 257;
            distanceCount_ = bits_.Take(5) + 1;
            lengthCodeCount_ = bits_.Take(4) + 4;
            if (literalCount_ > kInflateMaxLiteralLengths || distanceCount_ > distanceDefined_) {
                return ParseStep::Damaged;
            }
            lengthsRead_ = 0;
            for (unsigned i = 0; i < 19; ++i) lengths_[i] = 0;
            item_ = Item::CodeLengthCode;
            return ParseStep::Done;
        }
        case Item::CodeLengthCode:
            return CodeLengthCode();
        case Item::CodeLengths:
            return CodeLengths();
        case Item::Codes:
            return Codes(out, stopped);
        case Item::Distance:
            return Distance(out, stopped);
        case Item::Over:
            return ParseStep::Done;
    }
    return ParseStep::Damaged;
}

ParseStep InflateDecoder::Header() {
    if (!bits_.Have(3)) return ParseStep::NeedInput;
    lastBlock_ = bits_.Take(1) != 0;
    switch (bits_.Take(2)) {
        case 0:
            bits_.AlignToByte();
            item_ = Item::StoredLengths;
            return ParseStep::Done;
        case 1:
            if (!fixed_) {
                uint8_t literal[kInflateFixedLiteralLengths];
                uint8_t distance[kInflateDistanceSymbols];
                InflateFixedLengths(literal, distance);
                literals_.Build(literal, kInflateFixedLiteralLengths, BitOrder::LsbFirst);
                distances_.Build(distance, kInflateDistanceSymbols, BitOrder::LsbFirst);
                noDistances_ = false;
                fixed_ = true;
            }
            item_ = Item::Codes;
            return ParseStep::Done;
        case 2:
            item_ = Item::Counts;
            return ParseStep::Done;
        default:
            return ParseStep::Damaged;
    }
}

ParseStep InflateDecoder::Stored(ByteSink& out, bool* stopped) {
    while (storedLeft_ > 0) {
        if (bits_.bytesInHand() > 0) {
            --storedLeft_;
            if (!window_.Put((unsigned char)bits_.Take(8), out)) {
                *stopped = true;
                return ParseStep::Done;
            }
            continue;
        }
        if (!bits_.inputLeft()) return ParseStep::NeedInput;
        uint32_t room;
        unsigned char* to = window_.space(&room);
        uint32_t n = uint32_t(bits_.TakeBytes(to, room < storedLeft_ ? room : storedLeft_));
        storedLeft_ -= n;
        if (!window_.Commit(n, out)) {
            *stopped = true;
            return ParseStep::Done;
        }
    }
    item_ = lastBlock_ ? Item::Over : Item::Header;
    return ParseStep::Done;
}

ParseStep InflateDecoder::CodeLengthCode() {
    while (lengthsRead_ < lengthCodeCount_) {
        if (!bits_.Have(3)) return ParseStep::NeedInput;
        lengths_[kLengthCodeOrder[lengthsRead_++]] = uint8_t(bits_.Take(3));
    }
    // This one code must be complete.
    if (lengthCode_.Build(lengths_, 19, BitOrder::LsbFirst) != HuffmanCode::Shape::Complete) return ParseStep::Damaged;
    lengthsRead_ = 0;
    item_ = Item::CodeLengths;
    return ParseStep::Done;
}

ParseStep InflateDecoder::CodeLengths() {
    const unsigned total = literalCount_ + distanceCount_;
    while (lengthsRead_ < total) {
        bits_.Refill();
        unsigned symbol;
        int used = lengthCode_.Decode(bits_.Peek32(), bits_.available(), &symbol);
        if (used < 0) return ParseStep::Damaged;
        if (used == 0) return ParseStep::NeedInput;
        if (symbol < 16) {
            bits_.Drop(unsigned(used));
            lengths_[lengthsRead_++] = uint8_t(symbol);
            continue;
        }
        // 16 repeats the last length 3-6 times, 17 and 18 give 3-10 and 11-138 zeros.
        unsigned extra = symbol == 16 ? 2 : symbol == 17 ? 3 : 7;
        if (unsigned(used) + extra > bits_.available()) return ParseStep::NeedInput;
        bits_.Drop(unsigned(used));
        unsigned times = bits_.Take(extra) + (symbol == 18 ? 11 : 3);
        uint8_t length = 0;
        if (symbol == 16) {
            if (lengthsRead_ == 0) return ParseStep::Damaged;
            length = lengths_[lengthsRead_ - 1];
        }
        if (times > total - lengthsRead_) return ParseStep::Damaged;
        while (times-- > 0) lengths_[lengthsRead_++] = length;
    }
    // A block without an end-of-block code could never end.
    if (lengths_[kInflateEndOfBlock] == 0) return ParseStep::Damaged;
    fixed_ = false;
    if (!Usable(literals_.Build(lengths_, literalCount_, BitOrder::LsbFirst), literals_, false)) {
        return ParseStep::Damaged;
    }
    HuffmanCode::Shape distanceShape = distances_.Build(lengths_ + literalCount_, distanceCount_, BitOrder::LsbFirst);
    if (!Usable(distanceShape, distances_, true)) return ParseStep::Damaged;
    noDistances_ = distanceShape == HuffmanCode::Shape::Empty;
    item_ = Item::Codes;
    return ParseStep::Done;
}

ParseStep InflateDecoder::Codes(ByteSink& out, bool* stopped) {
    for (;;) {
        bits_.Refill();
        unsigned symbol;
        int used = literals_.Decode(bits_.Peek32(), bits_.available(), &symbol);
        if (used <= 0) return used == 0 ? ParseStep::NeedInput : ParseStep::Damaged;
        if (symbol < kInflateEndOfBlock) {
            bits_.Drop(unsigned(used));
            if (!window_.Put((unsigned char)symbol, out)) {
                *stopped = true;
                return ParseStep::Done;
            }
            continue;
        }
        if (symbol == kInflateEndOfBlock) {
            bits_.Drop(unsigned(used));
            item_ = lastBlock_ ? Item::Over : Item::Header;
            return ParseStep::Done;
        }
        unsigned index = symbol - kInflateFirstLength;
        if (index >= kInflateLengthSymbols) return ParseStep::Damaged;
        const InflateSymbolValue& value = lengthValue_[index];
        if (unsigned(used) + value.extraBits > bits_.available()) return ParseStep::NeedInput;
        bits_.Drop(unsigned(used));
        matchLength_ = value.base + bits_.Take(value.extraBits);
        item_ = Item::Distance;
        ParseStep step = Distance(out, stopped);
        if (step != ParseStep::Done || *stopped) return step;
    }
}

ParseStep InflateDecoder::Distance(ByteSink& out, bool* stopped) {
    if (noDistances_) return ParseStep::Damaged;
    bits_.Refill();
    unsigned symbol;
    int used = distances_.Decode(bits_.Peek32(), bits_.available(), &symbol);
    if (used <= 0) return used == 0 ? ParseStep::NeedInput : ParseStep::Damaged;
    if (symbol >= distanceDefined_) return ParseStep::Damaged;
    const InflateSymbolValue& value = distanceValue_[symbol];
    if (unsigned(used) + value.extraBits > bits_.available()) return ParseStep::NeedInput;
    bits_.Drop(unsigned(used));
    uint32_t distance = value.base + bits_.Take(value.extraBits);
    if (distance > window_.reach()) return ParseStep::Damaged;
    item_ = Item::Codes;
    if (!window_.Copy(distance, matchLength_, out)) *stopped = true;
    return ParseStep::Done;
}

}  // namespace refengine
