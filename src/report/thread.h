// The plug-in's background thread: it owns the hidden window and the notice
// and turns log requests into the mail client's "open account log" command.
#pragma once

void StartPluginThread();
void StopPluginThread();
void RequestShowLog();
// Asks the background thread to restart the notice's hide timer.
void RestartNoticeHideTimer();
