#include "transfer_decoding.h"

#include <algorithm>

#include "formats/unpack.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

int Base64Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

constexpr uint32_t kDecodeChunk = 16384;

}  // namespace

bool IsBase64Letter(unsigned char c) { return Base64Value(c) >= 0; }

void TransferDecoder::Emit(unsigned char c) { out_[outLength_++] = c; }

bool TransferDecoder::FlushOut(ByteSink& out) {
    uint32_t length = outLength_;
    outLength_ = 0;
    return length == 0 || out.Take(out_, length);
}

void TransferDecoder::FlushQuantum() {
    // Two letters carry one byte, three carry two; one alone carries none.
    if (letters_ >= 2) Emit(static_cast<unsigned char>(bits_ >> (letters_ == 2 ? 4 : 10)));
    if (letters_ == 3) Emit(static_cast<unsigned char>(bits_ >> 2));
    bits_ = letters_ = 0;
}

void TransferDecoder::FeedBase64(unsigned char c) {
    int value = Base64Value(c);
    if (value < 0) {
        if (c == '=' && decoding_ == Decoding::Base64) FlushQuantum();
        return;
    }
    bits_ = bits_ << 6 | static_cast<uint32_t>(value);
    if (++letters_ == 4) {
        Emit(static_cast<unsigned char>(bits_ >> 16));
        Emit(static_cast<unsigned char>(bits_ >> 8));
        Emit(static_cast<unsigned char>(bits_));
        bits_ = letters_ = 0;
    }
}

void TransferDecoder::FeedQuoted(unsigned char c) {
    switch (quoted_) {
        case QuotedState::SoftCr:
            quoted_ = QuotedState::Text;
            if (c == '\n') return;
            break;
        case QuotedState::Equals:
        case QuotedState::EqualsHex: {
            int high = quoted_ == QuotedState::EqualsHex ? HexValue(escape_[1]) : -1;
            if (quoted_ == QuotedState::EqualsHex && HexValue(c) >= 0) {
                Emit(static_cast<unsigned char>(high << 4 | HexValue(c)));
                escapeLength_ = 0;
                quoted_ = QuotedState::Text;
                return;
            }
            if (quoted_ == QuotedState::Equals) {
                if (c == '\n' || c == '\r') {
                    escapeLength_ = 0;
                    quoted_ = c == '\r' ? QuotedState::SoftCr : QuotedState::Text;
                    return;
                }
                if (HexValue(c) >= 0) {
                    escape_[escapeLength_++] = c;
                    quoted_ = QuotedState::EqualsHex;
                    return;
                }
                if (c == ' ' || c == '\t') {
                    escape_[escapeLength_++] = c;
                    quoted_ = QuotedState::EqualsSpace;
                    return;
                }
            }
            // Not an escape: the '=' and what followed it are text.
            quoted_ = QuotedState::Text;
            for (uint32_t i = 0; i < escapeLength_; ++i) Emit(escape_[i]);
            escapeLength_ = 0;
            FeedQuoted(c);
            return;
        }
        case QuotedState::EqualsSpace:
            if (c == ' ' || c == '\t') {
                if (escapeLength_ < sizeof escape_) {
                    escape_[escapeLength_++] = c;
                    return;
                }
            } else if (c == '\n' || c == '\r') {
                // "=" with white space before the line end: a soft break too.
                escapeLength_ = 0;
                quoted_ = c == '\r' ? QuotedState::SoftCr : QuotedState::Text;
                return;
            }
            quoted_ = QuotedState::Text;
            for (uint32_t i = 0; i < escapeLength_; ++i) Emit(escape_[i]);
            escapeLength_ = 0;
            FeedQuoted(c);
            return;
        case QuotedState::Text:
            break;
    }
    if (c == ' ' || c == '\t') {
        if (whiteLength_ == sizeof white_) {
            for (uint32_t i = 0; i < whiteLength_; ++i) Emit(white_[i]);
            whiteLength_ = 0;
        }
        white_[whiteLength_++] = c;
        return;
    }
    // White space at a line's end was added in transport.
    if (c != '\r' && c != '\n') {
        for (uint32_t i = 0; i < whiteLength_; ++i) Emit(white_[i]);
    }
    whiteLength_ = 0;
    if (c == '=') {
        escape_[0] = c;
        escapeLength_ = 1;
        quoted_ = QuotedState::Equals;
        return;
    }
    Emit(c);
}

bool TransferDecoder::Feed(const unsigned char* bytes, uint32_t count, ByteSink& out) {
    for (uint32_t i = 0; i < count; ++i) {
        if (decoding_ == Decoding::QuotedPrintable)
            FeedQuoted(bytes[i]);
        else
            FeedBase64(bytes[i]);
        // Each byte emits at most 70 (a held escape and white run).
        if (outLength_ + 160 > sizeof out_ && !FlushOut(out)) return false;
    }
    return true;
}

bool TransferDecoder::Finish(ByteSink& out) {
    if (decoding_ == Decoding::QuotedPrintable) {
        if (quoted_ != QuotedState::SoftCr)
            for (uint32_t i = 0; i < escapeLength_; ++i) Emit(escape_[i]);
        escapeLength_ = whiteLength_ = 0;
        quoted_ = QuotedState::Text;
    } else {
        FlushQuantum();
    }
    return FlushOut(out);
}

uint32_t DecodeRange(Host& host, ByteSource& source, uint64_t start, uint64_t end, Decoding decoding, ByteSink& out) {
    if (decoding == Decoding::Identity) return CopyStored(host, source, start, end > start ? end - start : 0, out);
    HostBuffer chunk(host, kDecodeChunk);
    if (!chunk) return orlix::ResultUnpackError;
    TransferDecoder decoder(decoding);
    for (uint64_t at = start; at < end;) {
        uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(chunk.size(), end - at));
        int32_t got = source.ReadAt(at, chunk.data(), want);
        if (got == -1) return orlix::ResultReadError;
        if (got == 0) return orlix::ResultUnpackError;
        if (!decoder.Feed(chunk.data(), static_cast<uint32_t>(got), out)) return 0;
        at += static_cast<uint32_t>(got);
    }
    decoder.Finish(out);
    return 0;
}

}  // namespace refengine
