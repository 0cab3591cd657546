// The common controls (property sheets, list views), which need windows.h
// first.
#pragma once

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
