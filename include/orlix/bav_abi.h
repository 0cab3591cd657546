// The plug-in's binary interface as a host sees it: the types of the stdcall
// entry points, for hosts that load the plug-in and call it through them.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <cstdint>

namespace bav {
typedef int32_t(__stdcall* NoArgsProc)();
typedef int32_t(__stdcall* BufferProc)(char* buffer, int32_t length);
typedef int32_t(__stdcall* CfgDataProc)(int32_t, int32_t);
typedef int32_t(__stdcall* FileProc)(const char* fileName, char* statusText);
typedef int32_t(__stdcall* MemoryProc)(uint32_t address, int32_t size, char* statusText);
typedef int32_t(__stdcall* CureMemoryProc)(const uint32_t* address, const int32_t* size, int32_t);
typedef int32_t(__stdcall* CheckStreamProc)(IUnknown* stream, int32_t);
typedef int32_t(__stdcall* CureStreamProc)(IUnknown* source, IUnknown* target, int32_t);
}  // namespace bav
