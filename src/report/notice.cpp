#include "report/notice.h"

#include <commctrl.h>

#include <atomic>

#include "plugin/module.h"
#include "resources/resource.h"

namespace {
// The balloon belongs to the background thread; the host's thread only reads
// the handle to send it messages.
std::atomic<HWND> g_notice{nullptr};
// The balloon's only tool. The control reads it while a message sent by
// ShowNotice or HideNotice is handled, so it lives as long as the library.
TOOLINFOA g_toolInfo = {};
// The text lpszText points to; it must outlive the next update of the tool.
std::string g_noticeText;

// Size of TOOLINFOA without its last, reserved member: the form every
// version of the control accepts.
constexpr UINT kToolInfoSize = 44;

LRESULT CALLBACK NoticeWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCHITTEST:
            // Tooltips let clicks through by default; the balloon must take them.
            return HTCLIENT;
        case WM_LBUTTONDOWN:
            HideNotice();
            return 0;
        default: {
            WNDPROC original = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_USERDATA));
            if (!original) return DefWindowProcA(window, message, wParam, lParam);
            return CallWindowProcA(original, window, message, wParam, lParam);
        }
    }
}

RECT WindowRectOrEmpty(HWND window) {
    RECT rect = {};
    if (!window || !GetWindowRect(window, &rect)) SetRectEmpty(&rect);
    return rect;
}
}  // namespace

void CreateNotice() {
    // The tooltip class is registered by the common controls library; a host
    // that has not used it yet would otherwise leave the notice uncreated.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    HWND host = FindHostMainWindow();
    HWND notice =
        CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP,
                        0, 0, 0, 0, host, nullptr, PluginInstance(), nullptr);
    if (!notice) return;
    LONG_PTR original = GetWindowLongPtrA(notice, GWLP_WNDPROC);
    SetWindowLongPtrA(notice, GWLP_USERDATA, original);
    SetWindowLongPtrA(notice, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NoticeWndProc));
    SetWindowPos(notice, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    g_toolInfo = TOOLINFOA{};
    g_toolInfo.cbSize = kToolInfoSize;
    g_toolInfo.uFlags = TTF_TRACK | TTF_SUBCLASS;
    g_toolInfo.hwnd = host;
    g_toolInfo.hinst = PluginInstance();
    g_toolInfo.rect = WindowRectOrEmpty(host);
    SendMessageA(notice, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&g_toolInfo));
    std::string title = LoadText(IDS_NOTICE_TITLE);
    SendMessageA(notice, TTM_SETTITLEA, TTI_WARNING, reinterpret_cast<LPARAM>(title.c_str()));
    g_notice = notice;
}

std::string NoticeBody(unsigned noticeFlags) {
    std::string body = "\r";
    if (noticeFlags & kNoticeVirusFound) body += LoadText(IDS_NOTICE_INFECTED) + "\r\r";
    if (noticeFlags & kNoticeErrorOccurred) body += LoadText(IDS_NOTICE_ERROR) + "\r\r";
    body += LoadText(IDS_NOTICE_CHECK) + "\r\r";
    body += LoadText(IDS_NOTICE_DISMISS);
    return body;
}

void ShowNotice(unsigned noticeFlags) {
    HWND host = FindHostMainWindow();
    RECT rect = {};
    if (!host || !IsWindowVisible(host) || IsIconic(host)) {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &rect, 0);
    } else {
        GetWindowRect(host, &rect);
    }
    g_noticeText = NoticeBody(noticeFlags);
    g_toolInfo.lpszText = &g_noticeText[0];
    g_toolInfo.rect = rect;
    // Before the background thread has made the notice the handle is null
    // and the messages have no effect.
    HWND notice = g_notice;
    SendMessageA(notice, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&g_toolInfo));
    SendMessageA(notice, TTM_TRACKPOSITION, 0, MAKELPARAM(rect.right, rect.bottom));
    SendMessageA(notice, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&g_toolInfo));
}

void HideNotice() {
    HWND notice = g_notice;
    if (notice) SendMessageA(notice, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&g_toolInfo));
}

void DestroyNotice() {
    HWND notice = g_notice.exchange(nullptr);
    if (!notice) return;
    SendMessageA(notice, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&g_toolInfo));
    SendMessageA(notice, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&g_toolInfo));
    DestroyWindow(notice);
}

HWND NoticeWindow() { return g_notice; }
