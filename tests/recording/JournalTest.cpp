// The run's journal and its recovery after a run that ended without closing.
#include "recording/ExperimentJournal.h"
#include "recording/JournalRecovery.h"

#include "common/Clock.h"
#include "common/DateTime.h"
#include "recording/ColumnTable.h"
#include "recording/ExperimentFile.h"
#include "recording/TDataGridModel.h"
#include "tests/support/SmallFileSystem.h"
#include "tests/support/Wait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        grid.FormatGrid();
        for (int i = 0; i < 3; ++i) {
            TDataRow row;
            row[TProperty::Time] = 10 * i;
            row[TProperty::Mode] = 12;
            row[TProperty::Date] = EncodeDateTime(2024, 3, 15, 14, 0, i);
            grid.AddRow(row);
        }
        record.Sample.Name = QStringLiteral("LSC 64");
        record.Notes = QStringLiteral("one\ntwo");
    }
    QString Userdata() const { return dir.filePath(QStringLiteral("Userdata")); }
    QString DayPath(const QString& file) const { return Userdata() + QStringLiteral("/2024-03-15/") + file; }
    // The journal of the three rows, as a run writes it.
    QString WriteJournal() {
        const QString path = DayPath(TExperimentJournal::FileName(record.Sample.Name, T0()));
        EXPECT_TRUE(journal.Start(Userdata(), path, record.Sample.Name, TExperimentFile::Head(record, T0()),
                                  grid.Grid()))
            << journal.LastError().toStdString();
        for (int r = 1; r < grid.RowCount(); ++r)
            EXPECT_TRUE(journal.Append(grid.Grid(), r));
        EXPECT_TRUE(journal.WaitUntilWritten(kWaitDeadlineMs)); // the writer thread has them in the file
        return path;
    }
    static TDateTime T0() { return EncodeDateTime(2024, 3, 15, 14, 0, 5); }

    QTemporaryDir dir;
    TDataGridModel grid;
    TExperimentFileRecord record;
    TExperimentJournal journal;
};

TEST_F(JournalTest, AJournalIsTheDataFileOfItsRowsAndAnOrderlyEndRemovesItsMarker) {
    const QString path = WriteJournal();
    EXPECT_EQ(QFileInfo(path).fileName(), QStringLiteral("LSC 64_run-20240315-140005.journal.csv"));
    // Written through: the bytes are in the file before any close, equal to a save of the grid.
    record.Grid = &grid.Grid();
    ASSERT_TRUE(TExperimentFile::Save(record, Userdata(), T0(), 1).Ok());
    EXPECT_EQ(Read(path), Read(DayPath(QStringLiteral("LSC 64_0001.csv"))));
    EXPECT_EQ(journal.Rows(), 3);
    EXPECT_EQ(Read(TExperimentJournal::MarkerPath(Userdata())),
              QByteArray("2024-03-15/LSC 64_run-20240315-140005.journal.csv\nLSC 64\n"));
    journal.Finish();
    EXPECT_FALSE(QFileInfo::exists(TExperimentJournal::MarkerPath(Userdata())));
    EXPECT_TRUE(QFileInfo::exists(path)) << "the journal itself stays as the run's record";
    EXPECT_FALSE(RecoverJournal(Userdata()).Found);
}

// A save copies the journal's lines of the rows instead of formatting them again, only while the
// journal mirrors the grid; the file is the same either way.
TEST_F(JournalTest, ASaveCopiesTheJournalsLinesOnlyWhileTheyMirrorTheGrid) {
    const auto addRow = [this](double t) {
        TDataRow row;
        row[TProperty::Time] = t;
        row[TProperty::Mode] = 12;
        row[TProperty::Date] = T0();
        return grid.AddRow(row);
    };
    const struct {
        const char* what;
        std::function<void()> after; // what happens after the three rows were journaled
        bool copied;
    } cases[] = {
        {"every row journaled", [] {}, true},
        {"a row the journal did not get", [&] { addRow(30); }, false},
        {"a row journaled twice", [&] { journal.Append(grid.Grid(), 3); }, false},
        {"a gap",
         [&] {
             addRow(30);
             journal.Append(grid.Grid(), addRow(40));
         },
         false},
        {"cleared, then new rows from row 1",
         [&] {
             grid.ClearData();
             for (int i = 0; i < 2; ++i)
                 journal.Append(grid.Grid(), addRow(100 + i));
         },
         true},
        {"the journal's last line no longer the grid's",
         [&] {
             QFile f(journal.Path());
             ASSERT_TRUE(f.open(QIODevice::ReadWrite));
             ASSERT_TRUE(f.seek(f.size() - 8));
             f.write("x");
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        grid.ClearData();
        for (int i = 0; i < 3; ++i)
            addRow(10 * i);
        WriteJournal();
        c.after();
        record.Grid = &grid.Grid();
        record.RowLines = journal.LinesOfRows(grid.RowCount() - 1);
        EXPECT_EQ(!record.RowLines.IsEmpty(), c.copied);
        ASSERT_TRUE(TExperimentFile::Save(record, Userdata(), T0(), 1).Ok());
        record.RowLines = TFileRange();
        ASSERT_TRUE(TExperimentFile::Save(record, Userdata(), T0(), 2).Ok());
        EXPECT_EQ(Read(DayPath(QStringLiteral("LSC 64_0001.csv"))),
                  Read(DayPath(QStringLiteral("LSC 64_0002.csv"))));
        journal.Finish();
        QFile::remove(journal.Path());
    }
}

// The marker is written before the journal's first byte: a journal that can't be written is still
// named by it, and the failure names the file and the system's reason.
TEST_F(JournalTest, AJournalThatCannotBeWrittenSaysWhyAndIsStillNamedByTheMarker) {
    const QString path = DayPath(QStringLiteral("blocked.journal.csv"));
    ASSERT_TRUE(QDir().mkpath(path)); // a folder where the file should go
    EXPECT_FALSE(journal.Start(Userdata(), path, record.Sample.Name, QByteArray("head\r\n"), grid.Grid()));
    EXPECT_EQ(journal.LastError(), QStringLiteral("The journal can't be opened: %1: Is a directory")
                                       .arg(QDir::toNativeSeparators(path)));
    EXPECT_FALSE(journal.Append(grid.Grid(), 1));
    EXPECT_TRUE(journal.Behind());
    EXPECT_EQ(Read(TExperimentJournal::MarkerPath(Userdata())),
              QByteArray("2024-03-15/blocked.journal.csv\nLSC 64\n"));
}

// A journal on a full disk keeps every row it could not write and, at its first try after there is
// room again (at most one a second), writes them all in order: the file is then the same as if
// nothing had failed, and a save may copy its lines again.
TEST_F(JournalTest, AJournalOnAFullDiskCatchesUpOnceThereIsRoom) {
    const struct {
        const char* what;
        QString mountedOver; // the small file system
        bool fullBeforeStart;
        bool markerAtOnce; // the marker names the journal before the journal's first write succeeds
    } cases[] = {
        {"the day folder fills during the run", QStringLiteral("/2024-03-15"), false, true},
        {"the day folder is full from the start", QStringLiteral("/2024-03-15"), true, true},
        {"all of Userdata is full from the start", QString(), true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(Userdata()).removeRecursively();
        QDir().mkpath(Userdata());
        TSmallFileSystem fs(Userdata() + c.mountedOver, 256);
        if (!fs.Mounted())
            GTEST_SKIP() << "no file system can be mounted here: " << fs.Error().toStdString();
        Clock::Fix(T0());
        grid.ClearData();
        const auto addRow = [this](int i) {
            TDataRow row;
            row[TProperty::Time] = i;
            row[TProperty::Mode] = 12;
            row[TProperty::Date] = T0();
            return grid.AddRow(row);
        };
        const QString path = DayPath(TExperimentJournal::FileName(record.Sample.Name, T0()));
        if (c.fullBeforeStart)
            fs.Fill();
        const bool started = journal.Start(Userdata(), path, record.Sample.Name,
                                           TExperimentFile::Head(record, T0()), grid.Grid());
        EXPECT_EQ(started, !c.fullBeforeStart);
        for (int i = 1; i <= 3; ++i)
            journal.Append(grid.Grid(), addRow(i));
        ASSERT_TRUE(journal.WaitUntilWritten(kWaitDeadlineMs));
        if (!c.fullBeforeStart)
            fs.Fill();
        // The journal's last page may take a few rows more: enough rows to fill it. Each row is
        // waited for, so the writer's tries fall where the clock stands for that row.
        int failed = 0;
        for (int i = 4; i <= 300; ++i) {
            Clock::AdvanceSeconds(0.25);
            journal.Append(grid.Grid(), addRow(i));
            ASSERT_TRUE(journal.WaitUntilWritten(kWaitDeadlineMs));
            failed += journal.Behind() ? 1 : 0;
        }
        EXPECT_GT(failed, 100);
        EXPECT_TRUE(journal.Behind());
        EXPECT_TRUE(journal.LastError().endsWith(QStringLiteral(": No space left on device")))
            << journal.LastError().toStdString();
        EXPECT_TRUE(
            journal.LastError().contains(QDir::toNativeSeparators(c.markerAtOnce ? path : Userdata())))
            << journal.LastError().toStdString();
        EXPECT_EQ(QFileInfo::exists(TExperimentJournal::MarkerPath(Userdata())), c.markerAtOnce);
        EXPECT_TRUE(journal.LinesOfRows(grid.RowCount() - 1).IsEmpty())
            << "no copy of lines that are not there";

        fs.Free();
        journal.SyncIfDue();
        ASSERT_TRUE(journal.WaitUntilWritten(kWaitDeadlineMs));
        EXPECT_TRUE(journal.Behind()) << "tried again a second after the last try, not before";
        Clock::AdvanceSeconds(1);
        journal.SyncIfDue();
        ASSERT_TRUE(journal.WaitUntilWritten(kWaitDeadlineMs));
        EXPECT_FALSE(journal.Behind()) << journal.LastError().toStdString();
        EXPECT_TRUE(journal.SyncIfDue());
        EXPECT_TRUE(journal.Append(grid.Grid(), addRow(301)));
        EXPECT_EQ(journal.Rows(), 301);
        EXPECT_EQ(Read(TExperimentJournal::MarkerPath(Userdata())),
                  ("2024-03-15/" + QFileInfo(path).fileName() + "\nLSC 64\n").toUtf8());
        // Every row in order: the journal reads as a save of the grid.
        record.Grid = &grid.Grid();
        record.RowLines = journal.LinesOfRows(grid.RowCount() - 1);
        EXPECT_FALSE(record.RowLines.IsEmpty());
        ASSERT_TRUE(TExperimentFile::Save(record, Userdata(), T0(), 1).Ok());
        record.RowLines = TFileRange();
        EXPECT_EQ(Read(path), Read(DayPath(QStringLiteral("LSC 64_0001.csv"))));
        record.Grid = nullptr;
        journal.Finish();
        Clock::Release();
    }
}

// A disk that does not answer (the journal is a FIFO nobody reads: its open never returns) holds
// the journal's writer thread, never the caller: Start, Sync and the end each give up after their
// wait and say so, the journal is told as behind, and rows go on being taken. Once the disk answers
// the writer writes every row, in order, and ends as it was asked: the marker is removed only by a
// finish whose rows were saved.
TEST_F(JournalTest, ADiskThatDoesNotAnswerHoldsNoCallerAndGetsEveryRowOnceItAnswers) {
    const struct {
        const char* what;
        std::function<bool(TExperimentJournal&)> end; // false: it did not end in order
        bool markerStays;
    } cases[] = {
        {"a finish with every row saved", [](TExperimentJournal& j) { return j.Finish(true); }, false},
        {"a finish with rows not saved", [](TExperimentJournal& j) { return j.Finish(false); }, true},
        {"a close",
         [](TExperimentJournal& j) {
             j.Close();
             return false;
         },
         true},
    };
    TJournalLimits limits;
    limits.StartMs = limits.AnswerMs = limits.EndMs = 100;
    limits.StuckSeconds = 0.2;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(Userdata()).removeRecursively();
        const QString path = DayPath(QStringLiteral("stuck.journal.csv"));
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        QByteArray expected = "head\r\n";
        grid.Grid().AppendFileLine(expected, 0);
        for (int r = 1; r < grid.RowCount(); ++r)
            grid.Grid().AppendFileLine(expected, r);
        int reader = -1;
        {
            TExperimentJournal stuck(limits);
            EXPECT_FALSE(stuck.Start(Userdata(), path, record.Sample.Name, "head\r\n", grid.Grid()));
            EXPECT_TRUE(stuck.LastError().startsWith(QStringLiteral("The journal can't be written: %1: "
                                                                    "the disk has not answered for ")
                                                         .arg(QDir::toNativeSeparators(path))))
                << stuck.LastError().toStdString();
            EXPECT_EQ(Read(TExperimentJournal::MarkerPath(Userdata())),
                      QByteArray("2024-03-15/stuck.journal.csv\nLSC 64\n"));
            for (int r = 1; r < grid.RowCount(); ++r)
                stuck.Append(grid.Grid(), r);
            EXPECT_TRUE(WaitUntil([&] { return stuck.Behind(); }));
            EXPECT_FALSE(stuck.Sync());
            EXPECT_TRUE(stuck.LinesOfRows(grid.RowCount() - 1).IsEmpty());
            EXPECT_FALSE(c.end(stuck));

            // The disk answers: the writer's open returns, and the rest follows.
            reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
            ASSERT_GE(reader, 0);
            EXPECT_TRUE(stuck.WaitUntilWritten(kWaitDeadlineMs));
        } // the writer has ended: it no longer writes into the FIFO
        QByteArray got;
        char buffer[4096];
        for (qint64 n; (n = ::read(reader, buffer, sizeof buffer)) > 0;)
            got.append(buffer, n);
        ::close(reader);
        EXPECT_EQ(got, expected) << "every row, in order";
        EXPECT_EQ(QFileInfo::exists(TExperimentJournal::MarkerPath(Userdata())), c.markerStays);
    }
}

TEST_F(JournalTest, RecoveryWritesTheCompleteRowsIntoTheNextFreeNumberedFile) {
    struct Case {
        const char* what;
        QByteArray tail;      // bytes a crash left after the three rows
        QStringList existing; // data files already in the day folder
        QString name;         // the experiment name the marker holds
        QString expectedFile;
    } cases[] = {
        {"rows only", {}, {}, QStringLiteral("LSC 64"), QStringLiteral("LSC 64_0001.csv")},
        {"a row cut by the crash",
         "30.00;12;;;;;",
         {},
         QStringLiteral("LSC 64"),
         QStringLiteral("LSC 64_0001.csv")},
        {"numbers taken by the run",
         {},
         {QStringLiteral("LSC 64_0001.csv"), QStringLiteral("LSC 64_0002.csv")},
         QStringLiteral("LSC 64"),
         QStringLiteral("LSC 64_0003.csv")},
        {"a name no file can carry", {}, {}, QStringLiteral("a/b"), QStringLiteral("recovered_0001.csv")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(Userdata()).removeRecursively();
        record.Sample.Name = c.name;
        const QString path = WriteJournal();
        const QByteArray complete = Read(path);
        journal.Close(); // the crash: the marker stays
        if (!c.tail.isEmpty()) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::Append));
            f.write(c.tail);
        }
        for (const QString& e : c.existing)
            Write(DayPath(e), "earlier");

        const TJournalRecovery r = RecoverJournal(Userdata());
        ASSERT_TRUE(r.Found);
        ASSERT_TRUE(r.Recovered) << r.Error.toStdString();
        EXPECT_EQ(r.Rows, 3);
        EXPECT_EQ(r.DataFilePath, DayPath(c.expectedFile));
        EXPECT_EQ(Read(r.DataFilePath), complete);
        for (const QString& e : c.existing)
            EXPECT_EQ(Read(DayPath(e)), QByteArray("earlier"));
        EXPECT_TRUE(r.Message().contains(QStringLiteral(": 3 rows recovered into ")));
        EXPECT_FALSE(QFileInfo::exists(TExperimentJournal::MarkerPath(Userdata())));
        EXPECT_FALSE(RecoverJournal(Userdata()).Found) << "recovered once";
    }
}

TEST_F(JournalTest, AMarkerWithoutItsJournalIsReportedOnce) {
    Write(TExperimentJournal::MarkerPath(Userdata()), "2024-03-15/gone.journal.csv\nLSC 64\n");
    const TJournalRecovery r = RecoverJournal(Userdata());
    EXPECT_TRUE(r.Found);
    EXPECT_FALSE(r.Recovered);
    EXPECT_TRUE(r.Message().contains(QStringLiteral("could not be recovered")));
    EXPECT_FALSE(RecoverJournal(Userdata()).Found);
}

} // namespace
