#include "report/thread.h"

void StartPluginThread() {}
void StopPluginThread() {}
void RequestShowLog() {}
void RestartNoticeHideTimer() {}
