// The Antimalware Scan Interface as the engine uses it: the six functions of
// amsi.dll behind an interface, so that the Windows side binds the system's
// library and tests bind a fake. Handles, HRESULTs and AMSI_RESULT values
// are those of the documented interface; the scans take the check's
// deadline, which the Windows side enforces and a fake may model.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace amsiengine {

using HResult = int32_t;
constexpr HResult kOk = 0;                                               // S_OK
constexpr HResult kFail = static_cast<HResult>(0x80004005u);             // E_FAIL
constexpr HResult kInvalidArgument = static_cast<HResult>(0x80070057u);  // E_INVALIDARG
// HRESULT_FROM_WIN32(ERROR_TIMEOUT): the call did not answer before the deadline.
constexpr HResult kTimedOut = static_cast<HResult>(0x800705B4u);
// HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND): no amsi.dll on this system.
constexpr HResult kNoLibrary = static_cast<HResult>(0x8007007Eu);
inline bool Failed(HResult result) { return result < 0; }

// AMSI_RESULT.
constexpr uint32_t kAmsiResultClean = 0;
constexpr uint32_t kAmsiResultNotDetected = 1;
constexpr uint32_t kAmsiResultBlockedByAdminStart = 0x4000;
constexpr uint32_t kAmsiResultBlockedByAdminEnd = 0x4FFF;
constexpr uint32_t kAmsiResultDetected = 32768;

// HAMSICONTEXT and HAMSISESSION: opaque to the caller.
using AmsiContext = void*;
using AmsiSession = void*;

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

// A scanned buffer is shared with the call: a call abandoned at its deadline
// may still be reading it.
using SharedBytes = std::shared_ptr<const std::vector<unsigned char>>;

class AmsiApi {
public:
    virtual ~AmsiApi() = default;
    virtual HResult Initialize(const std::u16string& appName, AmsiContext* context) = 0;
    virtual void Uninitialize(AmsiContext context) = 0;
    virtual HResult OpenSession(AmsiContext context, AmsiSession* session) = 0;
    virtual void CloseSession(AmsiContext context, AmsiSession session) = 0;
    // kTimedOut when the provider did not answer by the deadline; the call
    // may then still be running and holds on to context and session.
    virtual HResult ScanBuffer(AmsiContext context, const SharedBytes& buffer, const std::u16string& contentName,
                               AmsiSession session, uint32_t* result, Deadline deadline) = 0;
    virtual HResult ScanString(AmsiContext context, const std::u16string& text, const std::u16string& contentName,
                               AmsiSession session, uint32_t* result, Deadline deadline) = 0;
    // A name as the host gives it (the system's code page on Windows) in
    // UTF-16. By default each byte is taken as its own code point.
    virtual std::u16string Widen(const std::string& name) {
        std::u16string wide;
        for (char c : name) wide.push_back(static_cast<unsigned char>(c));
        return wide;
    }
};

// What an AMSI_RESULT means for the check.
enum class AmsiVerdict { Clean, BlockedByAdmin, Detected };
inline AmsiVerdict ClassifyResult(uint32_t result) {
    if (result >= kAmsiResultDetected) return AmsiVerdict::Detected;
    if (result >= kAmsiResultBlockedByAdminStart && result <= kAmsiResultBlockedByAdminEnd)
        return AmsiVerdict::BlockedByAdmin;
    return AmsiVerdict::Clean;
}

// The anti-malware providers registered with AMSI.
struct Provider {
    std::string clsid;  // "{...}" as registered
    std::string name;   // the CLSID key's default value, may be empty
    std::string path;   // the in-process server's file
};

class ProviderList {
public:
    virtual ~ProviderList() = default;
    // The providers AMSI would load; false with why when none can be listed
    // (no AMSI on this system, the registry unreadable).
    virtual bool List(std::vector<Provider>& providers, std::string& why) = 0;
};

}  // namespace amsiengine
