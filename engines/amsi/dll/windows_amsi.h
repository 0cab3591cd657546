// The system's amsi.dll behind the engine's AmsiApi. mingw-w64 ships no
// amsi.h and no import library, and Windows before 10 has no amsi.dll, so
// the six functions are bound at run time from the system folder. Every
// call runs on a worker thread that is waited for with a bound: a provider
// that hangs costs the check, not the mail client.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "amsi_api.h"

namespace amsiengine {

// HAMSICONTEXT and HAMSISESSION are handles (DECLARE_HANDLE in amsi.h).
typedef HRESULT(WINAPI* AmsiInitializeProc)(LPCWSTR appName, HANDLE* context);
typedef void(WINAPI* AmsiUninitializeProc)(HANDLE context);
typedef HRESULT(WINAPI* AmsiOpenSessionProc)(HANDLE context, HANDLE* session);
typedef void(WINAPI* AmsiCloseSessionProc)(HANDLE context, HANDLE session);
typedef HRESULT(WINAPI* AmsiScanBufferProc)(HANDLE context, PVOID buffer, ULONG length, LPCWSTR contentName,
                                            HANDLE session, int* result);
typedef HRESULT(WINAPI* AmsiScanStringProc)(HANDLE context, LPCWSTR text, LPCWSTR contentName, HANDLE session,
                                            int* result);

// amsi.dll, its functions, and the multithreaded apartment the providers'
// objects live in, shared with every call still running: a call that never
// answered keeps them until it ends.
class AmsiModule;

class WindowsAmsi : public AmsiApi {
public:
    WindowsAmsi();
    ~WindowsAmsi() override;
    WindowsAmsi(const WindowsAmsi&) = delete;
    WindowsAmsi& operator=(const WindowsAmsi&) = delete;

    // False when this system has no usable amsi.dll; why() says why.
    bool available() const { return module_ != nullptr; }
    const std::string& why() const { return why_; }

    HResult Initialize(const std::u16string& appName, AmsiContext* context) override;
    void Uninitialize(AmsiContext context) override;
    HResult OpenSession(AmsiContext context, AmsiSession* session) override;
    void CloseSession(AmsiContext context, AmsiSession session) override;
    HResult ScanBuffer(AmsiContext context, const SharedBytes& buffer, const std::u16string& contentName,
                       AmsiSession session, uint32_t* result, Deadline deadline) override;
    HResult ScanString(AmsiContext context, const std::u16string& text, const std::u16string& contentName,
                       AmsiSession session, uint32_t* result, Deadline deadline) override;
    // Names in the system's ANSI code page, as the host gives them.
    std::u16string Widen(const std::string& name) override;

private:
    std::shared_ptr<AmsiModule> module_;
    std::string why_;
};

// The system folder, with a trailing backslash; empty when unknown.
std::string SystemFolder();

}  // namespace amsiengine
