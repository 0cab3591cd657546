// The 19 entry points the mail client calls. Each body is wrapped so that no
// C++ exception reaches the host; each returns a full 32-bit result.
#include <unknwn.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include "base/guard.h"
#include "base/module.h"
#include "base/trace.h"
#include "orlix/bav_abi.h"
#include "plugin/lifecycle.h"
#include "resources/resource.h"
#include "scan/scan.h"

namespace {

// Copies text into a host buffer of length + 1 bytes; see BAV_GetName.
int32_t CopyResultString(char* buffer, int32_t length, const std::string& text) {
    const int32_t textLength = static_cast<int32_t>(text.size());
    if (!buffer || length <= 0) return textLength;
    const int32_t copied = length >= textLength ? textLength : length;
    memcpy(buffer, text.data(), static_cast<size_t>(copied));
    buffer[copied] = '\0';
    return copied;
}

// Reads a 32-bit value the host points at, or 0 when it cannot be read.
uint32_t ReadHostWord(const void* pointer) {
    uint32_t word = 0;
    if (!pointer || !GuardedCopy(&word, pointer, sizeof word, nullptr)) return 0;
    return word;
}

// Holds a COM reference for the duration of a call.
class ComReference {
public:
    explicit ComReference(IUnknown* object) : object_(object) {
        if (object_) object_->AddRef();
    }
    ~ComReference() {
        if (object_) object_->Release();
    }
    ComReference(const ComReference&) = delete;
    ComReference& operator=(const ComReference&) = delete;

private:
    IUnknown* object_;
};

// A null name or buffer is outside the host contract; answer it as a failed
// check instead of crashing.
int32_t RefuseObject(char* statusText) {
    WriteStatusText(statusText, LoadText(IDS_ENGINE_ERROR));
    return BavResultFailed;
}

template <typename Body>
int32_t Guarded(int32_t onFailure, Body body) {
    try {
        return body();
    } catch (...) {
        return onFailure;
    }
}

}  // namespace

extern "C" {

int32_t __stdcall BAV_Initialize() {
    return Guarded(BavResultFailed, [] { return PluginInitialize(); });
}

int32_t __stdcall BAV_Uninitialize() {
    return Guarded(BavResultOk, [] { return PluginUninitialize(); });
}

int32_t __stdcall BAV_GetName(char* buffer, int32_t length) {
    return Guarded(0, [&] {
        TraceCall("BAV_GetName");
        return CopyResultString(buffer, length, LoadText(IDS_PLUGIN_NAME));
    });
}

int32_t __stdcall BAV_GetVersion(char* buffer, int32_t length) {
    return Guarded(0, [&] {
        TraceCall("BAV_GetVersion");
        return CopyResultString(buffer, length, kPluginVersionString);
    });
}

int32_t __stdcall BAV_SetCfgData(int32_t, int32_t) {
    return Guarded(BavResultNotSupported, [] {
        TraceCall("BAV_SetCfgData");
        return BavResultNotSupported;
    });
}

int32_t __stdcall BAV_GetCfgData(int32_t, int32_t) {
    return Guarded(BavResultNotSupported, [] {
        TraceCall("BAV_GetCfgData");
        return BavResultNotSupported;
    });
}

int32_t __stdcall BAV_GetStatus() {
    return Guarded(BavResultOk, [] {
        TraceCall("BAV_GetStatus");
        return BavResultOk;
    });
}

int32_t __stdcall BAV_Setup() {
    return Guarded(BavResultFailed, [] { return PluginSetup(); });
}

int32_t __stdcall BAV_MemoryChecking() {
    return Guarded(BavResultOk, [] {
        TraceCall("BAV_MemoryChecking");
        return BavResultOk;
    });
}

int32_t __stdcall BAV_FileChecking() {
    return Guarded(BavResultOk, [] {
        TraceCall("BAV_FileChecking");
        return BavResultOk;
    });
}

int32_t __stdcall BAV_StreamChecking() {
    return Guarded(BavResultNotSupported, [] {
        TraceCall("BAV_StreamChecking");
        return BavResultNotSupported;
    });
}

int32_t __stdcall BAV_CheckFile(const char* fileName, char* statusText) {
    return Guarded(BavResultFailed, [&] {
        TraceCall("BAV_CheckFile: " + std::string(fileName ? fileName : ""));
        if (!fileName || !statusText) return RefuseObject(statusText);
        return CheckFile(fileName, statusText);
    });
}

int32_t __stdcall BAV_CureFile(const char* fileName, char* statusText) {
    return Guarded(BavResultFailed, [&] {
        TraceCall("BAV_CureFile: " + std::string(fileName ? fileName : ""));
        if (!fileName || !statusText) return RefuseObject(statusText);
        return CureFile(fileName, statusText);
    });
}

int32_t __stdcall BAV_CheckMemory(uint32_t address, int32_t size, char* statusText) {
    return Guarded(BavResultFailed, [&] {
        TraceCall(FormatText("BAV_CheckMemory: at %08X, %d bytes", address, size));
        if (!statusText) return RefuseObject(statusText);
        return CheckMemory(address, size, statusText);
    });
}

int32_t __stdcall BAV_CureMemory(const uint32_t* address, const int32_t* size, int32_t) {
    return Guarded(BavResultNotSupported, [&] {
        TraceCall(FormatText("BAV_CureMemory: at %08X, %d bytes", ReadHostWord(address),
                             static_cast<int32_t>(ReadHostWord(size))));
        return BavResultNotSupported;
    });
}

int32_t __stdcall BAV_CheckStream(IUnknown* stream, int32_t) {
    return Guarded(BavResultNotSupported, [&] {
        ComReference hold(stream);
        TraceCall("BAV_CheckStream");
        return BavResultNotSupported;
    });
}

int32_t __stdcall BAV_CureStream(IUnknown* source, IUnknown* target, int32_t) {
    return Guarded(BavResultNotSupported, [&] {
        ComReference holdSource(source);
        ComReference holdTarget(target);
        TraceCall("BAV_CureStream");
        return BavResultNotSupported;
    });
}

int32_t __stdcall BAV_ComNeeded() {
    return Guarded(BavResultFailed, [] {
        TraceCall("BAV_ComNeeded");
        return BavResultFailed;
    });
}

int32_t __stdcall BAV_ConfigNeeded() {
    return Guarded(BavResultOk, [] {
        TraceCall("BAV_ConfigNeeded");
        return BavResultOk;
    });
}

}  // extern "C"

// Hosts call through the interface's types: each entry point must have one.
namespace {
template <typename Proc, typename Entry>
constexpr bool Matches(Entry) {
    return std::is_same<Proc, Entry>::value;
}
}  // namespace
static_assert(Matches<bav::NoArgsProc>(&BAV_Initialize) && Matches<bav::NoArgsProc>(&BAV_Uninitialize) &&
                  Matches<bav::BufferProc>(&BAV_GetName) && Matches<bav::BufferProc>(&BAV_GetVersion) &&
                  Matches<bav::CfgDataProc>(&BAV_SetCfgData) && Matches<bav::CfgDataProc>(&BAV_GetCfgData) &&
                  Matches<bav::NoArgsProc>(&BAV_GetStatus) && Matches<bav::NoArgsProc>(&BAV_Setup) &&
                  Matches<bav::NoArgsProc>(&BAV_MemoryChecking) && Matches<bav::NoArgsProc>(&BAV_FileChecking) &&
                  Matches<bav::NoArgsProc>(&BAV_StreamChecking) && Matches<bav::FileProc>(&BAV_CheckFile) &&
                  Matches<bav::FileProc>(&BAV_CureFile) && Matches<bav::MemoryProc>(&BAV_CheckMemory) &&
                  Matches<bav::CureMemoryProc>(&BAV_CureMemory) && Matches<bav::CheckStreamProc>(&BAV_CheckStream) &&
                  Matches<bav::CureStreamProc>(&BAV_CureStream) && Matches<bav::NoArgsProc>(&BAV_ComNeeded) &&
                  Matches<bav::NoArgsProc>(&BAV_ConfigNeeded),
              "an entry point differs from its type in plugin/bav_abi.h");
