// Validation of the two instruments from the window, against the simulated instruments served on
// pseudo-terminals inside the test process: start-up, the configuration memo, failures, the
// replacement of a running worker thread, a data point from both threads, and closing.
#include "acquisition/TThread2000.h"
#include "app/ConfigurationPage.h"
#include "app/DebugPage.h"
#include "app/ExperimentControlPage.h"
#include "app/ExperimentDataPage.h"
#include "app/TRtDoubleEdit.h"
#include "app/TfrmOndrix.h"
#include "control/TThread2401.h"
#include "diagnostics/EventLog.h"
#include "diagnostics/LogChannel.h"
#include "instruments/TSerialPort.h"
#include "recording/TDataGridModel.h"
#include "simulator/CellSimulator.h"
#include "tests/support/LogCapture.h"
#include "tests/support/QtPrint.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowOnSimulator.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {

// Generous: the machine running the tests may be loaded.
constexpr int kDeadlineMs = 60000;

// The simulated sensor's calibration (simulator/README.md).
constexpr double kSimAx = 20.0;
constexpr double kSimBx = 0.01;

const QString kSMUValidated = QStringLiteral("SMU instrument and communication validated.");
const QString kDMMValidated = QStringLiteral("Multimeter instrument and communication validated.");

// The SourceMeter's set-up sequence, as it goes over the wire.
const QStringList kSetUp2401 = {"*RST",
                                ":ROUT:TERM REAR",
                                ":SOUR:FUNC VOLT",
                                ":SOUR:VOLT:MODE FIXED",
                                ":SOUR:VOLT:RANGE:AUTO 1",
                                ":SOUR:VOLT:LEVEL 0",
                                ":SOUR:FUNC CURR",
                                ":SOUR:CURR:MODE FIXED",
                                ":SOUR:CURR:RANGE:AUTO 1",
                                ":SOUR:CURR:LEVEL 0",
                                ":SENS:VOLT:PROT 1",
                                ":SENS:CURR:PROT 1",
                                ":SENS:VOLT:PROT:LEV 1.1",
                                ":SENS:CURR:PROT:LEV 0.005",
                                ":SENS:FUNC:CONC ON",
                                ":SENS:FUNC:ON \"VOLT\", \"CURR\"",
                                ":SENS:VOLT:NPLC MIN",
                                ":SENS:CURR:RANGE:AUTO 1",
                                ":FORM:ELEM VOLT,CURR",
                                ":OUTPUT:STATE 1"};

// The simulator, and a window each test opens itself: validating at start-up or not, without the
// simulated sensor's calibration.
class Validation : public WindowOnSimulatorTest<> {
protected:
    void SetUp() override {
        InitializeLogChannels();
        ASSERT_NO_FATAL_FAILURE(StartSimulatedCell());
        smu = QString::fromStdString(sim->PortPath(TInstrumentId::Smu));
        dmm = QString::fromStdString(sim->PortPath(TInstrumentId::Dmm));
    }
    // The window goes without the operator's close: some tests have closed it or silenced the
    // instruments already.
    void TearDown() override {
        w.reset();
        sim.reset();
        SetDialogs(nullptr);
        InitializeLogChannels();
    }
    // The window, validating on the simulator's ports at start-up, or on no ports at all.
    void Create(bool simulated) {
        TfrmOndrix::TSimulatedPorts ports;
        if (simulated)
            ports = {smu, dmm};
        w = std::make_unique<TfrmOndrix>([] { return QStringList(); }, ports);
    }
    QStringList Memo() const { return w->ConfigurationPage->MemoConfLog->toPlainText().split(u'\n'); }
    // What the instrument answers to "*IDN?".
    QString Identity(const QString& port, int baud) {
        TSerialPort com;
        com.SetBaudRate(baud);
        com.SetReadoutTimeoutMS(1000);
        com.SetPort(port);
        return QString::fromLatin1(com.Send2(QByteArray("*IDN?\r"), true).Response);
    }
    struct TCell {
        double temperatureC = 0, pO2 = 0, currentA = 0;
    };
    TCell Cell() {
        TCell c;
        sim->WithCell([&](TSimCell& cell) {
            c.temperatureC = cell.CellTemperatureC();
            c.pO2 = cell.pO2Atm();
            c.currentA = cell.Pump().currentA;
        });
        return c;
    }

    QString smu, dmm;
};

TEST_F(Validation, StartUpValidatesBothInstrumentsAndBothThreadsMakeADataPoint) {
    const QString smuIdentity = Identity(smu, 57600);
    const QString dmmIdentity = Identity(dmm, 19200);
    ASSERT_FALSE(smuIdentity.isEmpty());
    Create(true);
    const QStringList memo = Memo();
    const int at = memo.indexOf(QStringLiteral("Search for instrument on port ") + smu);
    ASSERT_GT(at, 0) << memo.join(u'\n').toStdString();
    EXPECT_EQ(memo.mid(at - 1), QStringList({"", "Search for instrument on port " + smu, "Sent: *IDN?",
                                             "Response: " + smuIdentity, kSMUValidated, "",
                                             "Search for instrument on port " + dmm, "Sent: *IDN?",
                                             "Response: " + dmmIdentity, kDMMValidated}));
    EXPECT_TRUE(w->CheckBoxSMUValidated()->isChecked());
    EXPECT_TRUE(w->CheckBox2000Validated()->isChecked());
    EXPECT_EQ(w->Run().ProgramState, TProgramState::Paused);
    EXPECT_EQ(w->SMUComPort, smu);
    ASSERT_TRUE(w->Thread2000 && w->Thread2401);

    // Both threads at work, steered directly (the tick would hold them paused): a data point of the
    // cell from the SourceMeter's current and voltage and the multimeter's temperature and pO2.
    w->Timer1->stop();
    w->ExperimentData->RtDoubleEditSensorAx->SetValue(kSimAx);
    w->ExperimentData->RtDoubleEditSensorBx->SetValue(kSimBx);
    w->ExperimentData->RtDoubleEditDataPointLength->SetValue(1);
    w->Run().GSCurrentMicroA = 50;
    w->Thread2000->SetToPauseEx(false);
    w->Thread2401->SetModeEx(TMode::SetCurrent);
    ASSERT_TRUE(WaitUntil([&] { return w->Run().DataPoint.Ready; }));
    const TCell cell = Cell();
    EXPECT_EQ(w->Run().DataPoint.Mode, 10 + int(TMode::SetCurrent));
    EXPECT_TRUE(w->Run().DataPoint.CellpO2Valid);
    EXPECT_NEAR(w->Run().DataPoint.Temp, cell.temperatureC, 0.5);
    EXPECT_NEAR(w->Run().DataPoint.CellpO2 / cell.pO2, 1.0, 0.01);
    EXPECT_NEAR(w->Run().DataPoint.PumpI, 50e-6, 1e-9);
    EXPECT_NEAR(cell.currentA, 50e-6, 1e-9);
    EXPECT_GT(w->Run().DataPoint.Interval, 1.0);
}

TEST_F(Validation, FailuresShowThePortFeedbackAndStartNoThread) {
    Create(false);
    const QString dmmIdentity = Identity(dmm, 19200);
    const QString noSMU = QStringLiteral("Cannot communicate with SMU on this port. Port feedback: ");
    const QString noDMM = QStringLiteral("Cannot communicate with Multimeter on this port. Port feedback: ");
    const QString timeout = QString::fromLatin1(TSerialPort::StatusNoResponse);
    const QString inUse = QString::fromLatin1(TSerialPort::StatusPortInUse);
    struct TCase {
        TInstrumentId id;
        TFault fault;
        QStringList answer; // the memo lines after "Sent: *IDN?"
    };
    const TCase cases[] = {
        {TInstrumentId::Smu, TFault::Silent, {noSMU + timeout}},
        {TInstrumentId::Smu, TFault::Echo, {noSMU}},
        {TInstrumentId::Smu, TFault::Slow, {noSMU + timeout}},
        {TInstrumentId::Smu, TFault::Vanished, {noSMU + inUse}},
        {TInstrumentId::Dmm, TFault::Silent, {noDMM + timeout}},
        {TInstrumentId::Dmm, TFault::Echo, {noDMM}},
        {TInstrumentId::Dmm, TFault::Vanished, {noDMM + inUse}},
        {TInstrumentId::Dmm,
         TFault::FrontInputs,
         {"Response: " + dmmIdentity,
          "Change inputs button position from front to back, then validate again."}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(TInstrumentFaults::InstrumentName(c.id) + " " + TInstrumentFaults::Name(c.fault));
        const bool isSMU = c.id == TInstrumentId::Smu;
        const QString port = isSMU ? smu : dmm;
        sim->SetFault(c.id, c.fault, true);
        (isSMU ? w->ConfigurationPage->EditSMUCOMPort : w->ConfigurationPage->Edit2000COMPort)->setText(port);
        const int before = int(Memo().size());
        isSMU ? w->ButtonSMUTestClick() : w->Button2000TestClick();
        EXPECT_EQ(Memo().mid(before),
                  QStringList({"", "Search for instrument on port " + port, "Sent: *IDN?"}) + c.answer);
        EXPECT_FALSE((isSMU ? w->CheckBoxSMUValidated() : w->CheckBox2000Validated())->isChecked());
        EXPECT_FALSE(w->Thread2401 || w->Thread2000);
        EXPECT_EQ(w->Run().ProgramState, TProgramState::Uninitialized);
        EXPECT_TRUE(EventLogLinesOfThisRun().last().contains(
            (isSMU ? QStringLiteral("\tSMU\tvalidation on ") : QStringLiteral("\tDMM\tvalidation on ")) +
            port + QStringLiteral(" failed: ")));
        sim->ClearFaults(c.id);
    }
}

TEST_F(Validation, ValidatingAgainStopsTheOldThreadBeforeTheNewOneStarts) {
    Create(true);
    ASSERT_TRUE(w->Thread2000 && w->Thread2401);
    TLogCapture cap(LogK2000);
    w->Debug->CheckBoxLogSMUThread->setChecked(true); // the SourceMeter thread's log is off at start
    // Each thread's body is entered and left under the name "Execute".
    const auto bodies = [&](const QString& category) {
        QStringList out;
        for (const TLogEntry& e : cap.Entries())
            if (e.category == category && e.text == QLatin1String("Execute"))
                out << e.kind;
        return out;
    };
    w->Button2000TestClick();
    w->ButtonSMUTestClick();
    EXPECT_EQ(Memo().mid(Memo().size() - 6, 1), QStringList({kDMMValidated}));
    EXPECT_EQ(Memo().last(), kSMUValidated);
    ASSERT_TRUE(w->Thread2000 && w->Thread2401);
    EXPECT_EQ(w->Run().ProgramState, TProgramState::Paused);
    // The old body ends before the new one begins (the new thread is a new object; its address may
    // be the old one's).
    // On a loaded machine an old thread may enter its body only after the capture began.
    const auto lastTwo = [&](const QString& category) {
        const QStringList b = bodies(category);
        return b.mid(std::max<qsizetype>(0, b.size() - 2));
    };
    ASSERT_TRUE(WaitUntil([&] { return bodies("K2000").size() >= 2 && bodies("Thread 2401").size() >= 2; }));
    EXPECT_EQ(lastTwo("K2000"), QStringList({"exit", "enter"}));
    EXPECT_EQ(lastTwo("Thread 2401"), QStringList({"exit", "enter"}));
}

TEST_F(Validation, ValidationThatPausesChecksThePausedButtonWithoutItsHandler) {
    Create(true);
    ASSERT_EQ(w->Run().ProgramState, TProgramState::Paused);
    // Without the tick the multimeter thread never hears of the new mode: it stays paused and
    // leaves its port free for the validation.
    w->Timer1->stop();
    QRadioButton* paused = w->ExperimentControl->RadioButtonModeOff;
    w->ExperimentControl->RadioButtonModePassive->click(); // the operator's choice, confirmed
    ASSERT_EQ(w->Run().ProgramState, TProgramState::SetCurrent);
    const int rows = w->DataGrid->RowCount();
    const qsizetype questions = dialogs->questions.size();

    w->Button2000TestClick();
    EXPECT_EQ(w->Run().ProgramState, TProgramState::Paused);
    EXPECT_TRUE(paused->isChecked()) << "the window shows the state the validation set";
    EXPECT_FALSE(w->ExperimentControl->RadioButtonModePassive->isChecked());
    EXPECT_EQ(dialogs->questions.size(), questions) << "no question about a change the program made";
    EXPECT_EQ(w->DataGrid->RowCount(), rows) << "no marker row";

    // The event log tells the story of the run. The operator's mode change entered the run's first
    // row, so the journal began there too.
    QStringList events;
    for (const QString& line : EventLogLinesOfThisRun())
        events << line.section(u'\t', 1);
    const QString journal = QDir::toNativeSeparators(w->JournalPath());
    ASSERT_FALSE(journal.isEmpty());
    EXPECT_EQ(events, QStringList({"Program\tstarted in " + QDir::toNativeSeparators(folder.path()),
                                   "SMU\tvalidated on " + smu, "DMM\tvalidated on " + dmm,
                                   "Mode\tchanged from Uninitialized to Paused by the validation",
                                   "Journal\tstarted " + journal, "Mode\tset to SetCurrent",
                                   "DMM\tvalidated on " + dmm,
                                   "Mode\tchanged from SetCurrent to Paused by the validation"}));
}

TEST_F(Validation, ValidatingAgainWhileTheSourceMeterThreadLoopsSendsTheWholeSetUp) {
    Create(true);
    w->Timer1->stop(); // the tick would hold the thread paused
    TLogCapture cap(LogSerialPort);
    w->Debug->CheckBoxLogSMUThread->setChecked(true); // the SourceMeter thread's log is off at start
    // Readings with one field too many: the thread cycles on without ever waiting for the window.
    sim->SetFault(TInstrumentId::Smu, TFault::WrongFieldCount, true);
    w->Thread2401->SetModeEx(TMode::SetCurrent);
    ASSERT_TRUE(WaitUntil([&] {
        return cap.Messages(QStringLiteral("Thread 2401"))
            .contains("Wrong amount of readings from instrument");
    }));

    // The identification may meet the port held by the thread ("port in use"); the operator
    // validates again until it gets through.
    QElapsedTimer clock;
    clock.start();
    while (Memo().last() != kSMUValidated && clock.elapsed() < kDeadlineMs) {
        w->ButtonSMUTestClick();
        QThread::msleep(3);
    }
    ASSERT_EQ(Memo().last(), kSMUValidated);

    // What the window's own exchanges wrote after the identification that got through.
    QStringList written;
    for (const TLogEntry& e : cap.Entries())
        if (e.thread == QLatin1String("Main") && e.category == QLatin1String("Serial port") &&
            e.text.startsWith(QStringLiteral("As string    : ")))
            written << e.text.mid(15);
    const int id = int(written.lastIndexOf(QStringLiteral("*IDN?")));
    ASSERT_GE(id, 0);
    EXPECT_EQ(written.mid(id + 1), kSetUp2401);
}

TEST_F(Validation, ClosingWhileBothInstrumentsAreSilentFinishes) {
    Create(true);
    ASSERT_TRUE(w->Thread2000 && w->Thread2401);
    TLogCapture cap(LogK2000);
    w->Debug->CheckBoxLogSMUThread->setChecked(true); // the SourceMeter thread's log is off at start
    // Running, through the tick, with both instruments gone quiet.
    w->Run().GSCurrentMicroA = 0;
    w->Run().ProgramState = TProgramState::SetCurrent;
    sim->SetFault(TInstrumentId::Smu, TFault::Silent, true);
    sim->SetFault(TInstrumentId::Dmm, TFault::Silent, true);
    ASSERT_TRUE(WaitUntil([&] {
        return cap.Messages().contains("Thermistor measurement failure") &&
               cap.Messages(QStringLiteral("Thread 2401")).contains("Reading SMU failed");
    }));
    w->show();
    dialogs->answers = {true};
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(w->Thread2000 || w->Thread2401);
    EXPECT_LT(clock.elapsed(), 2 * 2000) << "the multimeter's reply time-out must not elapse twice";
    w.reset();
}

} // namespace
