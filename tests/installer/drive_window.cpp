// Drives the installer's windows from outside, as a user would, for the
// screenshots of its pages:
//   drive_window wait TITLE TEXT        until a window whose title holds TITLE shows TEXT (30 s)
//   drive_window click TITLE TEXT|#ID   clicks the visible button with that text (without '&') or id
//   drive_window settext TITLE CLASS TEXT  sets the text of the first visible control of that class
// Exit 0 when done, 1 when the window or control was not found.
#include <windows.h>

#include <string>

namespace {

struct Search {
    std::wstring title;
    std::wstring text;  // a control's text, '&' removed; or its class for settext
    int id = 0;         // with "#ID"
    bool byClass = false;
    bool contains = false;  // wait: TEXT is part of the control's text
    HWND found = nullptr;
};

std::wstring TextOf(HWND window) {
    wchar_t buffer[1024] = L"";
    GetWindowTextW(window, buffer, 1024);
    std::wstring text;
    for (const wchar_t* c = buffer; *c; ++c)
        if (*c != L'&') text += *c;
    return text;
}

BOOL CALLBACK MatchChild(HWND child, LPARAM param) {
    Search& search = *reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(child)) return TRUE;
    bool match;
    if (search.id) {
        match = GetDlgCtrlID(child) == search.id;
    } else if (search.byClass) {
        wchar_t name[64] = L"";
        GetClassNameW(child, name, 64);
        match = lstrcmpiW(name, search.text.c_str()) == 0;
    } else {
        std::wstring text = TextOf(child);
        match = search.contains ? text.find(search.text) != std::wstring::npos : text == search.text;
    }
    if (!match) return TRUE;
    search.found = child;
    return FALSE;
}

BOOL CALLBACK MatchTop(HWND top, LPARAM param) {
    Search& search = *reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(top)) return TRUE;
    if (TextOf(top).find(search.title) == std::wstring::npos) return TRUE;
    EnumChildWindows(top, MatchChild, param);
    return search.found ? FALSE : TRUE;
}

HWND Find(Search& search) {
    search.found = nullptr;
    EnumWindows(MatchTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 2;
    std::wstring command = argv[1];
    Search search;
    search.title = argv[2];
    search.text = argv[3];
    if (command == L"wait") {
        search.contains = true;
        for (int i = 0; i < 300; ++i) {
            if (Find(search)) return 0;
            Sleep(100);
        }
        return 1;
    }
    if (command == L"click") {
        if (search.text[0] == L'#') search.id = _wtoi(search.text.c_str() + 1);
        HWND button = Find(search);
        if (!button) return 1;
        DWORD_PTR ignored;
        SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 500, &ignored);
        return 0;
    }
    if (command == L"settext" && argc == 5) {
        search.byClass = true;
        HWND control = Find(search);
        if (!control) return 1;
        SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
        return 0;
    }
    return 2;
}
