#include "common/process_counters.h"

#include <tlhelp32.h>

#include <vector>

namespace {

// The system's handle list, as NtQuerySystemInformation gives it.
struct SystemHandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ULONG access;
};
struct SystemHandleList {
    ULONG count;
    SystemHandleEntry entries[1];
};
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

DWORD HandlesFromSystemList() {
    typedef LONG(__stdcall * QueryProc)(ULONG, PVOID, ULONG, PULONG);
    QueryProc query = reinterpret_cast<QueryProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    std::vector<char> buffer(1 << 16);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(buffer.size() * 4 > needed ? buffer.size() * 4 : needed + 4096);
            continue;
        }
        if (status < 0) return 0;
        const SystemHandleList* list = reinterpret_cast<const SystemHandleList*>(buffer.data());
        DWORD mine = 0;
        const DWORD pid = GetCurrentProcessId();
        for (ULONG i = 0; i < list->count; ++i) mine += list->entries[i].ownerPid == pid;
        return mine;
    }
    return 0;
}

// The process's GDI handle table (PEB field GdiSharedHandleTable): entries of
// 24 bytes whose type byte is non-zero while the object lives.
struct GdiEntry {
    unsigned long long object;
    ULONG owner;
    USHORT unique;
    BYTE type;
    BYTE flags;
    unsigned long long user;
};
constexpr DWORD kGdiEntries = 0x10000;

DWORD GdiFromHandleTable() {
    typedef LONG(__stdcall * QueryProc)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    QueryProc query = reinterpret_cast<QueryProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    if (!query) return 0;
    struct BasicInformation {
        LONG exitStatus;
        PVOID peb;
        ULONG_PTR affinity;
        LONG priority;
        ULONG_PTR pid;
        ULONG_PTR parent;
    } info = {};
    if (query(GetCurrentProcess(), 0, &info, sizeof info, nullptr) < 0 || !info.peb) return 0;
    // GdiSharedHandleTable sits at offset 0x94 of a 32-bit PEB.
    const GdiEntry* table = *reinterpret_cast<GdiEntry* const*>(static_cast<char*>(info.peb) + 0x94);
    if (!table || IsBadReadPtr(table, sizeof(GdiEntry) * kGdiEntries)) return 0;
    DWORD live = 0;
    for (DWORD i = 0; i < kGdiEntries; ++i) live += table[i].type != 0;
    return live;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId()) return TRUE;
    ++*reinterpret_cast<DWORD*>(count);
    EnumChildWindows(window, CountWindow, count);
    return TRUE;
}

DWORD WindowsOfThisProcess() {
    DWORD count = 0;
    EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&count));
    for (HWND w = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = FindWindowExA(HWND_MESSAGE, w, nullptr, nullptr))
        CountWindow(w, reinterpret_cast<LPARAM>(&count));
    return count;
}

}  // namespace

ProcessCounters ReadProcessCounters() {
    ProcessCounters c;
    GetProcessHandleCount(GetCurrentProcess(), &c.handles);
    if (c.handles == 0) c.handles = HandlesFromSystemList();
    c.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (c.gdiObjects == 0) c.gdiObjects = GdiFromHandleTable();
    c.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (c.userObjects == 0) c.userObjects = WindowsOfThisProcess();
    return c;
}

CounterAvailability ProbeCounters() {
    CounterAvailability a;
    const ProcessCounters before = ReadProcessCounters();
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HWND window = CreateWindowExA(0, "STATIC", "probe", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr);
    const ProcessCounters during = ReadProcessCounters();
    if (window) DestroyWindow(window);
    if (brush) DeleteObject(brush);
    if (event) CloseHandle(event);
    const ProcessCounters after = ReadProcessCounters();
    a.handlesCounted = during.handles == before.handles + 1 && after.handles == before.handles;
    a.gdiCounted = during.gdiObjects == before.gdiObjects + 1 && after.gdiObjects == before.gdiObjects;
    a.userCounted = during.userObjects >= before.userObjects + 1 && after.userObjects == before.userObjects;
    return a;
}

std::set<DWORD> ThreadsOfProcess() {
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
    CloseHandle(snapshot);
    return ids;
}
