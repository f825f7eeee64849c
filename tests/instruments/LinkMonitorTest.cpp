// The link watch on its own, driven through the clock seam: when a fault starts and how it is
// dated, when the set-up sequence goes out again, when the fault ends, and that durations and
// pauses run on the monotonic clock while the texts show the wall clock's time of day.
#include "instruments/TLinkMonitor.h"

#include "common/Clock.h"
#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// 14:02:00 local time; script times are seconds after it.
const TDateTime kStart = EncodeDateTime(2026, 10, 25, 14, 2, 0);

enum class TDo {
    Silent,   // an exchange got no reply
    Answered, // an exchange got a reply that is not as set up
    Replied,  // one exchange came back as set up, within a cycle
    Good,     // a whole cycle came back as set up
    SetUp,    // the worker asks whether to send the set-up sequence now
    WallStep, // the wall clock alone jumps by `seconds` (daylight saving, an NTP step)
    Status,   // the status bar's text is read
};

struct TStep {
    double t; // s after the start, on the monotonic clock
    TDo what;
    double seconds = 0;      // failures: how long ago the exchange began; WallStep: the jump
    const char* reason = ""; // failures
};

struct TCase {
    const char* what;
    std::vector<TStep> steps;
    QStringList heard; // the listener's texts, and "status: " + the status text where read
    TLinkState last;
};

class LinkMonitor : public ::testing::Test {
protected:
    void SetUp() override { Clock::Fix(kStart); }
    void TearDown() override { Clock::Release(); }

    // Runs the steps on a fresh link; returns what it said.
    static QStringList Run(const std::vector<TStep>& steps, TLinkMonitor& link) {
        QStringList heard;
        link.SetListener([&](const QString& name, const QString& text) {
            EXPECT_EQ(name, QStringLiteral("DMM"));
            heard << text;
        });
        double now = 0;
        for (const TStep& s : steps) {
            Clock::AdvanceSeconds(s.t - now);
            now = s.t;
            const TLinkInstant began{MonotonicSeconds() - s.seconds, Now() - s.seconds / SecondsPerDay};
            switch (s.what) {
            case TDo::Silent:
            case TDo::Answered:
                link.Failure(began, QString::fromLatin1(s.reason), s.what == TDo::Answered);
                break;
            case TDo::Replied:
                link.Replied();
                break;
            case TDo::Good:
                link.Success();
                break;
            case TDo::SetUp:
                link.ReinitDue();
                break;
            case TDo::WallStep:
                Clock::StepWallSeconds(s.seconds);
                break;
            case TDo::Status:
                heard << QStringLiteral("status: ") + link.StatusText();
                break;
            }
        }
        link.SetListener(nullptr);
        return heard;
    }
};

TEST_F(LinkMonitor, FaultsAreDatedByTheirFirstFailedExchangeAndEndOnlyAfterASetUpThatArrived) {
    const TCase cases[] = {
        {"one unreadable reply is a fault, the set-up goes out at once",
         {{10.0, TDo::Answered, 0, "unreadable reply"}, {10.1, TDo::SetUp}, {10.4, TDo::Good}},
         {"unreadable reply since 14:02:10", "re-initialising (1)",
          "readings back after 0.4 s (unreadable reply)"},
         TLinkState::OK},
        {"a reply time-out is dated by the exchange that began 2 s earlier",
         {{12.0, TDo::Silent, 2.0, "no reply"}, {12.0, TDo::Status}},
         {"no reply since 14:02:10", "status: DMM: no reply since 14:02:10"},
         TLinkState::Failing},
        {"a short power cycle: the set-up sent into the silence may be lost, so it goes out again once "
         "readings come back, and the next good cycle ends the fault",
         {{12.0, TDo::Silent, 2.0, "no reply"},
          {12.0, TDo::SetUp},
          {12.3, TDo::Good},
          {12.3, TDo::Status},
          {12.3, TDo::SetUp},
          {12.6, TDo::Good}},
         {"no reply since 14:02:10", "re-initialising (1)",
          "status: DMM: re-initialising (no reply since 14:02:10)", "re-initialising (2)",
          "readings back after 2.6 s (no reply)"},
         TLinkState::OK},
        {"an answer after silence brings the next set-up forward, however long the pause has grown",
         {{2.0, TDo::Silent, 2.0, "no reply"},
          {2.0, TDo::SetUp},
          {2.5, TDo::SetUp},
          {2.6, TDo::Replied},
          {2.6, TDo::SetUp},
          {2.8, TDo::Silent, 0.1, "no reply"},
          {2.9, TDo::Answered, 0, "wrong number of readings"},
          {2.9, TDo::SetUp},
          {3.2, TDo::Good}},
         {"no reply since 14:02:00", "re-initialising (1)", "re-initialising (2)", "re-initialising (3)",
          "readings back after 3.2 s (wrong number of readings)"},
         TLinkState::OK},
        {"a set-up that reached a listening instrument is not sent again before the pause is over",
         {{1.0, TDo::Answered, 0, "overflow readings"},
          {1.1, TDo::SetUp},
          {1.3, TDo::Answered, 0, "overflow readings"},
          {1.5, TDo::SetUp},
          {2.1, TDo::SetUp},
          {2.5, TDo::Good},
          {2.5, TDo::Good}},
         {"overflow readings since 14:02:01", "re-initialising (1)", "re-initialising (2)",
          "readings back after 1.5 s (overflow readings)"},
         TLinkState::OK},
        {"the wall clock steps back an hour during a fault: the text keeps the first failure's time of "
         "day, the duration counts on",
         {{2.0, TDo::Silent, 2.0, "port missing"},
          {2.1, TDo::WallStep, -3600},
          {2.1, TDo::SetUp},
          {5.0, TDo::Replied},
          {5.0, TDo::SetUp},
          {5.0, TDo::Status},
          {5.5, TDo::Good}},
         {"port missing since 14:02:00", "re-initialising (1)", "re-initialising (2)",
          "status: DMM: re-initialising (port missing since 14:02:00)",
          "readings back after 5.5 s (port missing)"},
         TLinkState::OK},
        {"good cycles on a sound link say nothing, and a set-up is never due",
         {{1.0, TDo::Good}, {1.0, TDo::SetUp}, {2.0, TDo::Replied}, {2.0, TDo::Status}},
         {"status: "},
         TLinkState::OK},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        Clock::Fix(kStart);
        TLinkMonitor link(QStringLiteral("DMM"));
        EXPECT_EQ(Run(c.steps, link), c.heard);
        EXPECT_EQ(link.State(), c.last);
        EXPECT_EQ(link.IsOK(), c.last == TLinkState::OK);
    }
}

TEST_F(LinkMonitor, TheSetUpIsTriedWithAPauseGrowingTo30SOnTheMonotonicClock) {
    // A silent instrument for 200 s, its worker failing an exchange every 0.5 s and asking every
    // 0.1 s; halfway the wall clock jumps back an hour, which neither brings a try forward nor
    // holds one back.
    TLinkMonitor link(QStringLiteral("SMU"));
    std::vector<double> tries;
    for (int i = 0; i <= 2000; ++i) {
        if (i == 1000)
            Clock::StepWallSeconds(-3600);
        if (i % 5 == 0)
            link.Failure(TLinkInstant::Take(), QStringLiteral("no reply"), false);
        if (link.ReinitDue())
            tries.push_back(i * 0.1);
        Clock::AdvanceSeconds(0.1);
    }
    // A try is due on the first question at or after its time; rounding may make that the next.
    const std::vector<double> pauses = {1, 2, 4, 8, 16, 30, 30, 30, 30, 30};
    ASSERT_EQ(tries.size(), pauses.size() + 1);
    EXPECT_EQ(tries.front(), 0.0) << "the first try goes out with the first failure";
    for (size_t k = 0; k < pauses.size(); ++k)
        EXPECT_NEAR(tries[k + 1] - tries[k], pauses[k], 0.15) << "pause " << k;
    EXPECT_EQ(link.Reinits(), int(tries.size()));
}

} // namespace
