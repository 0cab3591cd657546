// The alert decisions at the end of a check, against the code itself: every
// result with every setting that could switch an alert.
#include <gtest/gtest.h>

#include "report/notice.h"
#include "scan/scan.h"
#include "scan/scan_internal.h"
#include "settings/settings.h"

namespace {

enum Switches { kAllOn, kVirusOnly, kErrorOnly, kLogVirusOnly };

Settings With(Switches switches) {
    Settings s;
    s.SoundInfected = s.NotifyVirus = s.NotifyError = s.ShowLogVirus = s.ShowLogError = switches != kLogVirusOnly;
    if (switches == kVirusOnly) s.NotifyError = s.ShowLogError = false;
    if (switches == kErrorOnly) s.NotifyVirus = s.ShowLogVirus = s.SoundInfected = false;
    if (switches == kLogVirusOnly) s.ShowLogVirus = true;
    return s;
}

struct Decision {
    int32_t result;
    Switches switches;
    bool playSound;
    bool showLog;
    unsigned noticeFlags;
};

}  // namespace

TEST(AlertDecisions, EachResultPicksItsOwnSwitches) {
    const Decision cases[] = {
        {BavResultOk, kAllOn, false, false, 0},
        {BavResultInfected, kAllOn, true, true, kNoticeVirusFound},
        {BavResultSuspicious, kAllOn, true, true, kNoticeVirusFound},
        {BavResultFailed, kAllOn, true, true, kNoticeErrorOccurred},  // errors sound too
        {BavResultFailed, kVirusOnly, true, false, 0},
        {BavResultInfected, kErrorOnly, false, false, 0},
        {BavResultInfected, kLogVirusOnly, false, true, 0},  // a log request without a notice
    };
    for (const Decision& c : cases) {
        const CheckAlerts a = DecideCheckAlerts(c.result, With(c.switches));
        const std::string which = "result " + std::to_string(c.result) + " switches " + std::to_string(c.switches);
        EXPECT_EQ(c.playSound, a.playSound) << which;
        EXPECT_EQ(c.showLog, a.showLog) << which;
        EXPECT_EQ(c.noticeFlags, a.noticeFlags) << which;
    }
}
