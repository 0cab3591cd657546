// The debugger trace: "Orlix for TheBAT!: <text>\r\n" through
// OutputDebugStringA, always on.
#pragma once

#include <string>

void TraceCall(const std::string& text);
