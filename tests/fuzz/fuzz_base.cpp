// The base parser: the input is one base file. What it accepts is compiled
// and run over a short object, so every accepted record is also matched.
#include <cstring>
#include <string>

#include "fuzz_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orlix::EngineEntryProc entry = fuzz::Rebind();
    int32_t records = fuzz::LoadBaseText(std::string(reinterpret_cast<const char*>(data), size));
    if (records < 0) __builtin_trap();  // a base that can be read never fails
    entry(0, orlix::EngineFinishLoad);
    static const char sample[] = "MZ fuzz body START <<ab>> END abc TAND";
    fuzz::CheckAndWalk(reinterpret_cast<const uint8_t*>(sample), std::strlen(sample));
    fuzz::ExpectNothingHeld();
    return 0;
}
