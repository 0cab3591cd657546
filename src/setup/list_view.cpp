#include "setup/list_view.h"

#include <cstring>
#include <vector>

#include "setup/controls.h"

namespace {
// The list views take texts through non-const pointers.
std::vector<char> Writable(const std::string& text) {
    return std::vector<char>(text.c_str(), text.c_str() + text.size() + 1);
}

// Sends an item record carrying a writable copy of the text.
LRESULT SendItem(HWND list, UINT message, WPARAM wParam, LVITEMA item, const std::string& text) {
    std::vector<char> copy = Writable(text);
    item.pszText = copy.data();
    return SendMessageA(list, message, wParam, reinterpret_cast<LPARAM>(&item));
}
}  // namespace

void AddListColumn(HWND list, int column, const std::string& title) {
    std::vector<char> text = Writable(title);
    LVCOLUMNA info;
    std::memset(&info, 0, sizeof info);
    info.mask = LVCF_TEXT;
    info.pszText = text.data();
    SendMessageA(list, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&info));
}

int AddListItem(HWND list, const std::string& text, LPARAM data) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    item.lParam = data;
    return static_cast<int>(SendItem(list, LVM_INSERTITEMA, 0, item, text));
}

void SetListSubItem(HWND list, int item, int column, const std::string& text) {
    if (item < 0) return;
    LVITEMA info = {};
    info.iSubItem = column;
    SendItem(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(item), info, text);
}

void AutoSizeListColumns(HWND list, int columns) {
    for (int column = 0; column < columns; ++column)
        SendMessageA(list, LVM_SETCOLUMNWIDTH, column, LVSCW_AUTOSIZE_USEHEADER);
}

int SelectedListItem(HWND list) {
    return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}
