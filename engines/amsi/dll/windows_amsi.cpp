#include "windows_amsi.h"

#include <functional>

namespace amsiengine {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 names are passed as wide strings");

namespace {

// Calls other than the scans (which have the check's deadline) wait this long.
constexpr DWORD kSetupCallMs = 30000;

typedef HRESULT(WINAPI* IncrementMtaProc)(void** cookie);
typedef HRESULT(WINAPI* DecrementMtaProc)(void* cookie);

// One loaded library, freed when it goes.
class LibraryHandle {
public:
    explicit LibraryHandle(HMODULE module = nullptr) : module_(module) {}
    ~LibraryHandle() {
        if (module_) FreeLibrary(module_);
    }
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;
    HMODULE get() const { return module_; }
    FARPROC Proc(const char* name) const { return module_ ? GetProcAddress(module_, name) : nullptr; }

private:
    HMODULE module_;
};

// A thread handle, closed when it goes (the thread itself may run on).
class ThreadHandle {
public:
    explicit ThreadHandle(HANDLE thread) : thread_(thread) {}
    ~ThreadHandle() {
        if (thread_) CloseHandle(thread_);
    }
    ThreadHandle(const ThreadHandle&) = delete;
    ThreadHandle& operator=(const ThreadHandle&) = delete;
    HANDLE get() const { return thread_; }

private:
    HANDLE thread_;
};

}  // namespace

class AmsiModule {
public:
    AmsiModule(const std::string& folder, std::string& why)
        : amsi_(LoadLibraryA((folder + "amsi.dll").c_str())), ole_(LoadLibraryA((folder + "ole32.dll").c_str())) {
        if (!amsi_.get()) {
            why = "no amsi.dll in " + folder + " (AMSI came with Windows 10 and Windows Server 2016)";
            return;
        }
        initialize = reinterpret_cast<AmsiInitializeProc>(amsi_.Proc("AmsiInitialize"));
        uninitialize = reinterpret_cast<AmsiUninitializeProc>(amsi_.Proc("AmsiUninitialize"));
        openSession = reinterpret_cast<AmsiOpenSessionProc>(amsi_.Proc("AmsiOpenSession"));
        closeSession = reinterpret_cast<AmsiCloseSessionProc>(amsi_.Proc("AmsiCloseSession"));
        scanBuffer = reinterpret_cast<AmsiScanBufferProc>(amsi_.Proc("AmsiScanBuffer"));
        scanString = reinterpret_cast<AmsiScanStringProc>(amsi_.Proc("AmsiScanString"));
        if (!initialize || !uninitialize || !openSession || !closeSession || !scanBuffer || !scanString) {
            why = folder + "amsi.dll lacks one of the six AMSI functions";
            return;
        }
        // The calls run on worker threads that enter no apartment of their
        // own: they share the process's multithreaded apartment, kept alive
        // here so that the providers' objects outlive each worker.
        auto increment = reinterpret_cast<IncrementMtaProc>(ole_.Proc("CoIncrementMTAUsage"));
        decrement_ = reinterpret_cast<DecrementMtaProc>(ole_.Proc("CoDecrementMTAUsage"));
        if (!increment || !decrement_ || FAILED(increment(&mtaCookie_))) {
            why = "the multithreaded COM apartment is not available";
            mtaCookie_ = nullptr;
            return;
        }
        usable_ = true;
    }
    ~AmsiModule() {
        if (mtaCookie_) decrement_(mtaCookie_);
    }
    AmsiModule(const AmsiModule&) = delete;
    AmsiModule& operator=(const AmsiModule&) = delete;
    bool usable() const { return usable_; }

    AmsiInitializeProc initialize = nullptr;
    AmsiUninitializeProc uninitialize = nullptr;
    AmsiOpenSessionProc openSession = nullptr;
    AmsiCloseSessionProc closeSession = nullptr;
    AmsiScanBufferProc scanBuffer = nullptr;
    AmsiScanStringProc scanString = nullptr;

private:
    LibraryHandle amsi_;
    LibraryHandle ole_;
    DecrementMtaProc decrement_ = nullptr;
    void* mtaCookie_ = nullptr;
    bool usable_ = false;
};

namespace {

// One call on its worker. The worker owns a reference to it, to amsi.dll
// and to this DLL, so nothing it uses goes away while it runs, however long.
struct BoundedCall {
    std::shared_ptr<AmsiModule> module;
    std::function<HRESULT()> work;
    HRESULT answer = E_FAIL;
    HMODULE self = nullptr;
};

DWORD WINAPI RunCall(void* parameter) {
    auto* held = static_cast<std::shared_ptr<BoundedCall>*>(parameter);
    HMODULE self = (*held)->self;
    (*held)->answer = (*held)->work();
    delete held;
    FreeLibraryAndExitThread(self, 0);
}

// The call's answer, or kTimedOut when it did not end within ms (it then
// runs on with what it holds).
HResult RunBounded(const std::shared_ptr<AmsiModule>& module, std::function<HRESULT()> work, DWORD ms) {
    auto call = std::make_shared<BoundedCall>();
    call->module = module;
    call->work = std::move(work);
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&RunCall), &call->self))
        return kFail;
    auto* held = new std::shared_ptr<BoundedCall>(call);
    ThreadHandle thread(CreateThread(nullptr, 0, &RunCall, held, 0, nullptr));
    if (!thread.get()) {
        FreeLibrary(call->self);
        delete held;
        return kFail;
    }
    if (WaitForSingleObject(thread.get(), ms) != WAIT_OBJECT_0) return kTimedOut;
    return static_cast<HResult>(call->answer);
}

DWORD Remaining(Deadline deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return left >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(left);
}

LPCWSTR Wide(const std::u16string& text) { return reinterpret_cast<LPCWSTR>(text.c_str()); }

// What a scan needs after a timeout: its own copies, shared with the worker.
struct ScanState {
    SharedBytes buffer;
    std::u16string text;
    std::u16string name;
    int result = 0;
};

}  // namespace

std::string SystemFolder() {
    char folder[MAX_PATH + 1];
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    std::string path(folder, length);
    if (path.back() != '\\') path += '\\';
    return path;
}

WindowsAmsi::WindowsAmsi() {
    const std::string folder = SystemFolder();
    if (folder.empty()) {
        why_ = "the system folder is unknown";
        return;
    }
    std::shared_ptr<AmsiModule> module = std::make_shared<AmsiModule>(folder, why_);
    if (module->usable()) module_ = std::move(module);
}

WindowsAmsi::~WindowsAmsi() = default;

HResult WindowsAmsi::Initialize(const std::u16string& appName, AmsiContext* context) {
    if (!module_) return kNoLibrary;
    auto name = std::make_shared<std::u16string>(appName);
    auto out = std::make_shared<HANDLE>(nullptr);
    AmsiInitializeProc initialize = module_->initialize;
    HResult answer = RunBounded(
        module_, [=] { return initialize(Wide(*name), out.get()); }, kSetupCallMs);
    if (!Failed(answer)) *context = *out;
    return answer;
}

void WindowsAmsi::Uninitialize(AmsiContext context) {
    if (!module_) return;
    AmsiUninitializeProc uninitialize = module_->uninitialize;
    RunBounded(
        module_,
        [=] {
            uninitialize(context);
            return S_OK;
        },
        kSetupCallMs);
}

HResult WindowsAmsi::OpenSession(AmsiContext context, AmsiSession* session) {
    if (!module_) return kNoLibrary;
    auto out = std::make_shared<HANDLE>(nullptr);
    AmsiOpenSessionProc openSession = module_->openSession;
    HResult answer = RunBounded(
        module_, [=] { return openSession(context, out.get()); }, kSetupCallMs);
    if (!Failed(answer)) *session = *out;
    return answer;
}

void WindowsAmsi::CloseSession(AmsiContext context, AmsiSession session) {
    if (!module_) return;
    AmsiCloseSessionProc closeSession = module_->closeSession;
    RunBounded(
        module_,
        [=] {
            closeSession(context, session);
            return S_OK;
        },
        kSetupCallMs);
}

HResult WindowsAmsi::ScanBuffer(AmsiContext context, const SharedBytes& buffer, const std::u16string& contentName,
                                AmsiSession session, uint32_t* result, Deadline deadline) {
    if (!module_) return kNoLibrary;
    const DWORD ms = Remaining(deadline);
    if (ms == 0) return kTimedOut;
    auto state = std::make_shared<ScanState>();
    state->buffer = buffer;
    state->name = contentName;
    AmsiScanBufferProc scanBuffer = module_->scanBuffer;
    HResult answer = RunBounded(
        module_,
        [=] {
            return scanBuffer(context, const_cast<unsigned char*>(state->buffer->data()),
                              static_cast<ULONG>(state->buffer->size()), Wide(state->name), session, &state->result);
        },
        ms);
    if (!Failed(answer)) *result = static_cast<uint32_t>(state->result);
    return answer;
}

HResult WindowsAmsi::ScanString(AmsiContext context, const std::u16string& text, const std::u16string& contentName,
                                AmsiSession session, uint32_t* result, Deadline deadline) {
    if (!module_) return kNoLibrary;
    const DWORD ms = Remaining(deadline);
    if (ms == 0) return kTimedOut;
    auto state = std::make_shared<ScanState>();
    state->text = text;
    state->name = contentName;
    AmsiScanStringProc scanString = module_->scanString;
    HResult answer = RunBounded(
        module_, [=] { return scanString(context, Wide(state->text), Wide(state->name), session, &state->result); },
        ms);
    if (!Failed(answer)) *result = static_cast<uint32_t>(state->result);
    return answer;
}

std::u16string WindowsAmsi::Widen(const std::string& name) {
    if (name.empty()) return std::u16string();
    const int length = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
    if (length <= 0) return AmsiApi::Widen(name);
    std::u16string wide(static_cast<size_t>(length), u'\0');
    MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), reinterpret_cast<LPWSTR>(&wide[0]),
                        length);
    return wide;
}

}  // namespace amsiengine
