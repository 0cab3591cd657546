// The engine's check of one object, walked member by member through every
// format and nested level, with the default base and a few records loaded once.
#include <cstdlib>

#include "fuzz_engine.h"
#include "host/files.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* base = std::getenv("ORLIX_DEFAULT_BASE");
    std::string text = ReadFileBytes(base && *base ? base : ORLIX_DEFAULT_BASE);
    if (fuzz::LoadBaseText(text) != 2 || fuzz::LoadBaseText(fuzz::kExtraRecords) != 7) std::abort();
    fuzz::Engine()(0, orlix::EngineFinishLoad);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::CheckAndWalk(data, size);
    fuzz::ExpectNothingHeld();
    return 0;
}
