// The setup sheet: a first-run wizard or an ordinary property sheet.
#pragma once

#include <windows.h>

enum class SetupOutcome {
    Cancelled,
    Accepted,
    // The accepted sheet was the first-run wizard: the plug-in is to be
    // initialised with the settings just saved.
    AcceptedFirstRun,
};

// Shows the sheet modally; an accepted sheet's settings replace the live ones
// and are saved, a cancelled one leaves both as they were.
SetupOutcome RunSetup(HWND parent);
