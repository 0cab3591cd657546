#include "engine_state.h"

#include <windows.h>

#include <cstring>

namespace te {

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

State& S() {
    static State state;
    return state;
}

std::string Text(const void* bytes, int32_t length, int32_t room) {
    if (!bytes) return std::string();
    const char* p = static_cast<const char*>(bytes);
    size_t n = length < 0 ? strlen(p) + 1 : static_cast<size_t>(length);
    if (n > static_cast<size_t>(room)) n = static_cast<size_t>(room);
    return std::string(p, n);
}

void SetResult(State& s, int index, int32_t result) {
    if (index >= 0 && static_cast<size_t>(index) < s.journal.records.size())
        s.journal.records[static_cast<size_t>(index)].result = result;
}

namespace {

uint32_t NextRandom(Script& s) {
    // xorshift32: reproducible for a given seed.
    uint32_t x = s.random;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s.random = x ? x : 1;
    return x;
}

}  // namespace

int32_t RandomAnswer(Script& s) {
    static const int32_t kTypical[] = {
        0,     1,      2,      4,      5,      8,      9,       0x10, 0x20,       0x80,
        0x100, 0x1000, 0x1001, 0x2000, 0x4000, 0x8000, 0x20000, -1,   0x7FFFFFFF, static_cast<int32_t>(0x80000000)};
    uint32_t r = NextRandom(s);
    if (r & 1) return static_cast<int32_t>(NextRandom(s));
    return kTypical[(r >> 1) % (sizeof kTypical / sizeof kTypical[0])];
}

void FillRandom(Script& s, void* buffer, size_t size) {
    unsigned char* p = static_cast<unsigned char*>(buffer);
    for (size_t i = 0; i < size; ++i) p[i] = static_cast<unsigned char>((NextRandom(s) % 255) + 1);
}

}  // namespace te
