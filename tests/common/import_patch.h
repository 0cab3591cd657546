// Replaces entries of a loaded module's import address table, so a test can
// see (and stand in for) the system calls that module makes.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

// True when the module imports the function from the DLL (by name).
bool ModuleImports(HMODULE module, const char* dll, const char* function);

// One replaced import; the original entry is put back on destruction.
class ImportPatch {
public:
    ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;
    bool patched() const { return slot_ != nullptr; }
    void* original() const { return original_; }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

// Records the alert-related calls a module makes on the thread that created
// the recorder, in order, as short texts:
//   "PlaySoundA(<null>, 0x40)", "PlaySoundA(C:\x.wav, 0x20001)",
//   "PostThreadMessageA(0x8001)", "PostMessageA(0x...)", "SendMessageA(0x40c)",
//   "SetTimer(1, 1000)", "KillTimer(1)", "trace: <text>".
// Sounds are not played and messages from that thread are not delivered;
// calls from other threads and every trace pass through unchanged.
class AlertRecorder {
public:
    explicit AlertRecorder(HMODULE module);
    ~AlertRecorder();
    AlertRecorder(const AlertRecorder&) = delete;
    AlertRecorder& operator=(const AlertRecorder&) = delete;

    std::vector<std::string> Events() const;
    void Clear();
    // Every event but the traces that are not "CheckFile #..." lines.
    std::vector<std::string> AlertEvents() const;

private:
    std::vector<ImportPatch*> patches_;
};
