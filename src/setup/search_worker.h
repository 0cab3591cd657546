// The drive search's worker thread and the way the searching dialog stops it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

// A set of drive letters: letter c is bit c - 64 (A is bit 1, Z bit 26).
typedef uint32_t DriveSet;

// Sent (synchronously) by the worker to the searching dialog.
constexpr UINT WM_SEARCHFOLDER = WM_APP + 1;  // lParam: folder being entered
constexpr UINT WM_SEARCHFOUND = WM_APP + 2;   // wParam: version, lParam: folder
constexpr UINT WM_SEARCHDONE = WM_APP + 3;

class SearchWorker {
public:
    // Starts walking the drives in the set at once; the set is copied.
    SearchWorker(HWND dialog, DriveSet drives);
    // Stops the walk; see Stop.
    ~SearchWorker();
    SearchWorker(const SearchWorker&) = delete;
    SearchWorker& operator=(const SearchWorker&) = delete;

    bool started() const { return thread_ != nullptr; }
    // Called on the dialog's thread. Afterwards the worker enters no folder
    // and sends nothing. Does not wait for a probe or a listing under way:
    // only a send already addressed to this thread is let through first.
    void Stop();

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    HANDLE thread_ = nullptr;
};
