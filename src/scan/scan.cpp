#include "scan/scan.h"

#include <windows.h>

#include "plugin/module.h"
#include "resources/resource.h"

void WriteStatusText(char* statusText, const std::string& text) {
    if (statusText) lstrcpynA(statusText, text.c_str(), kStatusTextSize);
}

int32_t CheckFile(const std::string&, char* statusText) {
    WriteStatusText(statusText, LoadText(IDS_ENGINE_ERROR));
    return BavResultFailed;
}

int32_t CureFile(const std::string&, char* statusText) {
    WriteStatusText(statusText, LoadText(IDS_ENGINE_ERROR));
    return BavResultFailed;
}

int32_t CheckMemory(uint32_t, int32_t, char* statusText) {
    WriteStatusText(statusText, LoadText(IDS_ENGINE_ERROR));
    return BavResultFailed;
}
