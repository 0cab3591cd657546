// The report log "orxbat!.log" in LogPath: time-stamped lines, opened,
// appended to and closed for every line. A line may be built from pieces
// (LogAppend) and finished later (LogLine).
#pragma once

#include <string>

#include "orlix/setting_names.h"


void LogAppend(const std::string& text);
void LogLine(const std::string& text);
void LogFlush();
void LogError(const std::string& text);
void LogWrite(const std::string& line);

// Date, one blank, time, two blanks, in the regional formats taken by
// CaptureRegionalSettings.
std::string LogTimestamp();
void CaptureRegionalSettings();

// Library unload: the pending text is dropped, never written.
void DiscardPendingLogText();
const std::string& PendingLogText();
