#include "fuzz_engine.h"

#include <cstdlib>

#include "host/engine_driver.h"
#include "host/files.h"
#include "host/native_host.h"

namespace fuzz {
namespace {

orlix::EngineEntryProc g_entry = nullptr;

const std::string& TempFolder() {
    // Large nested members spill into temporary files of the host.
    static TempDir dir;
    return dir.path();
}

}  // namespace

// Hex of "fuzz" pieces and short words: common enough that mutations reach them.
const char kExtraRecords[] =
    "Fuzz.Body:0:*:66757a7a??626f6479\n"
    "Fuzz.Star:0:*:5354415254*454e44\n"
    "Fuzz.Range:0:*:3c3c{2-40}3e3e:m\n"
    "Fuzz.At:0:2:4d41524b:p\n"
    "Fuzz.Tail:0:EOF-4:54414e44:c\n"
    "Fuzz.Limit:0:*:534d414c4c:s64\n"
    "900150983cd24fb0d6963f7d28e17f72:3:Fuzz.Hash\n";

orlix::EngineEntryProc Rebind() {
    nativehost::SetTempFolder(TempFolder());
    g_entry = nativehost::BindEngine();
    if (!g_entry) std::abort();
    return g_entry;
}

orlix::EngineEntryProc Engine() { return g_entry ? g_entry : Rebind(); }

int32_t LoadBaseText(const std::string& text) {
    nativehost::ServeSynthetic(false);
    std::string name = nativehost::ServeMemory(text.data(), text.size());
    int32_t answer = Engine()(0, orlix::EngineLoadBase, name.c_str());
    nativehost::ForgetMemoryObjects();
    nativehost::ServeSynthetic(true);
    return answer;
}

int32_t CheckAndWalk(const uint8_t* data, size_t size) {
    std::string name = nativehost::ServeMemory(data, size);
    orlix::EngineEntryProc entry = Engine();
    int32_t answer = entry(0, orlix::EngineScanFile, orlix::kScanModeCheck, 1, name.c_str(), 0);
    if (answer != -1 && (answer & orlix::ResultArchive)) nativehost::Walk(entry);
    nativehost::ForgetMemoryObjects();
    return answer;
}

void ExpectNothingHeld() {
    if (nativehost::counters().opened != 0) __builtin_trap();
    if (nativehost::counters().allocated != 0) __builtin_trap();
}

}  // namespace fuzz
