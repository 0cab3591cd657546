#include "report/notice.h"

#include <commctrl.h>

#include <atomic>
#include <mutex>

#include "base/lock.h"
#include "base/module.h"
#include "report/host_find.h"
#include "resources/resource.h"

// Threads: the background thread creates, hides and destroys the balloon
// and its tool; the host's thread shows it from a check. The handle is
// atomic; the tool's identity, which both read to build their messages, is
// guarded by g_toolLock. Each message carries a tool record of its own, on
// the sending thread's stack: no thread writes a record another one reads.
namespace {
std::atomic<HWND> g_notice{nullptr};

struct Tool {
    HWND host = nullptr;
    HINSTANCE instance = nullptr;
};
CriticalSection g_toolLock;
Tool g_tool;

TOOLINFOA ToolRecord() {
    Tool tool;
    {
        std::lock_guard<CriticalSection> hold(g_toolLock);
        tool = g_tool;
    }
    TOOLINFOA record = {};
    // Without its last, reserved member: the form every version of the
    // control accepts.
    record.cbSize = TTTOOLINFOA_V2_SIZE;
    record.uFlags = TTF_TRACK | TTF_SUBCLASS;
    record.hwnd = tool.host;
    record.hinst = tool.instance;
    return record;
}

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

    {
        std::lock_guard<CriticalSection> hold(g_toolLock);
        g_tool.host = host;
        g_tool.instance = PluginInstance();
    }
    TOOLINFOA tool = ToolRecord();
    tool.rect = WindowRectOrEmpty(host);
    SendMessageA(notice, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
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
    // The control copies the text as it takes the update.
    std::string text = NoticeBody(noticeFlags);
    TOOLINFOA tool = ToolRecord();
    tool.lpszText = &text[0];
    tool.rect = rect;
    // Before the background thread has made the notice the handle is null
    // and the messages have no effect.
    HWND notice = g_notice;
    SendMessageA(notice, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageA(notice, TTM_TRACKPOSITION, 0, MAKELPARAM(rect.right, rect.bottom));
    SendMessageA(notice, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

void HideNotice() {
    HWND notice = g_notice;
    if (!notice) return;
    TOOLINFOA tool = ToolRecord();
    SendMessageA(notice, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

void DestroyNotice() {
    HWND notice = g_notice.exchange(nullptr);
    if (!notice) return;
    TOOLINFOA tool = ToolRecord();
    SendMessageA(notice, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
    SendMessageA(notice, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    DestroyWindow(notice);
    std::lock_guard<CriticalSection> hold(g_toolLock);
    g_tool = Tool();
}

HWND NoticeWindow() { return g_notice; }
