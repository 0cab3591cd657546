#include "common/import_patch.h"

#include <cstdio>
#include <cstring>

namespace {

IMAGE_IMPORT_DESCRIPTOR* FirstImport(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return nullptr;
    return reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
}

// The import address table entry of dll!function, or null.
void** FindSlot(HMODULE module, const char* dll, const char* function) {
    if (!module) return nullptr;
    auto* base = reinterpret_cast<BYTE*>(module);
    for (IMAGE_IMPORT_DESCRIPTOR* d = FirstImport(module); d && d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + d->Name), dll) != 0) continue;
        if (d->OriginalFirstThunk == 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<char*>(byName->Name), function) == 0) {
                return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
    }
    return nullptr;
}

void WriteSlot(void** slot, void* value) {
    DWORD old = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

// The recorder's state: one recorder at a time.
std::mutex g_mutex;
std::vector<std::string> g_events;
DWORD g_thread = 0;
void* g_originals[7] = {};
enum { kPlaySound, kPostThreadMessage, kPostMessage, kSendMessage, kSetTimer, kKillTimer, kOutputDebugString };

bool OnRecordingThread() { return GetCurrentThreadId() == g_thread; }

void Record(const std::string& event) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_events.push_back(event);
}

std::string Hex(unsigned value) {
    char text[16];
    snprintf(text, sizeof text, "0x%x", value);
    return text;
}

BOOL WINAPI RecordPlaySound(LPCSTR sound, HMODULE module, DWORD flags) {
    if (!OnRecordingThread()) {
        return reinterpret_cast<BOOL(WINAPI*)(LPCSTR, HMODULE, DWORD)>(g_originals[kPlaySound])(sound, module, flags);
    }
    Record(std::string("PlaySoundA(") + (sound ? sound : "<null>") + ", " + Hex(flags) + ")");
    return TRUE;
}

BOOL WINAPI RecordPostThreadMessage(DWORD thread, UINT message, WPARAM w, LPARAM l) {
    if (!OnRecordingThread()) {
        return reinterpret_cast<BOOL(WINAPI*)(DWORD, UINT, WPARAM, LPARAM)>(g_originals[kPostThreadMessage])(
            thread, message, w, l);
    }
    Record("PostThreadMessageA(" + Hex(message) + ")");
    return TRUE;
}

BOOL WINAPI RecordPostMessage(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (!OnRecordingThread()) {
        return reinterpret_cast<BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM)>(g_originals[kPostMessage])(window, message,
                                                                                                      w, l);
    }
    Record("PostMessageA(" + Hex(message) + ")");
    return TRUE;
}

LRESULT WINAPI RecordSendMessage(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (!OnRecordingThread()) {
        return reinterpret_cast<LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM)>(g_originals[kSendMessage])(window,
                                                                                                         message, w, l);
    }
    Record("SendMessageA(" + Hex(message) + ")");
    return 0;
}

UINT_PTR WINAPI RecordSetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    if (!OnRecordingThread()) {
        return reinterpret_cast<UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC)>(g_originals[kSetTimer])(
            window, id, elapse, proc);
    }
    Record("SetTimer(" + std::to_string(id) + ", " + std::to_string(elapse) + ")");
    return id;
}

BOOL WINAPI RecordKillTimer(HWND window, UINT_PTR id) {
    if (!OnRecordingThread()) {
        return reinterpret_cast<BOOL(WINAPI*)(HWND, UINT_PTR)>(g_originals[kKillTimer])(window, id);
    }
    Record("KillTimer(" + std::to_string(id) + ")");
    return TRUE;
}

void WINAPI RecordOutputDebugString(LPCSTR text) {
    if (OnRecordingThread() && text) {
        std::string line = text;
        const std::string prefix = "Orlix for TheBAT!: ";
        if (line.compare(0, prefix.size(), prefix) == 0) line.erase(0, prefix.size());
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        Record("trace: " + line);
    }
    reinterpret_cast<void(WINAPI*)(LPCSTR)>(g_originals[kOutputDebugString])(text);
}

}  // namespace

bool ModuleImports(HMODULE module, const char* dll, const char* function) {
    return FindSlot(module, dll, function) != nullptr;
}

ImportPatch::ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement) {
    slot_ = FindSlot(module, dll, function);
    if (!slot_) return;
    original_ = *slot_;
    WriteSlot(slot_, replacement);
}

ImportPatch::~ImportPatch() {
    if (slot_) WriteSlot(slot_, original_);
}

AlertRecorder::AlertRecorder(HMODULE module) {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_events.clear();
        g_thread = GetCurrentThreadId();
    }
    const struct {
        const char* dll;
        const char* function;
        void* replacement;
        int index;
    } kPatches[] = {
        {"winmm.dll", "PlaySoundA", reinterpret_cast<void*>(&RecordPlaySound), kPlaySound},
        {"user32.dll", "PostThreadMessageA", reinterpret_cast<void*>(&RecordPostThreadMessage), kPostThreadMessage},
        {"user32.dll", "PostMessageA", reinterpret_cast<void*>(&RecordPostMessage), kPostMessage},
        {"user32.dll", "SendMessageA", reinterpret_cast<void*>(&RecordSendMessage), kSendMessage},
        {"user32.dll", "SetTimer", reinterpret_cast<void*>(&RecordSetTimer), kSetTimer},
        {"user32.dll", "KillTimer", reinterpret_cast<void*>(&RecordKillTimer), kKillTimer},
        {"kernel32.dll", "OutputDebugStringA", reinterpret_cast<void*>(&RecordOutputDebugString), kOutputDebugString},
    };
    for (const auto& p : kPatches) {
        auto* patch = new ImportPatch(module, p.dll, p.function, p.replacement);
        g_originals[p.index] = patch->original();
        patches_.push_back(patch);
    }
}

AlertRecorder::~AlertRecorder() {
    for (auto it = patches_.rbegin(); it != patches_.rend(); ++it) delete *it;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_thread = 0;
}

std::vector<std::string> AlertRecorder::Events() const {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_events;
}

void AlertRecorder::Clear() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_events.clear();
}

std::vector<std::string> AlertRecorder::AlertEvents() const {
    std::vector<std::string> result;
    for (const std::string& e : Events()) {
        if (e.compare(0, 7, "trace: ") == 0 && e.compare(0, 18, "trace: CheckFile #") != 0) continue;
        result.push_back(e);
    }
    return result;
}
