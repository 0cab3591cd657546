#include "host_windows.h"

StandInWindow::StandInWindow(const char* className, const char* title, HWND owner, int showCommand) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    RegisterClassA(&wc);
    // An owned window is a captioned pop-up, so GetParent reports its owner.
    DWORD style = owner ? WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME : WS_OVERLAPPEDWINDOW;
    window_ = CreateWindowExA(0, className, title, style, CW_USEDEFAULT, CW_USEDEFAULT, 480, 320, owner, nullptr,
                              wc.hInstance, this);
    if (window_) ShowWindow(window_, showCommand);
}

StandInWindow::~StandInWindow() {
    if (window_) DestroyWindow(window_);
}

LRESULT CALLBACK StandInWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(l);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<StandInWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_COMMAND && LOWORD(w) == kOpenLogCommand && self) ++self->logRequests_;
    return DefWindowProcA(window, message, w, l);
}

void PumpMessages(DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (GetTickCount() - start >= ms) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}
