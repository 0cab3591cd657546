#include "setup/setup.h"

bool RunSetup(HWND) { return false; }
