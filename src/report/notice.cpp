#include "report/notice.h"

HWND FindHostMainWindow() { return nullptr; }
HWND FindVirusCentreWindow() { return nullptr; }
void CreateNotice() {}
void ShowNotice(unsigned) {}
void HideNotice() {}
void PlayAlertSound(const std::string&) {}
