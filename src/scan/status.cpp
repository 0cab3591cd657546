#include <windows.h>

#include "scan/scan.h"
#include "scan/scan_internal.h"

void WriteStatusText(char* statusText, const std::string& text) {
    // The host passes no length: never write more than its buffer holds.
    if (statusText) lstrcpynA(statusText, text.c_str(), kStatusTextSize);
}

bool IsMemoryObjectName(const std::string& name) { return name.compare(0, 2, "##") == 0; }
