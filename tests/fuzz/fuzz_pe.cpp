// The PE section-table reader and the head probe over one object: every
// section and the entry point lie in the object, the reader asks for at
// most its bound, and a head grown to what it asks for decides as the
// whole object does.
#include <cstring>

#include "match/object_type.h"
#include "match/pe_layout.h"

namespace {

bool SameLayout(const refengine::PeLayout& a, const refengine::PeLayout& b) {
    if (a.entryOffset != b.entryOffset || a.plus != b.plus || a.sections.size() != b.sections.size()) return false;
    for (size_t i = 0; i < a.sections.size(); ++i) {
        if (std::memcmp(&a.sections[i], &b.sections[i], sizeof a.sections[i]) != 0) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace refengine;
    PeLayout whole;
    size_t need = 0;
    const PeRead read = ReadPeLayout(data, size, size, whole, need);
    if (read == PeRead::NeedMore) __builtin_trap();
    if (read == PeRead::Layout) {
        if (whole.sections.empty() || whole.sections.size() > kMaxPeSections || whole.entryOffset >= size)
            __builtin_trap();
        for (const PeSection& s : whole.sections) {
            if (s.rawSize && (s.rawOffset >= size || s.rawSize > size - s.rawOffset)) __builtin_trap();
        }
    }
    // Growing the head by what the reader asks for ends in the same answer.
    size_t count = 0;
    PeLayout part;
    PeRead step;
    while ((step = ReadPeLayout(data, count, size, part, need)) == PeRead::NeedMore) {
        if (need <= count || need > size || need > kMaxPeHead) __builtin_trap();
        count = need;
    }
    if (step != read || (read == PeRead::Layout && !SameLayout(part, whole))) __builtin_trap();
    // The probe decides on the whole object, and a prefix that decides
    // agrees with it on the type.
    ObjectHead full, early;
    if (!ProbeHead(data, size, size, true, full)) __builtin_trap();
    for (size_t n = 0; n <= size; n = n ? n * 2 : 1) {
        if (ProbeHead(data, n, size, false, early)) {
            if (early.type != full.type || early.pe != full.pe) __builtin_trap();
            break;
        }
    }
    return 0;
}
