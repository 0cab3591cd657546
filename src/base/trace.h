// The debugger trace: "Orlix for TheBAT!: <text>\r\n" through
// OutputDebugStringA, always on. The texts callers trace (entry point names,
// "PSN_APPLY", "Thread created", ...) are part of the plug-in's interface:
// the tools that watch a mail client's debugger output look for them as they
// stand, so they stay as they are even where they read oddly.
#pragma once

#include <string>

void TraceCall(const std::string& text);
