#include "sheet_driver.h"

#include <tlhelp32.h>

#include <cstring>

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
}

namespace {
struct DialogSearch {
    std::string caption;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM parameter) {
    DialogSearch* search = reinterpret_cast<DialogSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") != 0) return TRUE;
    if (WindowText(window) != search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK CancelDialog(HWND window, LPARAM) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") != 0) return TRUE;
    PostMessageA(window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}
}  // namespace

HWND FindDialog(const std::string& caption) {
    DialogSearch search = {caption, nullptr};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForDialog(const std::string& caption, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindDialog(caption)) != nullptr; }, timeoutMs);
    return found;
}

bool WaitForDialogGone(HWND dialog, DWORD timeoutMs) {
    return WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, timeoutMs);
}

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
    if (!tabs) return titles;
    int count = static_cast<int>(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
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
    LVITEMA state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = selected ? (LVIS_SELECTED | LVIS_FOCUSED) : 0;
    SendMessageA(list, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&state));
}

void ListCheck(HWND list, int item, bool checked) {
    LVITEMA state = {};
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    SendMessageA(list, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&state));
}

int ListFind(HWND list, const std::string& suffix) {
    for (int i = 0; i < ListCount(list); ++i) {
        std::string text = ListText(list, i, 0);
        if (text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
            return i;
    }
    return -1;
}

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
        EnumWindows(CancelDialog, 0);
        Sleep(100);
    }
    thread_.join();
}

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
    const DWORD stride = ((width * 3 + 3) / 4) * 4;
    const DWORD imageSize = stride * height;
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

int ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

namespace {
const char* const kInstallerKeys[] = {"Software\\Ambervale\\Orlix", "Software\\Pavo\\Orlix32"};
}

InstallerKeysScratch::InstallerKeysScratch() {
    for (const char* key : kInstallerKeys) RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
}

InstallerKeysScratch::~InstallerKeysScratch() {
    for (const char* key : kInstallerKeys) RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
}

void InstallerKeysScratch::CreateEmpty(int index) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstallerKeys[index], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
}

void InstallerKeysScratch::SetPath(int index, const std::string& path) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstallerKeys[index], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>(path.size() + 1));
    RegCloseKey(key);
}

std::string DescribeDialogs() {
    std::string text;
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD process = 0;
        GetWindowThreadProcessId(w, &process);
        if (process != GetCurrentProcessId()) continue;
        char className[64] = "";
        GetClassNameA(w, className, sizeof className);
        text +=
            std::string("[") + className + " '" + WindowText(w) + "'" + (IsWindowVisible(w) ? " visible" : "") + "] ";
    }
    return text;
}

HWND WaitForSheet(DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
                DWORD process = 0;
                GetWindowThreadProcessId(w, &process);
                if (process != GetCurrentProcessId() || !IsWindowVisible(w)) continue;
                // The tab control of a sheet, or the Next button of a wizard.
                if (GetDlgItem(w, 0x3020) || GetDlgItem(w, kNextButton)) {
                    found = w;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

int ProcessHandleCount() {
    typedef LONG(WINAPI * QueryProc)(ULONG, PVOID, ULONG, PULONG);
    struct HandleEntry {
        ULONG process;
        BYTE type;
        BYTE flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    const ULONG kSystemHandleInformation = 16;
    QueryProc query =
        reinterpret_cast<QueryProc>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation"));
    if (!query) return -1;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        ULONG needed = 0;
        LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) break;
        if (buffer.size() >= (64u << 20)) return -1;
        buffer.resize(buffer.size() * 2);
    }
    const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
    const HandleEntry* entries = reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(ULONG));
    int mine = 0;
    for (ULONG i = 0; i < count; ++i)
        if (entries[i].process == GetCurrentProcessId()) ++mine;
    return mine;
}

void Settle(HWND window) { SendMessageA(window, WM_NULL, 0, 0); }
