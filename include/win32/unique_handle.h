// Owning wrappers for Win32 handles: one type per kind of handle, named after
// what it closes. Non-copyable, movable; get / reset / release.
#pragma once

#include <windows.h>

namespace win {

template <typename Handle, typename Traits>
class unique_any {
public:
    unique_any() = default;
    explicit unique_any(Handle h) : handle_(h) {}
    ~unique_any() { reset(); }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : handle_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Handle get() const { return handle_; }
    Handle* put() {
        reset();
        return &handle_;
    }
    explicit operator bool() const { return handle_ != Traits::invalid(); }
    void reset(Handle h = Traits::invalid()) {
        if (handle_ != Traits::invalid()) Traits::close(handle_);
        handle_ = h;
    }
    Handle release() {
        Handle h = handle_;
        handle_ = Traits::invalid();
        return h;
    }

private:
    Handle handle_ = Traits::invalid();
};

struct FileTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { ::CloseHandle(h); }
};
struct HandleTraits {
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE h) { ::CloseHandle(h); }
};
struct FindTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { ::FindClose(h); }
};
struct KeyTraits {
    static HKEY invalid() { return nullptr; }
    static void close(HKEY h) { ::RegCloseKey(h); }
};
struct ModuleTraits {
    static HMODULE invalid() { return nullptr; }
    static void close(HMODULE h) { ::FreeLibrary(h); }
};
struct GlobalTraits {
    static HGLOBAL invalid() { return nullptr; }
    static void close(HGLOBAL h) { ::GlobalFree(h); }
};

using unique_hfile = unique_any<HANDLE, FileTraits>;       // CreateFile
using unique_handle = unique_any<HANDLE, HandleTraits>;    // threads, events
using unique_hfind = unique_any<HANDLE, FindTraits>;       // FindFirstFile
using unique_hkey = unique_any<HKEY, KeyTraits>;           // RegOpenKeyEx
using unique_hmodule = unique_any<HMODULE, ModuleTraits>;  // LoadLibrary
using unique_hglobal = unique_any<HGLOBAL, GlobalTraits>;  // GlobalAlloc

}  // namespace win
