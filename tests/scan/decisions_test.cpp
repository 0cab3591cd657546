// The alert decisions at the end of a check, against the code itself: every
// result with every setting that could switch an alert.
#include <gtest/gtest.h>

#include "report/notice.h"
#include "scan/scan.h"
#include "scan/scan_internal.h"
#include "settings/settings.h"

namespace {
Settings AllOn() {
    Settings s;
    s.SoundInfected = s.NotifyVirus = s.NotifyError = s.ShowLogVirus = s.ShowLogError = true;
    return s;
}
}  // namespace

TEST(AlertDecisions, CleanResultNeverAlerts) {
    CheckAlerts a = DecideCheckAlerts(BavResultOk, AllOn());
    EXPECT_FALSE(a.playSound);
    EXPECT_FALSE(a.showLog);
    EXPECT_EQ(0u, a.noticeFlags);
}

TEST(AlertDecisions, FindsAndErrorsPickTheirOwnSwitches) {
    for (int32_t result : {BavResultInfected, BavResultSuspicious}) {
        CheckAlerts a = DecideCheckAlerts(result, AllOn());
        EXPECT_TRUE(a.playSound);
        EXPECT_TRUE(a.showLog);
        EXPECT_EQ(kNoticeVirusFound, a.noticeFlags) << result;
    }
    CheckAlerts e = DecideCheckAlerts(BavResultFailed, AllOn());
    EXPECT_TRUE(e.playSound);  // errors sound too
    EXPECT_TRUE(e.showLog);
    EXPECT_EQ(kNoticeErrorOccurred, e.noticeFlags);

    Settings virusOnly = AllOn();
    virusOnly.NotifyError = virusOnly.ShowLogError = false;
    e = DecideCheckAlerts(BavResultFailed, virusOnly);
    EXPECT_FALSE(e.showLog);
    EXPECT_EQ(0u, e.noticeFlags);
    EXPECT_TRUE(e.playSound);

    Settings errorOnly = AllOn();
    errorOnly.NotifyVirus = errorOnly.ShowLogVirus = errorOnly.SoundInfected = false;
    CheckAlerts v = DecideCheckAlerts(BavResultInfected, errorOnly);
    EXPECT_FALSE(v.playSound);
    EXPECT_FALSE(v.showLog);
    EXPECT_EQ(0u, v.noticeFlags);
}

TEST(AlertDecisions, LogRequestWithoutNotice) {
    Settings s;
    s.ShowLogVirus = true;
    CheckAlerts a = DecideCheckAlerts(BavResultInfected, s);
    EXPECT_TRUE(a.showLog);
    EXPECT_EQ(0u, a.noticeFlags);
    EXPECT_FALSE(a.playSound);
}
