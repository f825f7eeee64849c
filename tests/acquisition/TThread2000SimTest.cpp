// The multimeter thread against the simulated MultiMeter 2000 and cell, served on pseudo-terminals
// inside the test process: what it hands to the main thread, fast mode, the instrument's faults
// and stopping.
#include "acquisition/TThread2000.h"

#include "common/FreeAndNil.h"
#include "common/Synchronize.h"
#include "control/TPID.h"
#include "diagnostics/LogChannel.h"
#include "instruments/TSerialPort.h"
#include "simulator/CellSimulator.h"
#include "tests/support/LogCapture.h"
#include "tests/support/QtPrint.h"
#include "tests/support/SimulatorRun.h"
#include "tests/support/Wait.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {

// The run whose averages and PID controller the thread under test feeds.
TRunState TestRun;

// What a stop may take: the thread's reply time-out (2 s) must not elapse twice.
constexpr qint64 kStopBoundMs = 2 * 2000;

// The simulated sensor's calibration (simulator/README.md); with them the program's sensor pO2
// equals the cell's.
constexpr double kSimAx = 20.0;
constexpr double kSimBx = 0.01;

const QString kThermistorFailed = QStringLiteral("Thermistor measurement failure");
// One cycle in which no reading came back, as the "K2000" channel shows it.
const QStringList kFailedCycle = {QStringLiteral("Thermistor measurement failure"),
                                  QStringLiteral("Thermistor value not within accepted range"),
                                  QStringLiteral("TC voltage measurement failure"),
                                  QStringLiteral("Thermocouple voltage value not within accepted range"),
                                  QStringLiteral("Sensor voltage measurement failure")};

// Switches a log channel on for a scope and restores its switch afterwards.
class TChannelOn {
public:
    explicit TChannelOn(LogChannel& c) : fChannel(c), fWas(c.Enabled()) { c.SetEnabled(true); }
    ~TChannelOn() { fChannel.SetEnabled(fWas); }

private:
    LogChannel& fChannel;
    bool fWas;
};

bool ContainsRun(const QStringList& lines, const QStringList& run) {
    for (int i = 0; i + run.size() <= lines.size(); ++i)
        if (lines.mid(i, run.size()) == run)
            return true;
    return false;
}

class TTestHost : public IThread2000Host {
public:
    double cto = 0;
    bool fast = false;
    int count = 20;
    double CellTemperatureOverride() const override { return cto; }
    bool FastMode() const override { return fast; }
    int FastModeCount() const override { return count; }
};

struct TCellState {
    double temperatureC = 0;
    double pO2 = 0;
    double sensorV = 0;
};

class Thread2000Sim : public ::testing::Test {
protected:
    void SetUp() override {
        TestRun.Reset();
        InitializeLogChannels();
        TestRun.SensorAx = kSimAx;
        TestRun.SensorBx = kSimBx;
        TestRun.PID = new TPID();
    }
    void TearDown() override {
        if (thread)
            Stop();
        thread.reset();
        sim.reset();
        TestRun.Points.DropCell();
        FreeAndNil(TestRun.PID);
        TestRun.Reset();
    }

    void Start(const TSimOptions& options = QuietSimulatorOptions()) {
        sim = StartSimulator(options);
        ASSERT_TRUE(sim);
        port = QString::fromStdString(sim->PortPath(TInstrumentId::Dmm));
    }
    // As the validation does: set-up sequence, then the thread, created paused.
    void StartThread() {
        Initialize2000(port);
        thread = std::make_unique<TThread2000>(&host, TestRun);
        thread->Port = port;
        thread->SetToPauseEx(true);
        thread->start();
    }
    // Stops the thread the way the program does; returns how long the stop took, in ms.
    qint64 Stop() {
        QElapsedTimer clock;
        clock.start();
        thread->SetToPauseEx(false);
        thread->SetToStopEx(true);
        EXPECT_TRUE(WaitUntil([&] { return thread->IsStopped(); })) << "the thread did not stop";
        const qint64 ms = clock.elapsed();
        thread->wait();
        thread.reset();
        return ms;
    }
    TCellState Cell() {
        TCellState s;
        sim->WithCell([&](TSimCell& c) {
            s.temperatureC = c.CellTemperatureC();
            s.pO2 = c.pO2Atm();
            s.sensorV = c.SensorVolt();
        });
        return s;
    }
    int Count(const QStringList& lines, const QString& line) const { return int(lines.count(line)); }

    TTestHost host;
    std::unique_ptr<TCellSimulator> sim;
    QString port;
    std::unique_ptr<TThread2000> thread;
};

TEST_F(Thread2000Sim, PausedItSendsNothingRunningItFeedsTheAveragesAndThePID) {
    Start();
    TLogCapture cap(LogK2000);
    StartThread();
    // The set-up sequence is 11 commands; after it, a paused thread sends nothing.
    ASSERT_TRUE(WaitUntil([&] { return sim->Stats(TInstrumentId::Dmm).linesReceived == 11; }));
    ASSERT_TRUE(WaitUntil([&] { return Count(cap.Messages(), "Thread was paused") >= 2; }));
    EXPECT_EQ(sim->Stats(TInstrumentId::Dmm).linesReceived, 11u);
    EXPECT_EQ(thread->TickCount(), 0u);

    thread->SetToPauseEx(false);
    ASSERT_TRUE(WaitUntil([] { return TestRun.Points.CellpO2().Count() >= 3; }));
    const TCellState cell = Cell();
    ASSERT_FALSE(TestRun.Points.Temperature().Empty());
    EXPECT_NEAR(TestRun.Points.Temperature().Average(), cell.temperatureC, 0.5);
    EXPECT_GT(TestRun.Points.Temperature().DurationS(), 0.0);
    EXPECT_NEAR(TestRun.Points.CellpO2().Average() / cell.pO2, 1.0, 0.01);
    EXPECT_NEAR(TestRun.PID->ProcessVariable(), std::log10(cell.pO2), 0.005);
    EXPECT_NEAR(TestRun.LastCellTemp, cell.temperatureC, 0.5);

    // Pausing again discards both averages, so a point never mixes readings across a pause.
    thread->SetToPauseEx(true);
    EXPECT_TRUE(
        WaitUntil([] { return TestRun.Points.Temperature().Empty() && TestRun.Points.CellpO2().Empty(); }));
    EXPECT_LT(Stop(), kStopBoundMs) << "a stop while paused";
}

TEST_F(Thread2000Sim, CellTemperatureDecidesOverrideAndSensor) {
    struct TCase {
        double furnaceC;
        double cto;
        double expectedC; // NaN: the cell's own temperature
        bool sensorRead;
    };
    const TCase cases[] = {
        {750, 0, NAN, true},      // override off
        {750, 700, 700, true},    // override replaces the thermocouple exactly
        {750, 1050.5, NAN, true}, // beyond 1050 the override is off
        {480, 0, NAN, false},     // too cold for the sensor
        {480, 1050, 1050, true},  // the override also decides whether the sensor is read
        {480, 649.9, NAN, false}, // below 650 the override is off
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "furnace " << c.furnaceC << " override " << c.cto);
        TSimOptions o = QuietSimulatorOptions();
        o.cell.furnaceSetpointC = c.furnaceC;
        Start(o);
        host.cto = c.cto;
        StartThread();
        thread->SetToPauseEx(false);
        ASSERT_TRUE(WaitUntil([] { return TestRun.Points.Temperature().Count() >= 3; }));
        if (c.sensorRead)
            ASSERT_TRUE(WaitUntil([] { return !TestRun.Points.CellpO2().Empty(); }));
        Stop();
        if (std::isnan(c.expectedC))
            EXPECT_NEAR(TestRun.Points.Temperature().Average(), Cell().temperatureC, 0.5);
        else
            EXPECT_EQ(TestRun.Points.Temperature().Average(), c.expectedC);
        EXPECT_EQ(!TestRun.Points.CellpO2().Empty(), c.sensorRead);
        TestRun.Points.DropCell();
    }
}

TEST_F(Thread2000Sim, FastModeReadsTemperaturesEveryNthCycleAndTheSensorEveryCycle) {
    Start();
    TLogCapture cap(LogK2000);
    TChannelOn serial(LogSerialPort);
    host.fast = true;
    host.count = 4;
    StartThread();
    thread->SetToPauseEx(false);
    ASSERT_TRUE(WaitUntil([&] { return thread->TickCount() >= 9; }));
    // Pausing lets the cycle in progress finish normally, so the counts below are complete.
    thread->SetToPauseEx(true);
    const int pausedBefore = Count(cap.Messages(), "Thread was paused");
    ASSERT_TRUE(WaitUntil([&] { return Count(cap.Messages(), "Thread was paused") > pausedBefore + 1; }));
    const int ticks = int(thread->TickCount());
    const int measuring = (ticks + 3) / 4; // cycles 0, 4, 8, ...

    QStringList sent;
    for (const QString& m : cap.Messages(QStringLiteral("Serial port")))
        if (m.startsWith(QStringLiteral("As string    : ")))
            sent << m.mid(15);
    sent = sent.mid(11); // after the set-up sequence
    EXPECT_EQ(Count(sent, ":FUNC \"RES\";:READ?"), measuring);
    EXPECT_EQ(Count(sent, ":FUNC \"VOLT:DC\";:READ?"), measuring + ticks) << "thermocouple + sensor";
    EXPECT_EQ(Count(sent, ":ROUT:CLOSE (@2)"), measuring)
        << "cycles that read only the sensor keep channel 2";
}

TEST_F(Thread2000Sim, FastModeNeverTurnsAReadingThatNeverCameIntoATemperature) {
    // The multimeter is silent when the thread starts and answers from its second cycle on: the
    // cycles that reuse the first (failed) readings have nothing to reuse.
    TSimOptions o = QuietSimulatorOptions();
    o.faults.push_back({TInstrumentId::Dmm, TFault::Silent});
    Start(o);
    TLogCapture cap(LogK2000);
    host.fast = true;
    host.count = 3;
    StartThread();
    thread->SetToPauseEx(false);
    ASSERT_TRUE(WaitUntil([&] { return cap.Messages().contains(kThermistorFailed); }));
    // The instrument comes back between two cycles (while the thread is paused), so no cycle
    // mixes readings from before and after.
    thread->SetToPauseEx(true);
    const int paused = Count(cap.Messages(), "Thread was paused");
    ASSERT_TRUE(WaitUntil([&] { return Count(cap.Messages(), "Thread was paused") > paused; }));
    EXPECT_EQ(TestRun.Points.TemperaturesAdded(), 0u) << "a temperature from readings that never came";
    sim->ClearFaults(TInstrumentId::Dmm);
    thread->SetToPauseEx(false);
    ASSERT_TRUE(WaitUntil([] { return TestRun.Points.CellpO2().Count() >= 2; }));
    Stop();

    // The pause dropped nothing but what the silent instrument left: every temperature since is real.
    ASSERT_GT(TestRun.Points.Temperature().Count(), 0);
    EXPECT_NEAR(TestRun.Points.Temperature().Average(), Cell().temperatureC, 1.0);
}

TEST_F(Thread2000Sim, FaultsGiveTheFailureLinesAddNothingAndTheThreadRecoversAndStops) {
    const TFault faults[] = {TFault::Silent,          TFault::Echo,     TFault::Garbage,
                             TFault::WrongFieldCount, TFault::Overflow, TFault::Vanished};
    for (TFault fault : faults) {
        SCOPED_TRACE(TInstrumentFaults::Name(fault));
        Start();
        TLogCapture cap(LogK2000);
        StartThread();
        thread->SetToPauseEx(false);
        ASSERT_TRUE(WaitUntil([] { return !TestRun.Points.CellpO2().Empty(); }));

        sim->SetFault(TInstrumentId::Dmm, fault, true);
        ASSERT_TRUE(WaitUntil([&] { return cap.Messages().contains(kThermistorFailed); }));
        // From the cycle whose thermistor reading failed on, nothing reaches the averages.
        const std::uint64_t addsT = TestRun.Points.TemperaturesAdded();
        const std::uint64_t addspO2 = TestRun.Points.PO2sAdded();
        const double processValue = TestRun.PID->ProcessVariable();
        const quint64 tick = thread->TickCount();
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(WaitUntil([&] { return thread->TickCount() >= tick + 1; }));
        if (fault == TFault::Vanished)
            EXPECT_GE(clock.elapsed(), 2000) << "a missing port costs what a silent instrument costs";
        const QStringList lines = cap.Messages();
        EXPECT_TRUE(ContainsRun(lines.mid(lines.indexOf(kThermistorFailed)), kFailedCycle))
            << lines.join(u'\n').toStdString();
        EXPECT_EQ(TestRun.Points.TemperaturesAdded(), addsT);
        EXPECT_EQ(TestRun.Points.PO2sAdded(), addspO2);
        EXPECT_EQ(TestRun.PID->ProcessVariable(), processValue);

        sim->SetFault(TInstrumentId::Dmm, fault, false);
        EXPECT_TRUE(WaitUntil([&] { return TestRun.Points.PO2sAdded() > addspO2; })) << "no recovery";
        // The fault dropped the open point: what it holds now came after the recovery.
        EXPECT_NEAR(TestRun.Points.Temperature().Average(), Cell().temperatureC, 1.0);

        // A stop while the fault holds the thread in its exchanges.
        sim->SetFault(TInstrumentId::Dmm, fault, true);
        const int failures = Count(cap.Messages(), kThermistorFailed);
        ASSERT_TRUE(WaitUntil([&] { return Count(cap.Messages(), kThermistorFailed) > failures; }));
        EXPECT_LT(Stop(), kStopBoundMs);
        TestRun.Points.DropCell();
    }
}

TEST_F(Thread2000Sim, RoutingLostWithAVanishedPortIsSentAgain) {
    Start();
    TThread2000 unstarted(&host, TestRun);
    TSerialPort com;
    com.SetBaudRate(19200);
    com.SetWindowsReadLoopTimeoutMS(50);
    com.SetReadoutTimeoutMS(2000);
    com.SetPort(port);
    Initialize2000(port);
    double tc = 0;
    unstarted.CloseChannel(1, com);
    ASSERT_TRUE(unstarted.Voltage(tc, com));

    // The adapter is pulled between the thermocouple and the sensor, and comes back: the scanner
    // still sits on the thermocouple.
    sim->SetFault(TInstrumentId::Dmm, TFault::Vanished, true);
    unstarted.CloseChannel(2, com);
    sim->SetFault(TInstrumentId::Dmm, TFault::Vanished, false);
    unstarted.CloseChannel(2, com);
    double sensor = 0;
    ASSERT_TRUE(unstarted.Voltage(sensor, com));
    EXPECT_NEAR(sensor, Cell().sensorV, 1e-6) << "read the thermocouple (" << tc << " V) as the sensor";
}

} // namespace
