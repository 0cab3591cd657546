#include "host_windows.h"

namespace {
const char kMailerClass[] = "TMailerForm";
const char kVirusCentreClass[] = "TVirusCentre";

bool RegisterOnce(const char* name, WNDPROC procedure) {
    WNDCLASSA wc = {};
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (GetClassInfoA(instance, name, &wc)) return true;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(0x7F00));
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = name;
    return RegisterClassA(&wc) != 0;
}
}  // namespace

StandInMailer::~StandInMailer() { Destroy(); }

bool StandInMailer::Create(int x, int y, int width, int height, bool visible) {
    Destroy();
    if (!RegisterOnce(kMailerClass, &StandInMailer::WindowProc)) return false;
    DWORD style = WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0);
    window_ = CreateWindowExA(0, kMailerClass, "Stand-in mail client", style, x, y, width, height, nullptr, nullptr,
                              GetModuleHandleA(nullptr), this);
    if (window_) UpdateWindow(window_);
    return window_ != nullptr;
}

void StandInMailer::Destroy() {
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
}

void StandInMailer::Minimise() { ShowWindow(window_, SW_MINIMIZE); }

void StandInMailer::Restore() { ShowWindow(window_, SW_RESTORE); }

LRESULT CALLBACK StandInMailer::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto self = reinterpret_cast<StandInMailer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message == WM_COMMAND) {
        self->commands_.push_back(ReceivedCommand{wParam, lParam, GetTickCount()});
        return 0;
    }
    if (self && message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        if (self->window_ == window) self->window_ = nullptr;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateStandInVirusCentre(HWND owner, bool visible) {
    if (!RegisterOnce(kVirusCentreClass, &DefWindowProcA)) return nullptr;
    DWORD style = (owner ? WS_POPUP | WS_CAPTION : WS_OVERLAPPEDWINDOW) | (visible ? WS_VISIBLE : 0);
    return CreateWindowExA(0, kVirusCentreClass, "Stand-in virus centre", style, 100, 100, 400, 300, owner, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

void PumpMessages(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    }
}
