// Drives the installer's windows from outside, as a user would, for the
// screenshots of its pages:
//   drive_window wait TITLE TEXT        until a window whose title holds TITLE shows TEXT (30 s)
//   drive_window closed TITLE TEXT      until no window whose title holds TITLE shows TEXT (30 s)
//   drive_window click TITLE TEXT|#ID   clicks the visible button with that text (without '&') or id, once enabled (3
//   s) drive_window settext TITLE CLASS[:N] TEXT  sets the text of the first (Nth) visible control of that class
// Exit 0 when done, 1 when the window or control was not found.
#include <windows.h>

#include <string>

namespace {

struct Search {
    std::wstring title;
    std::wstring text;     // a control's text, '&' removed; or its class for settext
    int id = 0;            // with "#ID"
    int skip = 0;          // settext: visible controls of the class passed over first
    bool enabled = false;  // click: only a button the user could click, in a window not disabled by a message box
    bool byClass = false;
    bool contains = false;  // wait: TEXT is part of the control's text
    HWND found = nullptr;
};

std::wstring TextOf(HWND window) {
    wchar_t buffer[1024] = L"";
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    if (lstrcmpiW(name, L"Edit") == 0) {
        // GetWindowText does not ask another process's edit control for
        // what it holds now; the message does.
        DWORD_PTR ignored;
        SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL, 500, &ignored);
        buffer[1023] = L'\0';
    } else {
        GetWindowTextW(window, buffer, 1024);
    }
    std::wstring text;
    for (const wchar_t* c = buffer; *c; ++c)
        if (*c != L'&') text += *c;
    return text;
}

BOOL CALLBACK MatchChild(HWND child, LPARAM param) {
    Search& search = *reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(child)) return TRUE;
    if (search.enabled && (!IsWindowEnabled(child) || !IsWindowEnabled(GetAncestor(child, GA_ROOT)))) return TRUE;
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
    if (search.skip > 0) {
        --search.skip;
        return TRUE;
    }
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
    if (command == L"wait" || command == L"closed") {
        const bool shown = command == L"wait";
        search.contains = true;
        for (int i = 0; i < 300; ++i) {
            if ((Find(search) != nullptr) == shown) return 0;
            Sleep(100);
        }
        return 1;
    }
    if (command == L"click") {
        if (search.text[0] == L'#') search.id = _wtoi(search.text.c_str() + 1);
        search.enabled = true;
        HWND button = nullptr;
        for (int i = 0; i < 30 && !button; ++i) {
            if (i) Sleep(100);
            button = Find(search);
        }
        if (!button) return 1;
        DWORD_PTR ignored;
        SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 500, &ignored);
        return 0;
    }
    if (command == L"settext" && argc == 5) {
        search.byClass = true;
        size_t colon = search.text.find(L':');
        if (colon != std::wstring::npos) {
            search.skip = _wtoi(search.text.c_str() + colon + 1) - 1;
            search.text.resize(colon);
        }
        // The page may still be busy with a message box just closed.
        const int skip = search.skip;
        HWND control = nullptr;
        for (int i = 0; i < 30 && !control; ++i) {
            if (i) Sleep(100);
            search.skip = skip;
            control = Find(search);
        }
        if (!control) return 1;
        SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
        return 0;
    }
    return 2;
}
