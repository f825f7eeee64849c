// Dropouts of the multimeter while both workers run a galvanostatic run against the simulator,
// one case per fault the simulator can put on it: each is a fault dated by its first failed
// exchange, the set-up sequence goes out again once the instrument listens, no data point spans
// the dropout, and readings and points go on afterwards.
#include "acquisition/TThread2000.h"

#include "common/Clock.h"
#include "common/FreeAndNil.h"
#include "control/TPID.h"
#include "control/TThread2401.h"
#include "diagnostics/LogChannel.h"
#include "instruments/TLinkMonitor.h"
#include "simulator/CellSimulator.h"
#include "tests/support/QtPrint.h"
#include "tests/support/SimulatorRun.h"
#include "tests/support/Wait.h"

#include <QTime>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>

namespace {

TRunState TestRun;

constexpr double kPointS = 1.0; // data-point length
constexpr double kCurrentMicroA = 2.0;

class THost2401 : public IThread2401Host {
public:
    double DataPointLength() const override { return kPointS; }
    int SetVoltagemV() const override { return 0; }
    void ShowPIDListing(const QStringList&) override {}
};

class THost2000 : public IThread2000Host {
public:
    std::atomic<bool> fast{false};
    double CellTemperatureOverride() const override { return 0; }
    bool FastMode() const override { return fast.load(); }
    int FastModeCount() const override { return 10; }
};

// What the multimeter's link told the event log, with when it was heard and, for a set-up sent
// again, whether the instrument could take it (on, and the fault cleared).
struct THeard {
    QString text;
    TDateTime at = 0;
    bool listening = false;
};

struct TDropout {
    const char* what;
    std::function<void(TCellSimulator&)> begin;
    std::function<void(TCellSimulator&)> end; // null: the fault ends by itself (a power cycle)
    const char* reasons;                      // the first failure's, as the event names it ("a|b": either)
    bool listens; // the instrument takes commands while the fault lasts (and it is on)
    bool fastMode = false;
};

void Fault(TCellSimulator& sim, TFault fault, bool on) {
    sim.SetFault(TInstrumentId::Dmm, fault, on);
}

const TDropout kDropouts[] = {
    {"power cycle of 2 s", [](auto& s) { s.PowerCycle(TInstrumentId::Dmm, 2000); }, nullptr, "no reply",
     true},
    {"power cycle of 2 s in fast mode", [](auto& s) { s.PowerCycle(TInstrumentId::Dmm, 2000); }, nullptr,
     "no reply", true, true},
    {"power cycle of 6 s", [](auto& s) { s.PowerCycle(TInstrumentId::Dmm, 6000); }, nullptr, "no reply",
     true},
    {"silent spell", [](auto& s) { Fault(s, TFault::Silent, true); },
     [](auto& s) { Fault(s, TFault::Silent, false); }, "no reply", false},
    {"garbage", [](auto& s) { Fault(s, TFault::Garbage, true); },
     [](auto& s) { Fault(s, TFault::Garbage, false); }, "unreadable reply", true},
    {"wrong field count", [](auto& s) { Fault(s, TFault::WrongFieldCount, true); },
     [](auto& s) { Fault(s, TFault::WrongFieldCount, false); }, "unreadable reply", true},
    {"overflow", [](auto& s) { Fault(s, TFault::Overflow, true); },
     [](auto& s) { Fault(s, TFault::Overflow, false); }, "overflow readings", true},
    {"vanished port", [](auto& s) { Fault(s, TFault::Vanished, true); },
     [](auto& s) { Fault(s, TFault::Vanished, false); }, "port missing|no reply|link failed", false},
};

// Seconds of the day of a time "hh:mm:ss".
int SecondOfDay(const QString& hhmmss) {
    const QTime t = QTime::fromString(hhmmss, QStringLiteral("hh:mm:ss"));
    return t.isValid() ? t.msecsSinceStartOfDay() / 1000 : -1;
}
int SecondOfDay(TDateTime t) {
    return QtFromDateTime(t).time().msecsSinceStartOfDay() / 1000;
}

class DmmDropout : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeLogChannels();
        TestRun.Reset();
        TestRun.SensorAx = 20; // the simulated sensor's calibration
        TestRun.SensorBx = 0.01;
        TestRun.GSCurrentMicroA = kCurrentMicroA;
        TestRun.PID = new TPID();
        sim = StartSimulator();
        ASSERT_TRUE(sim);
        TestRun.LinkDMM.SetListener([this](const QString&, const QString& text) {
            THeard h{text, Now(), false};
            if (text.startsWith(QStringLiteral("re-initialising")))
                h.listening = listens.load() && !sim->IsPoweredOff(TInstrumentId::Dmm);
            std::lock_guard<std::mutex> lock(heardLock);
            heard << h;
        });
        const QString smuPort = QString::fromStdString(sim->PortPath(TInstrumentId::Smu));
        const QString dmmPort = QString::fromStdString(sim->PortPath(TInstrumentId::Dmm));
        Initialize2401(smuPort);
        Initialize2000(dmmPort);
        smu = std::make_unique<TThread2401>(&host2401, TestRun);
        smu->Port = smuPort;
        smu->SetModeEx(TMode::SetCurrent);
        dmm = std::make_unique<TThread2000>(&host2000, TestRun);
        dmm->Port = dmmPort;
        dmm->SetToPauseEx(false);
        smu->start();
        dmm->start();
    }
    void TearDown() override {
        for (TInstrumentWorker* w :
             {static_cast<TInstrumentWorker*>(smu.get()), static_cast<TInstrumentWorker*>(dmm.get())})
            if (w)
                w->RequestStop();
        EXPECT_TRUE(WaitUntil([&] { return (!smu || smu->IsStopped()) && (!dmm || dmm->IsStopped()); }));
        smu.reset();
        dmm.reset();
        TestRun.LinkDMM.SetListener(nullptr);
        sim.reset();
        TestRun.Points.Drop();
        FreeAndNil(TestRun.PID);
        TestRun.Reset();
    }

    QList<THeard> Heard() {
        std::lock_guard<std::mutex> lock(heardLock);
        return heard;
    }
    // The first line heard from `from` on that starts with `text`, or -1.
    qsizetype Find(const QList<THeard>& lines, const QString& text, qsizetype from = 0) const {
        for (qsizetype i = from; i < lines.size(); ++i)
            if (lines[i].text.startsWith(text))
                return i;
        return -1;
    }
    // Points completed after `t` (wall clock), started after it too.
    int PointsAfter(TDateTime t) const {
        int n = 0;
        for (const TDataPoint& p : TestRun.DataPointQueue)
            n += p.Date - p.Interval / SecondsPerDay > t ? 1 : 0;
        return n;
    }
    double CellpO2() {
        double pO2 = 0;
        sim->WithCell([&](TSimCell& c) { pO2 = c.pO2Atm(); });
        return pO2;
    }
    double CellC() {
        double c = 0;
        sim->WithCell([&](TSimCell& cell) { c = cell.CellTemperatureC(); });
        return c;
    }

    std::unique_ptr<TCellSimulator> sim;
    THost2401 host2401;
    THost2000 host2000;
    std::unique_ptr<TThread2401> smu;
    std::unique_ptr<TThread2000> dmm;
    std::mutex heardLock;
    QList<THeard> heard;
    std::atomic<bool> listens{true}; // the instrument takes a set-up, unless it is off
};

TEST_F(DmmDropout, EveryDropoutIsAFaultFromItsFirstFailedExchangeAndNoPointSpansIt) {
    for (const TDropout& c : kDropouts) {
        SCOPED_TRACE(c.what);
        host2000.fast = c.fastMode;
        // A sound run delivering points.
        const TDateTime sound = Now();
        ASSERT_TRUE(WaitUntil([&] { return TestRun.LinksDeliver() && PointsAfter(sound) >= 1; }));

        const qsizetype firstHeard = Heard().size();
        const int reinits = TestRun.LinkDMM.Reinits();
        // A power-cycled instrument takes a set-up once it is on; a silent or vanished one once
        // the fault is cleared.
        listens = c.listens;
        const TDateTime injected = Now();
        c.begin(*sim);
        // The fault is named at once, with its start.
        QString status;
        ASSERT_TRUE(WaitUntil([&] {
            status = TestRun.LinkDMM.StatusText();
            return !status.isEmpty();
        }));
        if (c.end) {
            // Held until a set-up has gone out during it, then cleared.
            ASSERT_TRUE(WaitUntil([&] { return TestRun.LinkDMM.Reinits() > reinits; }));
            listens = true;
            c.end(*sim);
        } else {
            ASSERT_TRUE(WaitUntil([&] { return !sim->IsPoweredOff(TInstrumentId::Dmm); }));
        }
        ASSERT_TRUE(
            WaitUntil([&] { return Find(Heard().mid(firstHeard), QStringLiteral("readings back")) >= 0; }));
        const QList<THeard> lines = Heard().mid(firstHeard);
        const qsizetype back = Find(lines, QStringLiteral("readings back"));
        const TDateTime backAt = lines[back].at;
        // Points go on afterwards.
        ASSERT_TRUE(WaitUntil([&] { return PointsAfter(backAt) >= 2; }));

        // One fault, with its true start: the first failed exchange began at most a moment before
        // the dropout (an exchange under way) and soon after it; the time it was noticed (a reply
        // time-out, 2 s later; the end of the cycle, later still) is not its start.
        const QString first = lines.first().text;
        const std::string shown = first.toStdString();
        const qsizetype at = first.indexOf(QStringLiteral(" since "));
        ASSERT_GT(at, 0) << shown;
        EXPECT_TRUE(QString::fromLatin1(c.reasons).split(u'|').contains(first.left(at))) << shown;
        const QString hhmmss = first.mid(at + 7);
        EXPECT_GE(SecondOfDay(hhmmss), SecondOfDay(injected - 1.0 / SecondsPerDay)) << shown;
        EXPECT_LE(SecondOfDay(hhmmss), SecondOfDay(injected + 1.5 / SecondsPerDay)) << shown;
        EXPECT_TRUE(status.contains(QStringLiteral("since ") + hhmmss))
            << status.toStdString() << " / " << shown;
        for (qsizetype i = 1; i < lines.size(); ++i)
            EXPECT_FALSE(lines[i].text.contains(QStringLiteral(" since ")))
                << "a second fault: " << lines[i].text.toStdString();

        // The set-up went out again, the last time before the readings came back to an instrument
        // that could take it: after a power cycle, once it was on again.
        qsizetype lastSetUp = -1;
        for (qsizetype i = 0; i < back; ++i)
            if (lines[i].text.startsWith(QStringLiteral("re-initialising")))
                lastSetUp = i;
        ASSERT_GE(lastSetUp, 0) << "no set-up sent during the fault";
        EXPECT_TRUE(lines[lastSetUp].listening)
            << "the last set-up went to an instrument that was off or faulty";

        // No point spans the dropout, and none completed while it lasted; every point holds the
        // cell's values.
        const TDateTime noticed = lines.first().at;
        for (const TDataPoint& p : TestRun.DataPointQueue) {
            const TDateTime begun = p.Date - p.Interval / SecondsPerDay;
            EXPECT_FALSE(begun < injected && p.Date > noticed)
                << "a point from " << QtFromDateTime(begun).toString("hh:mm:ss.zzz").toStdString() << " to "
                << QtFromDateTime(p.Date).toString("hh:mm:ss.zzz").toStdString() << " spans the dropout";
            EXPECT_FALSE(p.Date > noticed && p.Date < backAt) << "a point completed during the dropout";
            EXPECT_NEAR(p.Temp, CellC(), 1.0);
            EXPECT_NEAR(p.PumpI, kCurrentMicroA * 1e-6, 0.1e-6);
            if (p.CellpO2Valid)
                EXPECT_NEAR(p.CellpO2 / CellpO2(), 1.0, 0.05);
        }
        TestRun.DataPointQueue.clear();
    }
}

} // namespace
