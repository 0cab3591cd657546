#include "object_type.h"

#include <cstring>

namespace refengine {
namespace {

struct Magic {
    const char* bytes;
    size_t length;
    ObjectType type;
};

#define MAGIC(text, type) \
    { text, sizeof(text) - 1, ObjectType::type }
const Magic kMagics[] = {
    MAGIC("MZ", Pe),
    MAGIC("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", Ole2),
    MAGIC("\x7F"
          "ELF",
          Elf),
    MAGIC("\xFE\xED\xFA\xCE", MachO),
    MAGIC("\xFE\xED\xFA\xCF", MachO),
    MAGIC("\xCE\xFA\xED\xFE", MachO),
    MAGIC("\xCF\xFA\xED\xFE", MachO),
    MAGIC("GIF8", Graphics),
    MAGIC("\x89PNG", Graphics),
    MAGIC("\xFF\xD8\xFF", Graphics),
    MAGIC("BM", Graphics),
    MAGIC("II*\0", Graphics),
    MAGIC("MM\0*", Graphics),
    MAGIC("\0\0\0\x0CjP  \r\n\x87\n", Graphics),
    MAGIC("%PDF-", Pdf),
    // Mail: the header fields a stored message starts with.
    MAGIC("From ", Mail),
    MAGIC("From: ", Mail),
    MAGIC(">From ", Mail),
    MAGIC("Received: ", Mail),
    MAGIC("Return-Path: ", Mail),
    MAGIC("Return-path: ", Mail),
    MAGIC("Delivered-To: ", Mail),
    MAGIC("Envelope-to: ", Mail),
    MAGIC("Date: ", Mail),
    MAGIC("Subject: ", Mail),
    MAGIC("To: ", Mail),
    MAGIC("Message-ID: ", Mail),
    MAGIC("Message-Id: ", Mail),
    MAGIC("X-UIDL: ", Mail),
    MAGIC("X-Apparently-To: ", Mail),
    MAGIC("X-Envelope-From: ", Mail),
    MAGIC("X-Original-To: ", Mail),
    MAGIC("X-Real-To: ", Mail),
    MAGIC("X-Sieve: ", Mail),
    MAGIC("X-Symantec-", Mail),
    MAGIC("X-EVS", Mail),
};
#undef MAGIC
constexpr size_t kLongestMagic = 17;

// A PDF header later than the start: "%PDF-", one byte, '.', all within
// the first kPdfWindow bytes.
constexpr size_t kPdfWindow = 1024;
constexpr size_t kPdfMarker = 7;

bool LaterPdfHeader(const unsigned char* head, size_t count) {
    const size_t end = count < kPdfWindow ? count : kPdfWindow;
    for (size_t i = 0; i + kPdfMarker <= end; ++i) {
        if (head[i] == '%' && std::memcmp(head + i, "%PDF-", 5) == 0 && head[i + 6] == '.') return true;
    }
    return false;
}

}  // namespace

bool KnownTarget(uint32_t target) {
    switch (target) {
        case 0:
        case 1:
        case 2:
        case 4:
        case 5:
        case 6:
        case 9:
        case 10:
            return true;
        default:
            return false;
    }
}

bool ProbeHead(const unsigned char* head, size_t count, uint64_t size, bool final, ObjectHead& out) {
    if (final) size = count;
    if (count < kLongestMagic && count < size) return false;
    out = ObjectHead();
    for (const Magic& m : kMagics) {
        if (count >= m.length && std::memcmp(head, m.bytes, m.length) == 0) {
            out.type = m.type;
            break;
        }
    }
    if (out.type == ObjectType::Pe) {
        size_t need = 0;
        const PeRead read = ReadPeLayout(head, count, size, out.layout, need);
        if (read == PeRead::NeedMore) return false;
        out.pe = read == PeRead::Layout;
        if (!out.pe) out.layout = PeLayout();
        return true;
    }
    if (out.type == ObjectType::Any) {
        if (count < kPdfWindow && count < size) return false;
        if (LaterPdfHeader(head, count)) out.type = ObjectType::Pdf;
    }
    return true;
}

}  // namespace refengine
