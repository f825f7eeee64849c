// Nothing lost: rows reach the journal as they are built, a close saves them, a killed program's
// rows come back at the next start, a termination signal closes in order with the pump at 0 A,
// and a main thread held for seconds costs no point.
#include "app/ConfigurationPage.h"
#include "app/ExperimentControlPage.h"
#include "app/ExperimentDataPage.h"
#include "app/SignalCloser.h"
#include "app/StatusPane.h"
#include "app/TRtDoubleEdit.h"
#include "app/TfrmOndrix.h"
#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "common/ProgramFolder.h"
#include "common/Synchronize.h"
#include "diagnostics/EventLog.h"
#include "diagnostics/LogChannel.h"
#include "recording/ColumnTable.h"
#include "recording/ExperimentFile.h"
#include "recording/ExperimentJournal.h"
#include "recording/TDataGridModel.h"
#include "simulator/CellSimulator.h"
#include "simulator/SimCell.h"
#include "tests/support/ChildProgram.h"
#include "tests/support/DataFileRows.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/SimulatedWindow.h"
#include "tests/support/SimulatorRun.h"
#include "tests/support/SmallFileSystem.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Wait.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QRadioButton>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace {

// A data line as the files hold it, without its CR LF.
QByteArray DataLineOf(const TDataGrid& grid, int row) {
    QByteArray line;
    grid.AppendFileLine(line, row);
    line.chop(2);
    return line;
}

QStringList FilesUnder(const QString& folder, const QString& pattern) {
    QStringList files;
    QDirIterator it(folder, {pattern}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

std::unique_ptr<TfrmOndrix> OpenWindow(const QString& smu, const QString& dmm) {
    auto w = OpenSimulatedWindow(smu, dmm, 1);
    w->ExperimentData->EditSampleName->setText(QStringLiteral("Run"));
    return w;
}

void StartGalvanostatic(TfrmOndrix& w, int microA) {
    w.ExperimentControl->RtIntegerEditCurrentmA->SetValue(microA);
    QTest::mouseClick(w.ExperimentControl->RadioButtonModePassive, Qt::LeftButton);
}

// The program as a child process: a window on the given program folder and simulated ports, a
// galvanostatic run at 2 uA with 1 s points, the termination signals handled as in the program,
// and every row that is complete printed to stdout as its data line.
int RunProgramChild(const QStringList& args) {
    if (args.size() < 3)
        return 2;
    SetProgramFolder(args[0]);
    auto dialogs = std::make_shared<TScriptedDialogs>();
    SetDialogs(dialogs);
    std::unique_ptr<TfrmOndrix> owned = OpenWindow(args[1], args[2]);
    if (owned->Run().ProgramState != TProgramState::Paused)
        return 3;
    TfrmOndrix* w = owned.release();
    w->setAttribute(Qt::WA_DeleteOnClose);
    TSignalCloser closer([w] { w->CloseWithoutQuestion(); });
    w->show(); // the last window closing ends the event loop, as in the program
    StartGalvanostatic(*w, 2);
    // Rows are built whole inside one tick, so between events every row of the grid is complete
    // and handed to the journal, whose writer thread has it in the file a moment later (with the
    // next row or tick, 250 ms, when the row found the writer's lock taken): a row is printed once
    // it has been in the grid for 20 shots of the printer (about 400 ms).
    int printed = 1;
    std::deque<int> rowCounts; // the grid's row count at the last shots, oldest first
    QTimer printer;
    // The window deletes itself when it has closed; the printer may fire once more after that.
    QPointer<TfrmOndrix> alive(w);
    QObject::connect(&printer, &QTimer::timeout, [&] {
        if (!alive)
            return;
        rowCounts.push_back(w->DataGrid->RowCount());
        if (rowCounts.size() > 20)
            rowCounts.pop_front();
        for (; printed < rowCounts.front(); ++printed) {
            std::fputs(DataLineOf(w->DataGrid->Grid(), printed).constData(), stdout);
            std::fputc('\n', stdout);
        }
        std::fflush(stdout);
    });
    printer.start(20);
    return QApplication::exec();
}
const TChildProgram kProgramChild("program", RunProgramChild);

class Durability : public ::testing::Test {
protected:
    void SetUp() override {
        sim = StartSimulator();
        ASSERT_TRUE(sim);
        smu = QString::fromStdString(sim->PortPath(TInstrumentId::Smu));
        dmm = QString::fromStdString(sim->PortPath(TInstrumentId::Dmm));
        dialogs = std::make_shared<TScriptedDialogs>();
        SetDialogs(dialogs);
    }
    void TearDown() override {
        if (child.state() != QProcess::NotRunning) {
            child.kill();
            child.waitForFinished(10000);
        }
        CloseWindow(w, *dialogs);
        if (sim)
            sim->Stop();
        SetDialogs(nullptr);
    }
    double PumpCurrent() {
        double a = NAN;
        sim->WithCell([&](TSimCell& c) { a = c.Pump().currentA; });
        return a;
    }
    void StartChild() {
        child.setProcessChannelMode(QProcess::SeparateChannels);
        // An earlier test's program folder may have been the current folder, and is gone now.
        child.setWorkingDirectory(folder.path());
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), QStringLiteral("program"), folder.path(), smu, dmm});
        ASSERT_TRUE(child.waitForStarted(20000));
    }
    // Rows the child printed so far: data lines of complete rows, the mode-change row first.
    QList<QByteArray> ChildRows() {
        childOut += child.readAllStandardOutput();
        QList<QByteArray> rows = childOut.split('\n');
        rows.removeLast(); // the line in progress, or the empty rest
        return rows;
    }
    int DataRows(const QList<QByteArray>& rows) const {
        int n = 0;
        for (const QByteArray& r : rows)
            n += r.contains(";12;") ? 1 : 0; // Mode 12: a galvanostatic data row
        return n;
    }
    // Until the child has printed `dataRows` data rows; false at the deadline or when it ended first.
    bool WaitForChildRows(int dataRows, int seconds) {
        const auto enough = [&] { return DataRows(ChildRows()) >= dataRows; };
        return WaitUntil([&] { return enough() || child.state() == QProcess::NotRunning; }, seconds * 1000) &&
               enough();
    }

    TTempProgramFolder folder;
    std::unique_ptr<TCellSimulator> sim;
    QString smu, dmm;
    std::shared_ptr<TScriptedDialogs> dialogs;
    std::unique_ptr<TfrmOndrix> w;
    QProcess child;
    QByteArray childOut;
};

TEST_F(Durability, KilledProgramLeavesEveryRowInItsJournalAndTheNextStartRecoversThem) {
    StartChild();
    ASSERT_TRUE(WaitForChildRows(20, 120))
        << childOut.toStdString() << child.readAllStandardError().toStdString();
    const QList<QByteArray> built = ChildRows();
    ::kill(pid_t(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished(20000));
    EXPECT_GT(std::abs(PumpCurrent()), 1e-6) << "a killed program leaves the pump driven";

    const QStringList journals =
        FilesUnder(folder.file(QStringLiteral("Userdata")), QStringLiteral("*.journal.csv"));
    ASSERT_EQ(journals.size(), 1);
    const QList<QByteArray> journal = RowsOfFile(journals[0]);
    ASSERT_GE(journal.size(), built.size());
    for (int i = 0; i < built.size(); ++i)
        ASSERT_EQ(journal[i], built[i]) << "row " << i + 1;
    EXPECT_TRUE(QFileInfo::exists(TExperimentJournal::MarkerPath(folder.file(QStringLiteral("Userdata")))));

    // The next start writes the journal out as a data file, says so, and stops the pump.
    const QStringList before =
        FilesUnder(folder.file(QStringLiteral("Userdata")), QStringLiteral("Run_*.csv"));
    SetProgramFolder(folder.path());
    w = OpenWindow(smu, dmm);
    ASSERT_TRUE(WaitUntil([&] { return !dialogs->messages.isEmpty(); }, 10000));
    ASSERT_EQ(dialogs->messages.size(), 1);
    const QString message = dialogs->messages[0];
    EXPECT_TRUE(message.startsWith(QStringLiteral("The last run ended without closing")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("%1 rows recovered into").arg(journal.size())))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("The pump may have been driven from")));
    QStringList after = FilesUnder(folder.file(QStringLiteral("Userdata")), QStringLiteral("Run_*.csv"));
    for (const QString& f : before)
        after.removeAll(f);
    after.removeIf([](const QString& f) { return f.endsWith(QStringLiteral(".journal.csv")); });
    ASSERT_EQ(after.size(), 1);
    EXPECT_TRUE(message.contains(QDir::toNativeSeparators(after[0])));
    EXPECT_EQ(RowsOfFile(after[0]), journal);
    EXPECT_FALSE(QFileInfo::exists(TExperimentJournal::MarkerPath(folder.file(QStringLiteral("Userdata")))));
    EXPECT_TRUE(WaitUntil([&] { return std::abs(PumpCurrent()) < 1e-12; }, 20000))
        << "the set-up ends at 0 A";
}

TEST_F(Durability, TerminationSignalClosesInOrderWithThePumpAtZeroAndEveryRowSaved) {
    StartChild();
    ASSERT_TRUE(WaitForChildRows(5, 120))
        << childOut.toStdString() << child.readAllStandardError().toStdString();
    EXPECT_GT(std::abs(PumpCurrent()), 1e-6);
    ::kill(pid_t(child.processId()), SIGTERM);
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
    const QList<QByteArray> built = ChildRows();

    EXPECT_LT(std::abs(PumpCurrent()), 1e-12) << "the pump is left at 0 A";
    QStringList files = FilesUnder(folder.file(QStringLiteral("Userdata")), QStringLiteral("Run_0*.csv"));
    ASSERT_FALSE(files.isEmpty());
    const QList<QByteArray> saved = RowsOfFile(files.last());
    ASSERT_GE(saved.size(), built.size());
    for (int i = 0; i < built.size(); ++i)
        ASSERT_EQ(saved[i], built[i]) << "row " << i + 1;
    EXPECT_FALSE(QFileInfo::exists(TExperimentJournal::MarkerPath(folder.file(QStringLiteral("Userdata")))))
        << "an orderly close ends the journal";
}

TEST_F(Durability, OrderlyCloseSavesTheRowsNotInADataFileYet) {
    w = OpenWindow(smu, dmm);
    ASSERT_EQ(w->Run().ProgramState, TProgramState::Paused);
    StartGalvanostatic(*w, 2);
    ASSERT_TRUE(WaitUntil([&] { return w->DataGrid->RowCount() >= 6; }, 60000));
    dialogs->answers = {true};
    w->close();
    QList<QByteArray> built;
    for (int r = 1; r < w->DataGrid->RowCount(); ++r)
        built << DataLineOf(w->DataGrid->Grid(), r);
    w.reset();

    const QStringList files =
        FilesUnder(folder.file(QStringLiteral("Userdata")), QStringLiteral("Run_0*.csv"));
    ASSERT_GE(files.size(), 2) << "the autosave at the start, and the close";
    EXPECT_EQ(RowsOfFile(files.last()), built);
    EXPECT_FALSE(QFileInfo::exists(TExperimentJournal::MarkerPath(folder.file(QStringLiteral("Userdata")))));
}

// A journal that can't be written is reported once; the rows go on into the grid.
TEST_F(Durability, AJournalThatFailsIsReportedOnceAndRecordingGoesOn) {
    w = OpenWindow(smu, dmm);
    ASSERT_EQ(w->Run().ProgramState, TProgramState::Paused);
    // A file where today's folder would go: neither the journal nor a data file can be written.
    QFile blocker(folder.file(QStringLiteral("Userdata/") + TExperimentFile::DayFolderName(Now())));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const qsizetype firstEvent = EventLogLinesOfThisRun().size();
    StartGalvanostatic(*w, 2);
    ASSERT_TRUE(WaitUntil([&] { return w->DataGrid->RowCount() >= 5; }, 60000));
    EXPECT_TRUE(w->RzStatusPaneNotice->isVisibleTo(w.get()));
    EXPECT_TRUE(w->RzStatusPaneNotice->Caption().startsWith(QStringLiteral("Journal failed")))
        << w->RzStatusPaneNotice->Caption().toStdString();
    const QStringList events = EventLogLinesOfThisRun().mid(firstEvent);
    EXPECT_EQ(std::count_if(
                  events.begin(), events.end(),
                  [](const QString& e) { return e.contains(QStringLiteral("\tJournal\tJournal failed")); }),
              1)
        << events.join(u'\n').toStdString();
}

// The day folder is full during a run: a save says so (the file, "No space left on device") and
// leaves no file, the event log never says "wrote" for it, and the journal, behind while the disk
// is full, holds every row again once there is room, so a kill then would lose none.
TEST_F(Durability, AFullDiskDuringARunCostsNoRowAndIsToldTruthfully) {
    w = OpenWindow(smu, dmm);
    ASSERT_EQ(w->Run().ProgramState, TProgramState::Paused);
    const QString day = folder.file(QStringLiteral("Userdata/") + TExperimentFile::DayFolderName(Now()));
    TSmallFileSystem fs(day, 1024);
    if (!fs.Mounted())
        GTEST_SKIP() << "no file system can be mounted here: " << fs.Error().toStdString();
    // Full before the journal's first write: a journal that had a page of the disk already would
    // fill that page before it fails.
    fs.Fill();
    StartGalvanostatic(*w, 2);
    ASSERT_TRUE(
        WaitUntil([&] { return w->DataGrid->RowCount() >= 4 && !w->JournalPath().isEmpty(); }, 60000));
    const QString journalPath = w->JournalPath();
    const qsizetype firstEvent = EventLogLinesOfThisRun().size();
    const qsizetype firstMessage = dialogs->messages.size();
    const TSaveResult failed = w->Save();
    EXPECT_FALSE(failed.Ok());
    EXPECT_EQ(failed.Reason, QStringLiteral("No space left on device"));
    EXPECT_FALSE(QFileInfo::exists(failed.FilePath)) << "no file, not even an empty one";
    ASSERT_EQ(dialogs->messages.size(), firstMessage + 1);
    EXPECT_EQ(dialogs->messages.last(),
              QStringLiteral("The data file %1 could not be written: No space left on device")
                  .arg(QDir::toNativeSeparators(failed.FilePath)));
    // Rows built while the disk is full: the journal falls behind and says why.
    const int rowsBefore = w->DataGrid->RowCount();
    ASSERT_TRUE(WaitUntil([&] { return w->DataGrid->RowCount() >= rowsBefore + 3; }, 60000));
    // The notice names the journal and why; the autosave's failure stands beside it.
    EXPECT_TRUE(w->RzStatusPaneNotice->Caption().startsWith(QStringLiteral("Journal failed")));
    EXPECT_TRUE(w->RzStatusPaneNotice->Caption().contains(QDir::toNativeSeparators(journalPath) +
                                                          QStringLiteral(": No space left on device")))
        << w->RzStatusPaneNotice->Caption().toStdString();
    // An autosave (or the save of a step advance) fails without a box that would hold the tick:
    // the notice pane says it.
    const TSaveResult quiet = w->SaveUnattended();
    EXPECT_FALSE(quiet.Ok());
    EXPECT_EQ(dialogs->messages.size(), firstMessage + 1) << "an unattended save shows no box";
    EXPECT_TRUE(w->RzStatusPaneNotice->Caption().contains(QStringLiteral("Save failed")))
        << w->RzStatusPaneNotice->Caption().toStdString();

    fs.Free();
    ASSERT_TRUE(WaitUntil(
        [&] { return !w->RzStatusPaneNotice->Caption().contains(QStringLiteral("Journal failed")); }, 30000))
        << w->RzStatusPaneNotice->Caption().toStdString();
    QList<QByteArray> built;
    for (int r = 1; r < w->DataGrid->RowCount(); ++r)
        built << DataLineOf(w->DataGrid->Grid(), r);
    // The journal's writer thread has the last rows in the file a moment after they were built.
    QList<QByteArray> journal;
    ASSERT_TRUE(WaitUntil([&] {
        journal = RowsOfFile(journalPath);
        return journal.size() >= built.size();
    }));
    for (int i = 0; i < built.size(); ++i)
        ASSERT_EQ(journal[i], built[i]) << "row " << i + 1;

    const TSaveResult saved = w->Save();
    ASSERT_TRUE(saved.Ok()) << saved.Message.toStdString();
    EXPECT_GE(RowsOfFile(saved.FilePath).size(), built.size());
    const QStringList events = EventLogLinesOfThisRun().mid(firstEvent);
    const QStringList wrote = events.filter(QStringLiteral("\tSave\twrote "));
    ASSERT_EQ(wrote.size(), 1) << events.join(u'\n').toStdString();
    EXPECT_TRUE(wrote[0].endsWith(QDir::toNativeSeparators(saved.FilePath)));
    EXPECT_EQ(events.filter(QStringLiteral("\tSave\tfailed: ")).size(), 2);
    EXPECT_EQ(events.filter(QStringLiteral("\tJournal\twritten again")).size(), 1)
        << events.join(u'\n').toStdString();
}

// A marker that points at what would hang, exhaust or freeze the start is refused and set aside;
// the window opens, tells the operator with a message of a sane length, and its log stays short.
TEST_F(Durability, AStartWithAHostileMarkerCompletes) {
    const QString userdata = folder.file(QStringLiteral("Userdata"));
    const struct {
        const char* what;
        std::function<void()> prepare;
        QByteArray marker;
    } cases[] = {
        {"a device", [] {}, "/dev/zero\nRun\n"},
        {"a FIFO",
         [&] {
             QDir().mkpath(userdata + QStringLiteral("/2024-03-15"));
             ASSERT_EQ(
                 ::mkfifo(QFile::encodeName(userdata + QStringLiteral("/2024-03-15/f.journal.csv")), 0644),
                 0);
         },
         "2024-03-15/f.journal.csv\nRun\n"},
        {"a name of 10 MB", [] {}, QByteArray(10 << 20, 'a') + "\nRun\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(userdata).removeRecursively();
        QDir().mkpath(userdata);
        c.prepare();
        {
            QFile marker(TExperimentJournal::MarkerPath(userdata));
            ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
            marker.write(c.marker);
        }
        dialogs->messages.clear();
        w = OpenWindow(smu, dmm);
        ASSERT_TRUE(WaitUntil([&] { return !dialogs->messages.isEmpty(); }, 10000));
        EXPECT_TRUE(
            dialogs->messages[0].contains(QDir::toNativeSeparators(TExperimentJournal::MarkerPath(userdata))))
            << dialogs->messages[0].left(300).toStdString();
        EXPECT_LT(dialogs->messages[0].size(), 1000);
        EXPECT_FALSE(QFileInfo::exists(TExperimentJournal::MarkerPath(userdata)));
        const QTextDocument* log = w->ConfigurationPage->MemoConfLog->document();
        for (QTextBlock b = log->begin(); b.isValid(); b = b.next())
            EXPECT_LE(b.length(), TConfigurationPage::kMaxLogLine + 100);
        CloseWindow(w, *dialogs);
    }
}

TEST_F(Durability, MainThreadHeldForSecondsLosesAndDoublesNoPoint) {
    w = OpenWindow(smu, dmm);
    ASSERT_EQ(w->Run().ProgramState, TProgramState::Paused);
    StartGalvanostatic(*w, 2);
    ASSERT_TRUE(WaitUntil([&] { return w->DataGrid->RowCount() >= 4; }, 60000));
    const int before = w->DataGrid->RowCount();

    // Held as by a long save: no events, no tick, no hand-over for five seconds.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    ASSERT_TRUE(WaitUntil([&] { return w->DataGrid->RowCount() >= before + 5; }, 30000));

    // Every point of those seconds is a row of its own, in order, one point length apart.
    double previousTime = -1, previousDate = 0;
    for (int r = 2; r < w->DataGrid->RowCount(); ++r) {
        SCOPED_TRACE(r);
        double t = 0;
        ASSERT_TRUE(TryParseRegional(w->DataGrid->Cell(r, ColumnOf(TProperty::Time)), t));
        EXPECT_GT(t, previousTime);
        const QDateTime date = QDateTime::fromString(w->DataGrid->Cell(r, ColumnOf(TProperty::Date)),
                                                     QStringLiteral("yyyy-MM-dd_HH:mm:ss:zzz"));
        ASSERT_TRUE(date.isValid());
        const double seconds = date.toMSecsSinceEpoch() / 1000.0;
        if (previousDate > 0)
            EXPECT_LT(seconds - previousDate, 2.5) << "a gap: points were lost or merged";
        double interval = 0;
        ASSERT_TRUE(TryParseRegional(w->DataGrid->Cell(r, ColumnOf(TProperty::Interval)), interval));
        EXPECT_LT(interval, 2.5) << "a point spanning the held seconds";
        previousTime = t;
        previousDate = seconds;
    }
}

} // namespace
