#include <string>

#include "base/trace.h"
#include "report/notice.h"
#include "report/sound.h"
#include "report/thread.h"
#include "scan/scan.h"
#include "scan/scan_internal.h"
#include "settings/settings.h"

CheckAlerts DecideCheckAlerts(int32_t result, const Settings& settings) {
    CheckAlerts alerts;
    const bool found = result == BavResultInfected || result == BavResultSuspicious;
    const bool failed = result == BavResultFailed;
    // Errors sound like finds: the user should look either way.
    alerts.playSound = result != BavResultOk && settings.SoundInfected;
    alerts.showLog = (found && settings.ShowLogVirus) || (failed && settings.ShowLogError);
    if (found && settings.NotifyVirus) alerts.noticeFlags |= kNoticeVirusFound;
    if (failed && settings.NotifyError) alerts.noticeFlags |= kNoticeErrorOccurred;
    return alerts;
}

void RaiseCheckAlerts(int32_t result) {
    const Settings& settings = CurrentSettings();
    const CheckAlerts alerts = DecideCheckAlerts(result, settings);
    if (alerts.playSound) PlayAlertSound(settings.SoundFileInfected);
    TraceCall("CheckFile #0: Result = " + std::to_string(result));
    if (alerts.showLog) RequestShowLog();
    if (alerts.noticeFlags != 0) {
        ShowNotice(alerts.noticeFlags);
        RestartNoticeHideTimer();
    }
    TraceCall("CheckFile #1: Result = " + std::to_string(result));
}
