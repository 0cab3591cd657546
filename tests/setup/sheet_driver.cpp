#include "sheet_driver.h"

#include <cstring>

namespace {

// The top-level windows of this process, visible ones only when asked.
std::vector<HWND> OwnWindows(bool visibleOnly) {
    std::vector<HWND> windows;
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD process = 0;
        GetWindowThreadProcessId(w, &process);
        if (process == GetCurrentProcessId() && (!visibleOnly || IsWindowVisible(w))) windows.push_back(w);
    }
    return windows;
}

std::string ClassOf(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

bool IsDialog(HWND window) { return ClassOf(window) == "#32770"; }

void SetState(HWND list, int item, UINT mask, UINT state) {
    LVITEMA value = {};
    value.stateMask = mask;
    value.state = state;
    SendMessageA(list, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&value));
}

}  // namespace

// ---- finding and waiting ----------------------------------------------------

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
}

HWND FindDialog(const std::string& caption) {
    for (HWND w : OwnWindows(true))
        if (IsDialog(w) && WindowText(w) == caption) return w;
    return nullptr;
}

HWND WaitForDialog(const std::string& caption, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindDialog(caption)) != nullptr; }, timeoutMs);
    return found;
}

bool WaitForDialogGone(HWND dialog, DWORD timeoutMs) {
    return WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, timeoutMs);
}

HWND WaitForDialogOtherThan(HWND known, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND w : OwnWindows(true))
                if (w != known && IsDialog(w)) return (found = w) != nullptr;
            return false;
        },
        timeoutMs);
    return found;
}

HWND WaitForSheet(DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            // The tab control of a sheet, or the Next button of a wizard.
            for (HWND w : OwnWindows(true))
                if (GetDlgItem(w, 0x3020) || GetDlgItem(w, kNextButton)) return (found = w) != nullptr;
            return false;
        },
        timeoutMs);
    return found;
}

std::string DescribeDialogs() {
    std::string text;
    for (HWND w : OwnWindows(false))
        text += "[" + ClassOf(w) + " '" + WindowText(w) + "'" + (IsWindowVisible(w) ? " visible" : "") + "] ";
    return text;
}

void Settle(HWND window) { SendMessageA(window, WM_NULL, 0, 0); }

// ---- controls -----------------------------------------------------------------

std::string WindowText(HWND window) {
    // Across threads an empty text may come back as whatever the receiving
    // side's buffer held: ask for the length first.
    LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    LRESULT got = SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got < 0 ? 0 : static_cast<size_t>(got));
    return text;
}

std::string ItemText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }
bool ItemEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
bool ItemVisible(HWND dialog, int id) { return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0; }
bool ItemChecked(HWND dialog, int id) { return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void SetItemCheck(HWND dialog, int id, bool checked) {
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}
void SetItemText(HWND dialog, int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }
void Click(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// ---- the sheet ------------------------------------------------------------------

HWND CurrentPage(HWND sheet) { return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }
std::string CurrentPageTitle(HWND sheet) {
    HWND page = CurrentPage(sheet);
    return page ? WindowText(page) : std::string();
}
bool WaitForPage(HWND sheet, const std::string& title, DWORD timeoutMs) {
    return WaitUntil([&] { return CurrentPageTitle(sheet) == title; }, timeoutMs);
}
void PressSheetButton(HWND sheet, int psbtn) { PostMessageA(sheet, PSM_PRESSBUTTON, psbtn, 0); }
void SelectTab(HWND sheet, int index) { PostMessageA(sheet, PSM_SETCURSEL, index, 0); }

std::vector<std::string> TabTitles(HWND sheet) {
    std::vector<std::string> titles;
    HWND tabs = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0));
    const int count = tabs ? static_cast<int>(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < count; ++i) {
        char text[128] = "";
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(tabs, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
        titles.push_back(text);
    }
    return titles;
}

bool ButtonLive(HWND sheet, int id) {
    HWND button = GetDlgItem(sheet, id);
    return button && IsWindowVisible(button) && IsWindowEnabled(button);
}

// ---- list views -----------------------------------------------------------------

int ListCount(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

std::string ListText(HWND list, int item, int column) {
    char text[512] = "";
    LVITEMA info = {};
    info.iSubItem = column;
    info.pszText = text;
    info.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&info));
    return text;
}

bool ListSelected(HWND list, int item) {
    return (SendMessageA(list, LVM_GETITEMSTATE, item, LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

void ListSelect(HWND list, int item, bool selected) {
    SetState(list, item, LVIS_SELECTED | LVIS_FOCUSED, selected ? (LVIS_SELECTED | LVIS_FOCUSED) : 0);
}

void ListCheck(HWND list, int item, bool checked) {
    SetState(list, item, LVIS_STATEIMAGEMASK, INDEXTOSTATEIMAGEMASK(checked ? 2 : 1));
}

int ListFind(HWND list, const std::string& suffix) {
    for (int i = 0; i < ListCount(list); ++i) {
        std::string text = ListText(list, i, 0);
        if (text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
            return i;
    }
    return -1;
}

// ---- the BAV_Setup call -----------------------------------------------------------

SetupRun::SetupRun(PluginApi& api, std::function<void()> before) {
    thread_ = std::thread([this, &api, before] {
        if (before) before();
        result_ = api.Setup();
        InterlockedExchange(&done_, 1);
    });
}

bool SetupRun::Finish(DWORD timeoutMs) {
    bool finished = WaitUntil([&] { return InterlockedCompareExchange(&done_, 0, 0) != 0; }, timeoutMs);
    if (finished && thread_.joinable()) thread_.join();
    return finished;
}

SetupRun::~SetupRun() {
    if (!thread_.joinable()) return;
    while (InterlockedCompareExchange(&done_, 0, 0) == 0) {
        for (HWND w : OwnWindows(true)) {
            if (!IsDialog(w)) continue;
            PostMessageA(w, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
        }
        Sleep(100);
    }
    thread_.join();
}

// ---- screenshots ------------------------------------------------------------------

void SaveScreenshot(HWND window, const std::string& name) {
    char folder[MAX_PATH] = "";
    if (!GetEnvironmentVariableA("ORLIX_SCREENSHOTS", folder, MAX_PATH)) return;
    std::string path = folder;
    // A Unix folder from the test wrapper: reach it through Wine's root drive.
    if (!path.empty() && path[0] == '/') {
        for (char& c : path)
            if (c == '/') c = '\\';
        path = "Z:" + path;
    }
    path += "\\" + name + ".bmp";

    SetForegroundWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(300);
    RECT r;
    GetWindowRect(window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    const DWORD imageSize = ((width * 3 + 3) / 4) * 4 * height;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(out, &file, sizeof file, &written, nullptr);
        WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr);
        WriteFile(out, bits, imageSize, &written, nullptr);
        CloseHandle(out);
    }
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

// ---- the engine installers' keys ------------------------------------------------------

namespace {
const char* const kInstallerKeys[] = {"Software\\Ambervale\\Orlix", "Software\\Pavo\\Orlix32"};
}

InstallerKeysScratch::InstallerKeysScratch() {
    for (const char* key : kInstallerKeys) RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
}

InstallerKeysScratch::~InstallerKeysScratch() {
    for (const char* key : kInstallerKeys) RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
}

void InstallerKeysScratch::CreateEmpty(int index) { SetPath(index, std::string(), false); }

void InstallerKeysScratch::SetPath(int index, const std::string& path, bool withValue) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstallerKeys[index], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    if (withValue)
        RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>(path.size() + 1));
    RegCloseKey(key);
}
