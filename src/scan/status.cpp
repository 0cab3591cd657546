#include <windows.h>

#include <cstring>

#include "orlix/contract.h"
#include "engine/engine.h"
#include "scan/scan.h"
#include "scan/scan_internal.h"

void WriteStatusText(char* statusText, const std::string& text) {
    // The host passes no length: never write more than its buffer holds.
    if (statusText) lstrcpynA(statusText, text.c_str(), kStatusTextSize);
}

bool HasMemoryObjectPrefix(const std::string& name) {
    return name.compare(0, sizeof orlix::kMemoryObjectPrefix - 1, orlix::kMemoryObjectPrefix) == 0;
}

std::string LastVirusName() {
    char name[orlix::kVirusNameBufferSize] = {};
    EngineGetLastVirusName(name);
    return std::string(name, strnlen(name, orlix::kVirusNameMaxChars));
}
