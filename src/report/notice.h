// The balloon notice at the mail client's main window.
#pragma once

#include <windows.h>

#include <string>

constexpr unsigned kNoticeVirusFound = 0x1;
constexpr unsigned kNoticeErrorOccurred = 0x2;

// Creates the balloon on the calling thread (the background thread), owned
// by the mail client's main window; the notice is hidden until ShowNotice.
void CreateNotice();
// Shows or updates the balloon from any thread; waits until the owning
// thread has handled it.
void ShowNotice(unsigned noticeFlags);
void HideNotice();
// Removes the balloon's tool (and with it the subclass it put on the mail
// client's window) and destroys the balloon; on the thread that created it.
void DestroyNotice();
// The balloon, null until created and after DestroyNotice.
HWND NoticeWindow();
// The balloon's text for the given flags: lines separated by bare CRs.
std::string NoticeBody(unsigned noticeFlags);
