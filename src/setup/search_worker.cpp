#include "setup/search_worker.h"

#include <string>

#include "win32/unique_handle.h"
#include "orlix/contract.h"
#include "engine/loader.h"

// Threads: the worker thread owns its walk; it shares only Shared with the
// dialog's thread (the host's).
//
// The worker may send to the dialog only while it holds the right to do so:
// it moves Running to Sending for each send and back afterwards. Stop takes
// the right away by moving Running to Stopped; while a send is in flight the
// dialog's thread lets that one message through and tries again. No lock is
// involved, so the worker can be anywhere (in a probe, in a listing) when the
// dialog closes; it notices the stop at its next folder or send and unwinds,
// closing its listings on the way.
struct SearchWorker::Shared {
    enum Phase : LONG { Running = 0, Sending = 1, Stopped = 2 };
    HWND dialog;
    DriveSet drives;
    volatile LONG phase = Running;

    bool stopped() const { return InterlockedCompareExchange(const_cast<volatile LONG*>(&phase), 0, 0) == Stopped; }

    bool Send(UINT message, WPARAM wParam, LPARAM lParam) {
        if (InterlockedCompareExchange(&phase, Sending, Running) != Running) return false;
        SendMessageA(dialog, message, wParam, lParam);
        InterlockedCompareExchange(&phase, Running, Sending);
        return true;
    }
};

namespace {

struct WorkerStart {
    std::shared_ptr<SearchWorker::Shared> shared;
    HMODULE module;
};

bool IsDotEntry(const char* name) { return lstrcmpA(name, ".") == 0 || lstrcmpA(name, "..") == 0; }

void SearchFolder(SearchWorker::Shared& shared, const std::string& folder) {
    if (shared.stopped()) return;
    if (!shared.Send(WM_SEARCHFOLDER, 0, reinterpret_cast<LPARAM>(folder.c_str()))) return;
    WIN32_FIND_DATAA entry;
    win::unique_hfind listing(FindFirstFileA((folder + "\\*.*").c_str(), &entry));
    if (!listing) return;
    do {
        if (shared.stopped()) return;
        // A junction may lead back to a folder above it: the walk would not end.
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!IsDotEntry(entry.cFileName)) SearchFolder(shared, folder + "\\" + entry.cFileName);
        } else if (lstrcmpiA(entry.cFileName, orlix::kEngineLibraryName) == 0) {
            int32_t version = ProbeEngine(folder + "\\" + orlix::kEngineLibraryName);
            if (version != 0)
                shared.Send(WM_SEARCHFOUND, static_cast<WPARAM>(version), reinterpret_cast<LPARAM>(folder.c_str()));
        }
    } while (FindNextFileA(listing.get(), &entry));
}

DWORD WINAPI SearchDrives(void* parameter) {
    WorkerStart* start = static_cast<WorkerStart*>(parameter);
    std::shared_ptr<SearchWorker::Shared> shared = std::move(start->shared);
    HMODULE module = start->module;
    delete start;
    try {
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            if (shared->stopped()) break;
            if (shared->drives & (1u << (letter - 64))) {
                const char root[] = {letter, ':', '\0'};
                SearchFolder(*shared, root);
            }
        }
        shared->Send(WM_SEARCHDONE, 0, 0);
    } catch (...) {
        // Out of memory for a folder text: the walk ends without a summary.
    }
    shared.reset();
    // The thread holds the plug-in loaded until it is out of the plug-in's code.
    if (module) FreeLibraryAndExitThread(module, 0);
    return 0;
}

}  // namespace

SearchWorker::SearchWorker(HWND dialog, DriveSet drives) : shared_(std::make_shared<Shared>()) {
    shared_->dialog = dialog;
    shared_->drives = drives;
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&SearchDrives), &module);
    WorkerStart* start = new WorkerStart{shared_, module};
    thread_ = CreateThread(nullptr, 0, SearchDrives, start, 0, nullptr);
    if (!thread_) {
        delete start;
        if (module) FreeLibrary(module);
        shared_->phase = Shared::Stopped;
    }
}

SearchWorker::~SearchWorker() {
    Stop();
    if (thread_) CloseHandle(thread_);
}

void SearchWorker::Stop() {
    for (;;) {
        LONG before = InterlockedCompareExchange(&shared_->phase, Shared::Stopped, Shared::Running);
        if (before != Shared::Sending) return;
        // The worker is sending to this thread: handle that message, then
        // take the right again.
        MSG message;
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE))
            MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    }
}
