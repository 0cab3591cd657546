// Small helpers for the report-view lists of the setup dialogs.
#pragma once

#include <windows.h>

#include <string>

void AddListColumn(HWND list, int column, const std::string& title);
// Appends an item; returns its index (-1 when it could not be added).
int AddListItem(HWND list, const std::string& text, LPARAM data);
void SetListSubItem(HWND list, int item, int column, const std::string& text);
void AutoSizeListColumns(HWND list, int columns);
int SelectedListItem(HWND list);
