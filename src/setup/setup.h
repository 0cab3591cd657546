// The setup sheet: a first-run wizard or an ordinary property sheet.
#pragma once

#include <windows.h>

// True when the user accepted the sheet.
bool RunSetup(HWND parent);
