// A close that nothing can hold: a termination signal while a box is open closes cleanly once the
// box has returned, a full disk at the close costs no box and no wait, and a close held on the
// main thread still ends the process in time with the pump at 0 A.
#include "app/CloseWatchdog.h"
#include "app/DataPlot.h"
#include "app/ExperimentControlPage.h"
#include "app/ExperimentDataPage.h"
#include "app/QtDialogs.h"
#include "app/SignalCloser.h"
#include "app/TRtDoubleEdit.h"
#include "app/TfrmOndrix.h"
#include "common/Clock.h"
#include "common/ProgramFolder.h"
#include "diagnostics/EventLog.h"
#include "recording/ExperimentFile.h"
#include "recording/ExperimentJournal.h"
#include "recording/TDataGridModel.h"
#include "simulator/CellSimulator.h"
#include "simulator/SimCell.h"
#include "tests/support/ChildProgram.h"
#include "tests/support/DataFileRows.h"
#include "tests/support/SimulatedWindow.h"
#include "tests/support/SimulatorRun.h"
#include "tests/support/SmallFileSystem.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Wait.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <thread>

namespace {

// The real boxes, each announced on standard error as it opens, so the test knows one is up.
class TAnnouncedDialogs : public TQtDialogs {
public:
    bool Confirm(const QString& text) override { return Announce(text), TQtDialogs::Confirm(text); }
    bool AskYesNo(const QString& text) override {
        if (startingRun) // the run's own start is answered Yes, without a box
            return true;
        Announce(text);
        return TQtDialogs::AskYesNo(text);
    }
    void Message(const QString& text) override {
        Announce(text);
        TQtDialogs::Message(text);
    }
    QString OpenFileName(const QString& caption, const QString& folder, const QString& filter) override {
        Announce(caption);
        return TQtDialogs::OpenFileName(caption, folder, filter);
    }
    QString SaveFileName(const QString& caption, const QString& folder, const QString& filter) override {
        Announce(caption);
        return TQtDialogs::SaveFileName(caption, folder, filter);
    }
    bool startingRun = false;
    static void Announce(const QString& text) {
        std::fprintf(stderr, "box: %s\n", qPrintable(text.left(80)));
        std::fflush(stderr);
    }
};

// The program as a child process, wired as main() wires it: real boxes, the termination signals,
// the close's time limit. It runs galvanostatically at 2 uA with 1 s points and prints every
// complete row as its data line. After three data rows it does what `scenario` says:
//   mode      clicks another mode: the mode-change question stays open
//   question  presses the close button: the close question stays open
//   message   shows a message box (as the recovery message after an unattended restart)
//   file      opens a file dialog
//   plot      opens the plot's settings dialog
//   held      nothing; once the close has begun the main thread is held (a disk that does not
//             answer)
//   none      nothing
int RunClosingChild(const QStringList& args) {
    if (args.size() < 4)
        return 2;
    SetProgramFolder(args[0]);
    const QString scenario = args[3];
    auto dialogs = std::make_shared<TAnnouncedDialogs>();
    SetDialogs(dialogs);
    std::unique_ptr<TfrmOndrix> owned = OpenSimulatedWindow(args[1], args[2], 1);
    owned->ExperimentData->EditSampleName->setText(QStringLiteral("Run"));
    if (args.size() > 4) // notes that make the data file's head this long
        owned->ExperimentData->MemoNotes->setPlainText(QString(args[4].toInt(), u'n'));
    if (owned->Run().ProgramState != TProgramState::Paused)
        return 3;
    TfrmOndrix* w = owned.release();
    w->setAttribute(Qt::WA_DeleteOnClose);
    dialogs->SetParent(w);
    w->SetCloseTimeLimit(TCloseWatchdog::kProgramLimit);
    bool saved = true;
    QObject::connect(w, &TfrmOndrix::Closed, [&saved](bool s) { saved = s; });
    QPointer<TfrmOndrix> closing(w);
    TSignalCloser closer([closing] {
        if (closing)
            closing->CloseWithoutQuestion();
    });
    w->show();
    w->ExperimentControl->RtIntegerEditCurrentmA->SetValue(2);
    dialogs->startingRun = true;
    w->ExperimentControl->RadioButtonModePassive->click();
    dialogs->startingRun = false;

    int printed = 1;
    bool opened = false;
    QTimer printer;
    QObject::connect(&printer, &QTimer::timeout, [&] {
        if (!closing)
            return;
        for (; printed < w->DataGrid->RowCount(); ++printed) {
            QByteArray line;
            w->DataGrid->Grid().AppendFileLine(line, printed);
            line.chop(2);
            std::fputs(line.constData(), stdout);
            std::fputc('\n', stdout);
        }
        std::fflush(stdout);
        if (scenario == QStringLiteral("held") && w->Run().ProgramState == TProgramState::ToExit)
            std::this_thread::sleep_for(std::chrono::seconds(60));
        if (opened || printed < 5) // the mode-change row and three data rows
            return;
        opened = true;
        // From the top of the event loop, as the operator's click would come.
        QTimer::singleShot(0, w, [w, scenario, folder = args[0]] {
            if (scenario == QStringLiteral("mode"))
                w->ExperimentControl->RadioButtonSetVoltage->click();
            else if (scenario == QStringLiteral("question"))
                w->close();
            else if (scenario == QStringLiteral("message"))
                Dialogs().Message(QStringLiteral("A message nobody is there to read"));
            else if (scenario == QStringLiteral("file"))
                Dialogs().OpenFileName(QStringLiteral("Load step program"), folder, QStringLiteral("*"));
            else if (scenario == QStringLiteral("plot")) {
                TAnnouncedDialogs::Announce(QStringLiteral("plot settings"));
                w->RtGraph2D1->OpenSettings();
            }
        });
    });
    printer.start(20);
    const int rc = QApplication::exec();
    return rc != 0 ? rc : saved ? 0 : 1;
}
const TChildProgram kClosingChild("closing", RunClosingChild);

QStringList DataFilesUnder(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, {QStringLiteral("Run_0*.csv")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

class Close : public ::testing::Test {
protected:
    void SetUp() override {
        sim = StartSimulator();
        ASSERT_TRUE(sim);
    }
    void TearDown() override {
        if (child.state() != QProcess::NotRunning) {
            child.kill();
            child.waitForFinished(10000);
        }
        if (sim)
            sim->Stop();
    }
    double PumpCurrent() {
        double a = NAN;
        sim->WithCell([&](TSimCell& c) { a = c.Pump().currentA; });
        return a;
    }
    void StartChild(const QString& scenario, const QStringList& more = {}) {
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.setWorkingDirectory(folder.path());
        child.start(QCoreApplication::applicationFilePath(),
                    QStringList{QStringLiteral("--child"), QStringLiteral("closing"), folder.path(),
                                QString::fromStdString(sim->PortPath(TInstrumentId::Smu)),
                                QString::fromStdString(sim->PortPath(TInstrumentId::Dmm)), scenario} +
                        more);
        ASSERT_TRUE(child.waitForStarted(20000));
    }
    void Read() {
        out += child.readAllStandardOutput();
        err += child.readAllStandardError();
    }
    // Rows the child printed so far (complete lines only).
    QList<QByteArray> Rows() {
        Read();
        QList<QByteArray> rows = out.split('\n');
        rows.removeLast();
        return rows;
    }
    // Waits, reading what the child prints, until `done` or the deadline.
    bool WaitForChild(const std::function<bool()>& done, int seconds) {
        const auto ended = [&] {
            Read();
            return done() || child.state() == QProcess::NotRunning;
        };
        return WaitUntil(ended, seconds * 1000) && done();
    }
    bool BoxAnnounced() const { return err.contains("box: "); }

    std::string Output() {
        Read();
        return (out + "\n--- standard error:\n" + err).toStdString();
    }
    QString EventLogText() {
        QFile f(folder.file(QStringLiteral("Logs/") + TEventLog::FileNameOf(QDate::currentDate())));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    TTempProgramFolder folder;
    std::unique_ptr<TCellSimulator> sim;
    QProcess child;
    QByteArray out, err;
};

struct TBoxCase {
    const char* scenario;
    int signal;
};
void PrintTo(const TBoxCase& c, std::ostream* os) {
    *os << c.scenario << " with signal " << c.signal;
}

class CloseWithABoxOpen : public Close, public ::testing::WithParamInterface<TBoxCase> {};

TEST_P(CloseWithABoxOpen, RejectsTheBoxThenClosesInOrderWithEveryRowSaved) {
    const TBoxCase c = GetParam();
    StartChild(QString::fromLatin1(c.scenario));
    ASSERT_TRUE(WaitForChild([&] { return Rows().size() >= 4 && BoxAnnounced(); }, 120)) << Output();
    EXPECT_GT(std::abs(PumpCurrent()), 1e-6);
    ::kill(pid_t(child.processId()), c.signal);
    ASSERT_TRUE(child.waitForFinished(60000)) << "the close is held by the box\n" << Output();
    const QList<QByteArray> built = Rows();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << Output();
    EXPECT_EQ(child.exitCode(), 0) << Output();
    EXPECT_FALSE(err.contains("double free") || err.contains("corruption")) << Output();

    EXPECT_LT(std::abs(PumpCurrent()), 1e-12) << "the pump is left at 0 A";
    const QStringList files = DataFilesUnder(folder.file(QStringLiteral("Userdata")));
    ASSERT_FALSE(files.isEmpty()) << Output();
    const QList<QByteArray> saved = RowsOfFile(files.last());
    ASSERT_GE(saved.size(), built.size());
    for (int i = 0; i < built.size(); ++i)
        ASSERT_EQ(saved[i], built[i]) << "row " << i + 1;
    EXPECT_FALSE(QFileInfo::exists(TExperimentJournal::MarkerPath(folder.file(QStringLiteral("Userdata")))));
}

INSTANTIATE_TEST_SUITE_P(Boxes, CloseWithABoxOpen,
                         ::testing::Values(TBoxCase{"mode", SIGTERM}, TBoxCase{"question", SIGHUP},
                                           TBoxCase{"message", SIGINT}, TBoxCase{"file", SIGTERM},
                                           TBoxCase{"plot", SIGINT}),
                         [](const auto& info) {
                             const char* signal = info.param.signal == SIGTERM  ? "SIGTERM"
                                                  : info.param.signal == SIGINT ? "SIGINT"
                                                                                : "SIGHUP";
                             return std::string(info.param.scenario) + "_" + signal;
                         });

// The day folder's file system fills during the run: the journal and the close's save fail. The
// close still puts the pump to 0 A and ends at once, and says what was not saved where nobody has
// to click anything.
TEST_F(Close, OnAFullDiskEndsAtOnceWithThePumpAtZeroAndTheFailureReportedWithoutABox) {
    TSmallFileSystem disk(folder.file(QStringLiteral("Userdata/") + TExperimentFile::DayFolderName(Now())));
    if (!disk.Mounted())
        GTEST_SKIP() << "no file system can be mounted here: " << disk.Error().toStdString();
    // Notes longer than any write buffer: a save's first write already fails on the full disk.
    StartChild(QStringLiteral("none"), {QStringLiteral("70000")});
    ASSERT_TRUE(WaitForChild([&] { return Rows().size() >= 4; }, 120)) << Output();
    EXPECT_GT(std::abs(PumpCurrent()), 1e-6);
    disk.Fill();
    const qsizetype rows = Rows().size();
    ASSERT_TRUE(WaitForChild([&] { return Rows().size() > rows; }, 60)) << "a row on the full disk\n"
                                                                        << Output();
    Read();
    const qsizetype boxesBefore = err.count("box: ");
    QElapsedTimer sinceSignal;
    sinceSignal.start();
    ::kill(pid_t(child.processId()), SIGTERM);
    ASSERT_TRUE(child.waitForFinished(20000)) << Output();
    EXPECT_LT(sinceSignal.elapsed(), 10000) << "a service manager would have killed it by now";
    Read();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << Output();
    EXPECT_EQ(child.exitCode(), 1) << "rows were not saved\n" << Output();
    EXPECT_LT(std::abs(PumpCurrent()), 1e-12) << "the pump is left at 0 A";
    EXPECT_EQ(err.count("box: "), boxesBefore) << "a box on the close's path\n" << Output();
    EXPECT_TRUE(QFileInfo::exists(TExperimentJournal::MarkerPath(folder.file(QStringLiteral("Userdata")))))
        << "rows not saved: the next start must recover what the journal has";
    EXPECT_TRUE(err.contains("Rows not saved at close: ")) << Output();
    EXPECT_TRUE(err.contains("No space left on device")) << Output();
    EXPECT_TRUE(EventLogText().contains(QStringLiteral("\tClose\tRows not saved at close: ")))
        << EventLogText().toStdString();
}

// The close held on the main thread: the watchdog ends the process in time, the pump at 0 A, and
// the journal with its marker is left for the next start.
TEST_F(Close, HeldOnTheMainThreadEndsByTheWatchdogWithThePumpAtZeroAndTheJournalKept) {
    StartChild(QStringLiteral("held"));
    ASSERT_TRUE(WaitForChild([&] { return Rows().size() >= 4; }, 120)) << Output();
    EXPECT_GT(std::abs(PumpCurrent()), 1e-6);
    QElapsedTimer sinceSignal;
    sinceSignal.start();
    ::kill(pid_t(child.processId()), SIGTERM);
    ASSERT_TRUE(child.waitForFinished(30000)) << Output();
    EXPECT_LT(sinceSignal.elapsed(), 10000) << "a service manager would have killed it by now";
    Read();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << Output();
    EXPECT_EQ(child.exitCode(), TCloseWatchdog::kTimedOutExitCode) << Output();
    EXPECT_LT(std::abs(PumpCurrent()), 1e-12) << "the pump is left at 0 A";
    EXPECT_TRUE(err.contains("The close did not end within 8 s")) << Output();
    EXPECT_TRUE(QFileInfo::exists(TExperimentJournal::MarkerPath(folder.file(QStringLiteral("Userdata")))))
        << "the next start must recover the rows";
    EXPECT_TRUE(EventLogText().contains(QStringLiteral("\tClose\tThe close did not end within")))
        << EventLogText().toStdString();
}

// The watchdog itself: what it does when the time is up, by whether the pump was confirmed at 0 A.
struct TWatchdogCase {
    const char* name;
    bool pumpAtZero; // the worker has sent 0 A by the time the watchdog looks
    bool disarmed;   // the close ends before the limit
    bool expectSend; // 0 A goes out from the watchdog
    bool expectExit;
};
void PrintTo(const TWatchdogCase& c, std::ostream* os) {
    *os << c.name;
}

class CloseWatchdog : public ::testing::TestWithParam<TWatchdogCase> {};

TEST_P(CloseWatchdog, SendsZeroOnlyWhenTheWorkerHasNotAndExitsOnlyWhenTheCloseHasNotEnded) {
    const TWatchdogCase c = GetParam();
    std::atomic<int> sends{0}, exitCode{-1};
    TCloseWatchdog::TActions a;
    a.PumpAtZero = [&] { return c.pumpAtZero; };
    a.SendZero = [&] { ++sends; };
    a.Exit = [&](int code) { exitCode = code; };
    {
        TCloseWatchdog watchdog(c.disarmed ? std::chrono::milliseconds(60000) : std::chrono::milliseconds(20),
                                a);
        if (!c.disarmed)
            ASSERT_TRUE(WaitUntil([&] { return exitCode.load() >= 0; }, 30000));
    }
    EXPECT_EQ(sends.load(), c.expectSend ? 1 : 0);
    EXPECT_EQ(exitCode.load(), c.expectExit ? TCloseWatchdog::kTimedOutExitCode : -1);
}

INSTANTIATE_TEST_SUITE_P(Cases, CloseWatchdog,
                         ::testing::Values(TWatchdogCase{"WorkerSentZero", true, false, false, true},
                                           TWatchdogCase{"WorkerStuck", false, false, true, true},
                                           TWatchdogCase{"CloseEndedInTime", false, true, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
