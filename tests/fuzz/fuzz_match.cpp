// The signature compiler and matcher: records and data from one input. The
// text before the first NUL byte is the base, the bytes after it the object.
// Every filter path the processor has must give the same answer and name.
#include <cstring>
#include <string>

#include "fuzz_engine.h"
#include "host/engine_driver.h"
#include "match/wide_filter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    if (!split) return 0;
    size_t baseSize = static_cast<size_t>(split - data);
    orlix::EngineEntryProc entry = fuzz::Rebind();
    if (fuzz::LoadBaseText(std::string(reinterpret_cast<const char*>(data), baseSize)) < 0) __builtin_trap();
    entry(0, orlix::EngineFinishLoad);
    refengine::Database& db = nativehost::BoundDatabase();
    bool first = true;
    int32_t expected = 0;
    std::string expectedName;
    for (refengine::FilterPath path : refengine::kFilterPaths) {
        if (!db.UseFilterPath(path)) continue;
        int32_t answer = fuzz::CheckAndWalk(split + 1, size - baseSize - 1);
        if (answer != -1 && (static_cast<uint32_t>(answer) & ~fuzz::kContractBits)) __builtin_trap();
        const std::string name = answer > 0 ? nativehost::VirusName(entry) : std::string();
        if (!first && (answer != expected || name != expectedName)) __builtin_trap();
        first = false;
        expected = answer;
        expectedName = name;
        fuzz::ExpectNothingHeld();
    }
    return 0;
}
