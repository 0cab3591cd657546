// The mail client's windows, the balloon notice and the alert sounds.
#pragma once

#include <windows.h>

#include <string>

constexpr unsigned kNoticeVirusFound = 0x1;
constexpr unsigned kNoticeErrorOccurred = 0x2;

HWND FindHostMainWindow();
HWND FindVirusCentreWindow();
void CreateNotice();
void ShowNotice(unsigned noticeFlags);
void HideNotice();
void PlayAlertSound(const std::string& soundFile);
