// Threads: the pending text belongs to the host's thread, which writes every
// line of a check. The regional formats are set at library load and only read
// afterwards. Another thread may write a whole error line (a search worker's
// probe) while the host's thread waits in a modal setup dialog.
#include "report/log.h"

#include <windows.h>

#include "base/module.h"
#include "win32/unique_handle.h"
#include "resources/resource.h"
#include "settings/settings.h"

namespace {

std::string g_pending;

// The user's regional formats, as they were at library load.
struct RegionalFormats {
    char shortDate[80] = "M/d/yyyy";
    char timeSeparator[16] = ":";
    char am[16] = "AM";
    char pm[16] = "PM";
    bool leadingZeroHour = false;
    bool twelveHourClock = true;
    bool markBeforeTime = false;
};
RegionalFormats g_formats;

void ReadLocaleText(LCTYPE type, char* buffer, int size) {
    char value[80];
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, type, value, sizeof value) > 0) lstrcpynA(buffer, value, size);
}

bool ReadLocaleFlag(LCTYPE type, bool fallback) {
    char value[8];
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, type, value, sizeof value) <= 0) return fallback;
    return value[0] == '1';
}

// Whether a finished line would reach the file; read afresh for every line.
bool LogWanted() {
    const Settings& settings = CurrentSettings();
    return settings.LogEnabled && !settings.LogPath.empty();
}

std::string TimestampedLine(const std::string& text) {
    std::string line = LogTimestamp();
    line += text;
    line += "\r\n";
    return line;
}

}  // namespace

void CaptureRegionalSettings() {
    RegionalFormats formats;
    ReadLocaleText(LOCALE_SSHORTDATE, formats.shortDate, sizeof formats.shortDate);
    ReadLocaleText(LOCALE_STIME, formats.timeSeparator, sizeof formats.timeSeparator);
    ReadLocaleText(LOCALE_S1159, formats.am, sizeof formats.am);
    ReadLocaleText(LOCALE_S2359, formats.pm, sizeof formats.pm);
    formats.leadingZeroHour = ReadLocaleFlag(LOCALE_ITLZERO, false);
    formats.twelveHourClock = !ReadLocaleFlag(LOCALE_ITIME, false);
    formats.markBeforeTime = ReadLocaleFlag(LOCALE_ITIMEMARKPOSN, false);
    g_formats = formats;
}

std::string LogTimestamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);

    char date[128] = "";
    GetDateFormatA(LOCALE_USER_DEFAULT, 0, &now, g_formats.shortDate, date, sizeof date);

    int hour = now.wHour;
    const char* mark = nullptr;
    if (g_formats.twelveHourClock) {
        mark = hour < 12 ? g_formats.am : g_formats.pm;
        hour %= 12;
        if (hour == 0) hour = 12;
    }
    std::string time = FormatText(g_formats.leadingZeroHour ? "%02d%s%02d%s%02d" : "%d%s%02d%s%02d", hour,
                                  g_formats.timeSeparator, now.wMinute, g_formats.timeSeparator, now.wSecond);
    if (mark && *mark) time = g_formats.markBeforeTime ? std::string(mark) + " " + time : time + " " + mark;

    std::string stamp = date;
    stamp += ' ';
    stamp += time;
    stamp += "  ";
    return stamp;
}

void LogAppend(const std::string& text) { g_pending += text; }

// With the log off no time stamp is built: checks stay cheap.
void LogLine(const std::string& text) {
    if (!LogWanted()) {
        g_pending.clear();
        return;
    }
    g_pending += text;
    std::string line = TimestampedLine(g_pending);
    g_pending.clear();
    LogWrite(line);
}

void LogFlush() {
    if (!LogWanted()) {
        g_pending.clear();
        return;
    }
    std::string line = TimestampedLine(g_pending);
    g_pending.clear();
    LogWrite(line);
}

void LogError(const std::string& text) {
    if (LogWanted()) LogWrite(TimestampedLine(LoadText(IDS_ERROR_PREFIX) + text));
}

void LogWrite(const std::string& line) {
    if (!LogWanted()) return;
    const Settings& settings = CurrentSettings();
    // Always one backslash, even after a trailing separator: the file's name
    // is fixed relative to the folder as the user typed it.
    std::string path = settings.LogPath + "\\" + kLogFileName;
    win::unique_hfile file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
    if (!file) return;
    SetFilePointer(file.get(), 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void DiscardPendingLogText() { std::string().swap(g_pending); }

const std::string& PendingLogText() { return g_pending; }
