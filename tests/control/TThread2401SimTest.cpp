// The SourceMeter thread against the simulated SourceMeter 2401 and cell, served on
// pseudo-terminals inside the test process: data points in every mode, what reaches the pump, the
// instrument's faults and stopping. The multimeter's part (temperature and pO2 averages, the PID
// process value) is played by a timer on the main thread that reads the simulated cell.
#include "control/TThread2401.h"
#include "instruments/TLinkMonitor.h"

#include "common/Clock.h"
#include "common/FreeAndNil.h"
#include "control/TPID.h"
#include "diagnostics/LogChannel.h"
#include "simulator/CellSimulator.h"
#include "tests/support/LogCapture.h"
#include "tests/support/QtPrint.h"
#include "tests/support/SimulatorRun.h"
#include "tests/support/Wait.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {

// The run the thread under test serves; the timer below plays the multimeter thread's part of it.
TRunState TestRun;

// Generous: the machine running the tests may be loaded.
// What a stop may take: 3 s, with a margin for a loaded machine.
constexpr qint64 kStopBoundMs = 4000;
// The thread's reply time-out.
constexpr qint64 kReadoutTimeoutMs = 500;

bool ContainsRun(const QStringList& lines, const QStringList& run) {
    for (int i = 0; i + run.size() <= lines.size(); ++i)
        if (lines.mid(i, run.size()) == run)
            return true;
    return false;
}

class TTestHost : public IThread2401Host {
public:
    double length = 1; // s, the smallest integration time the window allows
    int setVoltagemV = 0;
    int listings = 0;
    double DataPointLength() const override { return length; }
    int SetVoltagemV() const override { return setVoltagemV; }
    void ShowPIDListing(const QStringList& lines) override { listings += lines.isEmpty() ? 0 : 1; }
};

struct TPumpSeen {
    TPumpDrive drive;
    TPumpState state;
    double temperatureC = 0;
    double pO2 = 0;
};

class Thread2401Sim : public ::testing::Test {
protected:
    void SetUp() override {
        TestRun.Reset();
        InitializeLogChannels();
        TestRun.PID = new TPID();
        Start();
    }
    void TearDown() override {
        fFeeder.stop();
        if (thread)
            Stop();
        sim.reset();
        TestRun.Points.Drop();
        FreeAndNil(TestRun.PID);
        TestRun.Reset();
    }

    void Start() {
        sim = StartSimulator();
        ASSERT_TRUE(sim);
        port = QString::fromStdString(sim->PortPath(TInstrumentId::Smu));
    }
    // As the validation does: set-up sequence, then the thread, which starts in its own pause.
    void StartThread() {
        Initialize2401(port);
        thread = std::make_unique<TThread2401>(&host, TestRun);
        thread->Port = port;
        thread->start();
    }
    // Stops the thread the way the program does on exit; returns how long the stop took, in ms.
    qint64 Stop() {
        QElapsedTimer clock;
        clock.start();
        thread->SetModeEx(TMode::SetCurrent);
        TestRun.GSCurrentMicroA = 0;
        thread->SetToStopEx(true);
        EXPECT_TRUE(WaitUntil([&] { return thread->IsStopped(); })) << "the thread did not stop";
        const qint64 ms = clock.elapsed();
        thread->wait();
        thread.reset();
        return ms;
    }
    // Plays the multimeter thread: temperature and pO2 of the cell into their averages, and
    // log10(pO2) to the PID controller, every 50 ms.
    void StartFeeder() {
        fLastFeed = MonotonicSeconds();
        QObject::connect(&fFeeder, &QTimer::timeout, [this] {
            const TPumpSeen cell = Seen();
            const double now = MonotonicSeconds();
            TDMMReading reading;
            reading.TemperatureOK = reading.SensorOK = true;
            reading.StartTime = fLastFeed;
            reading.HandedAt = now;
            reading.CellTemp = cell.temperatureC;
            TestRun.Points.AddCell(reading, cell.pO2);
            TestRun.PID->SetProcessVariable(std::log10(cell.pO2));
            fLastFeed = now;
        });
        fFeeder.start(50);
    }
    // A mode with fresh settings: through Paused, which drops the open point, so the settings are
    // taken over at once.
    void EnterMode(TMode mode, const std::function<void()>& settings = {}) {
        thread->SetModeEx(TMode::Paused);
        ASSERT_TRUE(WaitUntil(
            [&] { return thread->ModeIntegrator() == TMode::Paused && !TestRun.Points.PointOpen(); }));
        TestRun.Points.DropCell();
        TestRun.DataPoint = TDataPoint();
        if (settings)
            settings();
        thread->SetModeEx(mode);
        ASSERT_TRUE(WaitUntil([&] { return thread->ModeIntegrator() == mode; }));
    }
    TPumpSeen Seen() {
        TPumpSeen s;
        sim->WithCell([&](TSimCell& c) {
            s.drive = c.PumpDrive();
            s.state = c.Pump();
            s.temperatureC = c.CellTemperatureC();
            s.pO2 = c.pO2Atm();
        });
        return s;
    }
    bool DriveIs(TPumpDrive::TKind kind, double level, double compliance) {
        const TPumpDrive d = Seen().drive;
        return d.kind == kind && std::abs(d.level - level) < 1e-9 &&
               std::abs(d.compliance - compliance) < 1e-9;
    }
    static int Count(const QStringList& lines, const QString& line) { return int(lines.count(line)); }

    TTestHost host;
    std::unique_ptr<TCellSimulator> sim;
    QString port;
    std::unique_ptr<TThread2401> thread;

private:
    QTimer fFeeder;
    double fLastFeed = 0; // monotonic s
};

TEST_F(Thread2401Sim, DataPointsInEveryMode) {
    struct TCase {
        TMode mode;
        std::function<void(TTestHost&)> settings;
        TPumpDrive::TKind kind;
        double level; // NaN: the PID output
    };
    // Without a PID table the current limit is 1 µA: the voltage modes run in compliance.
    const TCase cases[] = {
        {TMode::SetCurrent, [](TTestHost&) { TestRun.GSCurrentMicroA = 100; }, TPumpDrive::Current, 100e-6},
        {TMode::SetVoltage, [](TTestHost& h) { h.setVoltagemV = 30; }, TPumpDrive::Voltage, 0.03},
        {TMode::PIDSet, [](TTestHost&) { TestRun.PID->SetSetpoint(-3); }, TPumpDrive::Voltage, NAN},
        {TMode::PIDStep, [](TTestHost&) { TestRun.PID->SetSetpoint(-3); }, TPumpDrive::Voltage, NAN},
        {TMode::PPS, [](TTestHost&) { TestRun.PID->SetSetpoint(0.02); }, TPumpDrive::Voltage, 0.02},
    };
    StartThread();
    StartFeeder();
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << int(c.mode));
        host.listings = 0;
        EnterMode(c.mode, [&] { c.settings(host); });
        ASSERT_TRUE(WaitUntil([] { return TestRun.DataPoint.Ready; }));
        const TDataPoint p = TestRun.DataPoint;
        const TPumpSeen seen = Seen();

        EXPECT_EQ(p.Mode, 10 + int(c.mode));
        EXPECT_TRUE(p.CellpO2Valid);
        EXPECT_GT(p.Time, host.length);
        EXPECT_LT(p.Time, 60.0);
        EXPECT_GT(p.Interval, host.length);
        EXPECT_LT(p.Interval, 60.0);
        EXPECT_NEAR(p.Temp, seen.temperatureC, 0.01);
        EXPECT_NEAR(p.CellpO2 / seen.pO2, 1.0, 0.001);
        EXPECT_NEAR(p.PumpI, seen.state.currentA, 1e-8 + 1e-3 * std::abs(seen.state.currentA));
        EXPECT_NEAR(p.PumpV, seen.state.voltageV, 1e-3);

        const bool pid = std::isnan(c.level);
        const double level = pid ? TestRun.PID->FeedBack() / 1000 : c.level;
        const double compliance = c.kind == TPumpDrive::Current ? 1.1 : 1e-6;
        EXPECT_EQ(seen.drive.kind, c.kind);
        EXPECT_NEAR(seen.drive.level, level, pid ? 1e-4 : 1e-9);
        EXPECT_NEAR(seen.drive.compliance, compliance, 1e-9);
        if (pid) {
            EXPECT_GT(host.listings, 0) << "the PID listing goes to the Debug page";
            EXPECT_NEAR(TestRun.PID->CurrentApplied, seen.state.currentA, 1e-8);
        }
    }
}

TEST_F(Thread2401Sim, SetpointsReachThePumpWithinTheLimits) {
    struct TCase {
        TMode mode;
        int setVoltagemV;
        double gsMicroA;
        double pps;
        TPumpDrive::TKind kind;
        double level;
    };
    const TCase cases[] = {
        {TMode::SetVoltage, 1500, 0, 0, TPumpDrive::Voltage, 1.1},
        {TMode::SetVoltage, -2000, 0, 0, TPumpDrive::Voltage, -1.1},
        {TMode::SetCurrent, 0, 12000, 0, TPumpDrive::Current, 0.005},
        {TMode::SetCurrent, 0, -3, 0, TPumpDrive::Current, -3e-6},
        {TMode::PPS, 0, 0, 0.35, TPumpDrive::Voltage, 0.35},
    };
    TLogCapture cap(LogThread2401);
    const int reinitsAtStart = TestRun.LinkSMU.Reinits();
    StartThread();
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << " level " << c.level);
        EnterMode(c.mode, [&] {
            host.setVoltagemV = c.setVoltagemV;
            TestRun.GSCurrentMicroA = c.gsMicroA;
            TestRun.PID->SetSetpoint(c.pps);
        });
        const double compliance = c.kind == TPumpDrive::Current ? 1.1 : 1e-6;
        EXPECT_TRUE(WaitUntil([&] { return DriveIs(c.kind, c.level, compliance); }))
            << "drive " << Seen().drive.kind << " " << Seen().drive.level;
    }
    // Stopping while the pump is driven leaves it galvanostatic at 0 A, not at the last setting.
    EnterMode(TMode::SetVoltage, [&] { host.setVoltagemV = 300; });
    ASSERT_TRUE(WaitUntil([&] { return DriveIs(TPumpDrive::Voltage, 0.3, 1e-6); }));
    Stop();
    EXPECT_EQ(Seen().drive.kind, TPumpDrive::Current);
    EXPECT_NEAR(Seen().drive.level, 0.0, 1e-12);

    // The voltage protection level goes out with the thread's first source command, and again only
    // after a set-up sequence (which resets it): a slow reply on a loaded machine is a fault.
    const int reinits = TestRun.LinkSMU.Reinits() - reinitsAtStart;
    QStringList commands;
    for (const QString& m : cap.Messages())
        if (m.startsWith(QStringLiteral(":SENS:CURR:PROT:LEV ")))
            commands << m;
    ASSERT_GE(commands.size(), 2);
    EXPECT_EQ(commands[0], QStringLiteral(":SENS:CURR:PROT:LEV 0.000001;:SENS:VOLT:PROT:LEV 1.100000;"
                                          ":SOUR:FUNC VOLT;:SOUR:VOLT:LEV 1.100000;:OUTPUT:STATE 1\\r"));
    EXPECT_EQ(commands.filter(QStringLiteral("VOLT:PROT")).size(), 1 + reinits)
        << commands.join(u'\n').toStdString();
}

TEST_F(Thread2401Sim, SettingsWaitUntilTheOpenPointIsComplete) {
    TLogCapture cap(LogThread2401);
    StartThread();
    EnterMode(TMode::SetCurrent, [] { TestRun.GSCurrentMicroA = 100; });
    ASSERT_TRUE(WaitUntil([&] { return DriveIs(TPumpDrive::Current, 100e-6, 1.1); }));
    // A point is open once a reading was added; without a temperature it stays open, and so does
    // its setting.
    ASSERT_TRUE(WaitUntil([] { return TestRun.Points.PointOpen(); }));
    TestRun.GSCurrentMicroA = 200;
    host.setVoltagemV = 30;
    thread->SetModeEx(TMode::SetVoltage);
    const std::uint64_t good = thread->ReadingsHandedOver();
    ASSERT_TRUE(WaitUntil([&] { return thread->ReadingsHandedOver() >= good + 10; }));
    // They went into the open point, which stays open without a temperature.
    EXPECT_TRUE(TestRun.Points.PointOpen());
    EXPECT_GE(TestRun.Points.Current().Count(), 5);
    EXPECT_TRUE(DriveIs(TPumpDrive::Current, 100e-6, 1.1));
    EXPECT_EQ(thread->ModeIntegrator(), TMode::SetCurrent);

    StartFeeder();
    ASSERT_TRUE(WaitUntil([] { return TestRun.DataPoint.Ready; }));
    EXPECT_EQ(TestRun.DataPoint.Mode, 10 + int(TMode::SetCurrent))
        << "the point was measured under its own setting";
    EXPECT_TRUE(WaitUntil([&] { return DriveIs(TPumpDrive::Voltage, 0.03, 1e-6); }));
}

TEST_F(Thread2401Sim, FaultsGiveTheirLinesAddNothingAndTheThreadRecoversAndStops) {
    struct TCase {
        TFault fault;
        TMode mode;
        QStringList lines; // a run of lines every failing cycle logs; the last one marks the cycle
    };
    const QString wrongCount = QStringLiteral("Wrong amount of readings from instrument");
    const TCase cases[] = {
        {TFault::Silent, TMode::SetCurrent, {"Reading SMU failed"}},
        {TFault::Echo, TMode::SetCurrent, {wrongCount}},
        {TFault::Garbage, TMode::SetCurrent, {wrongCount}},
        {TFault::WrongFieldCount, TMode::SetCurrent, {wrongCount}},
        {TFault::Overflow,
         TMode::SetCurrent,
         {"Pump voltage: 9.9E37 Current: 9.9E37", "Overflow reading from instrument"}},
        {TFault::Vanished,
         TMode::SetVoltage,
         {"Failed to adjust source voltage to 0.030000",
          "Serial port response: Failed to setup Com port, port in use", "Reading SMU failed"}},
    };
    StartFeeder();
    for (const TCase& c : cases) {
        SCOPED_TRACE(TInstrumentFaults::Name(c.fault));
        Start();
        TLogCapture cap(LogThread2401);
        StartThread();
        EnterMode(c.mode, [&] {
            TestRun.GSCurrentMicroA = 100;
            host.setVoltagemV = 30;
        });
        ASSERT_TRUE(WaitUntil([] { return TestRun.DataPoint.Ready; }));

        sim->SetFault(TInstrumentId::Smu, c.fault, true);
        const QString marker = c.lines.last();
        ASSERT_TRUE(WaitUntil([&] { return cap.Messages().contains(marker); }));
        // From the first failing cycle on, no reading is handed over.
        TestRun.DataPoint.Ready = false;
        const std::uint64_t good = thread->ReadingsHandedOver();
        const int failures = Count(cap.Messages(), marker);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(WaitUntil([&] { return Count(cap.Messages(), marker) >= failures + 3; }));
        if (c.fault == TFault::Vanished)
            EXPECT_GE(clock.elapsed(), 2 * kReadoutTimeoutMs)
                << "a missing port costs what a silent instrument costs";
        const QStringList lines = cap.Messages();
        EXPECT_TRUE(ContainsRun(lines, c.lines)) << lines.join(u'\n').toStdString();
        EXPECT_EQ(thread->ReadingsHandedOver(), good);
        EXPECT_FALSE(TestRun.DataPoint.Ready);

        sim->SetFault(TInstrumentId::Smu, c.fault, false);
        ASSERT_TRUE(WaitUntil([] { return TestRun.DataPoint.Ready; })) << "no recovery";
        EXPECT_NEAR(TestRun.DataPoint.PumpI, Seen().state.currentA, 1e-6);
        EXPECT_NEAR(TestRun.DataPoint.PumpV, Seen().state.voltageV, 1e-3);

        // A stop while the fault holds the thread in its exchanges.
        sim->SetFault(TInstrumentId::Smu, c.fault, true);
        const int more = Count(cap.Messages(), marker);
        ASSERT_TRUE(WaitUntil([&] { return Count(cap.Messages(), marker) > more; }));
        EXPECT_LT(Stop(), kStopBoundMs);
    }
}

} // namespace
