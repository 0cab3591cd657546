// Finding the mail client's windows by their exact class names.
#pragma once

#include <windows.h>

// The first visible top-level "TMailerForm" window of this process, or null.
HWND FindHostMainWindow();
// The first visible, parented "TVirusCentre" window of the calling thread.
HWND FindVirusCentreWindow();
