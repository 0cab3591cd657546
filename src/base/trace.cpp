#include "base/trace.h"

#include <windows.h>

#include "base/module.h"
#include "resources/resource.h"

void TraceCall(const std::string& text) {
    std::string line = LoadText(IDS_PLUGIN_NAME);
    line += ": ";
    line += text;
    line += "\r\n";
    OutputDebugStringA(line.c_str());
}
