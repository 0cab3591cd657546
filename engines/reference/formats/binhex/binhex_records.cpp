#include "binhex_records.h"

#include <cstring>

namespace refengine {
namespace {

const char kAlphabet[] = "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
constexpr unsigned char kRunMarker = 0x90;

int Value(unsigned char c) {
    const char* at = c ? std::strchr(kAlphabet, c) : nullptr;
    return at ? static_cast<int>(at - kAlphabet) : -1;
}

uint32_t Get32Big(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

}  // namespace

uint16_t BinHexCrc(uint16_t crc, const unsigned char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        crc = static_cast<uint16_t>(crc ^ bytes[i] << 8);
        for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

bool ParseBinHexHeader(const unsigned char* bytes, size_t count, BinHexHeader& header) {
    if (count < 1) return false;
    size_t nameLength = bytes[0];
    size_t fields = 1 + nameLength + 1 + 4 + 4 + 2;  // name, version, type, creator, flags
    size_t length = fields + 4 + 4 + 2;
    if (count < length) return false;
    header.name.assign(reinterpret_cast<const char*>(bytes + 1), nameLength);
    header.dataLength = Get32Big(bytes + fields);
    header.resourceLength = Get32Big(bytes + fields + 4);
    uint16_t stored = static_cast<uint16_t>(bytes[length - 2] << 8 | bytes[length - 1]);
    header.crcBad = BinHexCrc(0, bytes, length - 2) != stored;
    header.length = static_cast<uint32_t>(length);
    return true;
}

void BinHexDecoder::Byte(unsigned char byte) {
    if (marker_) {
        marker_ = false;
        if (byte == 0) {
            last_ = kRunMarker;
            haveLast_ = true;
            out_[outLength_++] = kRunMarker;
        } else if (haveLast_) {
            // The count includes the byte already written; a group of three
            // bytes expands to at most two runs.
            for (unsigned i = 1; i < byte; ++i) out_[outLength_++] = last_;
        }
        return;
    }
    if (byte == kRunMarker) {
        marker_ = true;
        return;
    }
    last_ = byte;
    haveLast_ = true;
    out_[outLength_++] = byte;
}

bool BinHexDecoder::Flush(ByteSink& out) {
    uint32_t length = outLength_;
    outLength_ = 0;
    return length == 0 || out.Take(out_, length);
}

BinHexDecoder::State BinHexDecoder::Feed(const unsigned char* text, uint32_t count, ByteSink& out) {
    for (uint32_t i = 0; i < count && state_ == State::Running; ++i) {
        unsigned char c = text[i];
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t') continue;
        if (c == ':') return Finish(out);
        int value = Value(c);
        if (value < 0) {
            state_ = State::Damaged;
            break;
        }
        bits_ = bits_ << 6 | static_cast<uint32_t>(value);
        if (++letters_ == 4) {
            Byte(static_cast<unsigned char>(bits_ >> 16));
            Byte(static_cast<unsigned char>(bits_ >> 8));
            Byte(static_cast<unsigned char>(bits_));
            bits_ = letters_ = 0;
            if (!Flush(out)) state_ = State::Stopped;
        }
    }
    if (state_ == State::Damaged && !Flush(out)) state_ = State::Stopped;
    return state_;
}

BinHexDecoder::State BinHexDecoder::Finish(ByteSink& out) {
    if (state_ != State::Running) return state_;
    if (letters_ >= 2) Byte(static_cast<unsigned char>(bits_ >> (letters_ == 2 ? 4 : 10)));
    if (letters_ == 3) Byte(static_cast<unsigned char>(bits_ >> 2));
    bits_ = letters_ = 0;
    state_ = Flush(out) ? State::Ended : State::Stopped;
    return state_;
}

}  // namespace refengine
