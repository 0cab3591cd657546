// The open signature databases' parsers: the first byte picks the kind of
// file (hash, allow, ignore and body lists, uncompressed and compressed
// containers), the rest is its content. It is loaded through a "database"
// line and what it accepted is matched against a short object.
#include <cstring>
#include <string>

#include "fuzz_engine.h"
#include "host/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const kKinds[] = {"hdb", "hsb", "fp", "sfp", "ign2", "ndb", "cld", "cvd"};
    static TempDir dir;
    if (size == 0) return 0;
    const std::string path = dir.File(std::string("fuzz.") + kKinds[data[0] % 8]);
    if (!WriteFileBytes(path, std::string(reinterpret_cast<const char*>(data + 1), size - 1))) __builtin_trap();
    orlix::EngineEntryProc entry = fuzz::Rebind();
    // A database that can be read never fails the base naming it.
    if (fuzz::LoadBaseText("database " + path + "\n") < 0) __builtin_trap();
    entry(0, orlix::EngineFinishLoad);
    static const char sample[] = "abc";
    fuzz::CheckAndWalk(reinterpret_cast<const uint8_t*>(sample), std::strlen(sample));
    fuzz::ExpectNothingHeld();
    return 0;
}
