#include "setup/controls.h"
#include "setup/pages.h"
#include "setup/sheet.h"

namespace {
const PageRole kRole = {PSWIZB_NEXT, nullptr, nullptr, nullptr, nullptr, nullptr};
}  // namespace

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    return RunPage(page, message, wParam, lParam, kRole);
}
