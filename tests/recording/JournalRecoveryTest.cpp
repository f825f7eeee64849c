// Recovery trusts neither the marker nor the journal: what the marker names must be a journal in a
// day folder of Userdata, only its data lines become rows, and the marker goes only once the data
// file is on the disk whole.
#include "recording/JournalRecovery.h"

#include "common/DateTime.h"
#include "recording/ColumnTable.h"
#include "recording/ExperimentFile.h"
#include "recording/ExperimentJournal.h"
#include "recording/TDataGridModel.h"
#include "tests/support/SmallFileSystem.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(mode));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Every entry under `root` with its size, so a test sees anything written or changed.
QStringList Tree(const QString& root) {
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out << QDir(root).relativeFilePath(path) + u' ' + QString::number(QFileInfo(path).size());
    }
    out.sort();
    return out;
}

class JournalRecoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        grid.FormatGrid();
        for (int i = 0; i < 3; ++i) {
            TDataRow row;
            row[TProperty::Time] = 10 * i;
            row[TProperty::Mode] = 12;
            row[TProperty::PumpI] = -2e-6;
            row[TProperty::Date] = EncodeDateTime(2024, 3, 15, 14, 0, i);
            grid.AddRow(row);
        }
        record.Sample.Name = QStringLiteral("LSC 64");
        QDir().mkpath(Userdata());
        QDir().mkpath(Outside());
    }
    QString Userdata() const { return dir.filePath(QStringLiteral("Userdata")); }
    QString Outside() const { return dir.filePath(QStringLiteral("outside")); }
    QString Marker() const { return TExperimentJournal::MarkerPath(Userdata()); }
    static TDateTime T0() { return EncodeDateTime(2024, 3, 15, 14, 0, 5); }
    // The journal of the three rows, as a run leaves it at a crash.
    QByteArray JournalBytes() const {
        QByteArray bytes = TExperimentFile::Head(record, T0());
        for (int r = 0; r < grid.RowCount(); ++r)
            grid.Grid().AppendFileLine(bytes, r);
        return bytes;
    }
    QStringList SetAsideMarkers() const {
        return QDir(Userdata())
            .entryList({QStringLiteral("journal.open.refused-*")}, QDir::AllEntries | QDir::System);
    }

    QTemporaryDir dir;
    TDataGridModel grid;
    TExperimentFileRecord record;
};

// Markers that point anywhere but at a journal of a day folder are refused, named in the message,
// and set aside; nothing is written anywhere, and the next start finds no marker.
TEST_F(JournalRecoveryTest, AMarkerThatNamesNoJournalOfADayFolderIsRefusedAndSetAside) {
    const QByteArray journal = JournalBytes();
    const struct {
        const char* what;
        std::function<void()> prepare;
        QByteArray marker; // empty: prepare makes the marker itself
    } cases[] = {
        {"an absolute path outside Userdata",
         [&] { Write(Outside() + QStringLiteral("/x.journal.csv"), journal); },
         (Outside() + QStringLiteral("/x.journal.csv\nLSC 64\n")).toUtf8()},
        {"a way up out of Userdata", [&] { Write(Outside() + QStringLiteral("/x.journal.csv"), journal); },
         "../outside/x.journal.csv\nLSC 64\n"},
        {"a way up that comes back",
         [&] { Write(Userdata() + QStringLiteral("/2024-03-15/x.journal.csv"), journal); },
         "2024-03-15/../2024-03-15/x.journal.csv\nLSC 64\n"},
        {"a device", [] {}, "/dev/zero\nLSC 64\n"},
        {"a FIFO",
         [&] {
             QDir().mkpath(Userdata() + QStringLiteral("/2024-03-15"));
             ASSERT_EQ(
                 ::mkfifo(QFile::encodeName(Userdata() + QStringLiteral("/2024-03-15/f.journal.csv")), 0644),
                 0);
         },
         "2024-03-15/f.journal.csv\nLSC 64\n"},
        {"a folder", [&] { QDir().mkpath(Userdata() + QStringLiteral("/2024-03-15/d.journal.csv")); },
         "2024-03-15/d.journal.csv\nLSC 64\n"},
        {"a link to a journal outside",
         [&] {
             Write(Outside() + QStringLiteral("/x.journal.csv"), journal);
             QDir().mkpath(Userdata() + QStringLiteral("/2024-03-15"));
             ASSERT_TRUE(QFile::link(Outside() + QStringLiteral("/x.journal.csv"),
                                     Userdata() + QStringLiteral("/2024-03-15/l.journal.csv")));
         },
         "2024-03-15/l.journal.csv\nLSC 64\n"},
        {"a day folder that is a link outside",
         [&] {
             Write(Outside() + QStringLiteral("/x.journal.csv"), journal);
             ASSERT_TRUE(QFile::link(Outside(), Userdata() + QStringLiteral("/2024-03-16")));
         },
         "2024-03-16/x.journal.csv\nLSC 64\n"},
        {"a file that is no journal",
         [&] { Write(Userdata() + QStringLiteral("/2024-03-15/n.journal.csv"), "a;b\r\n"); },
         "2024-03-15/n.journal.csv\nLSC 64\n"},
        {"a journal whose head is one 10 MB line",
         [&] {
             Write(Userdata() + QStringLiteral("/2024-03-15/h.journal.csv"),
                   "** HEADER  " + QByteArray(10 << 20, '*') + "\r\n" + journal);
         },
         "2024-03-15/h.journal.csv\nLSC 64\n"},
        {"a journal that is not there", [] {}, "2024-03-15/gone.journal.csv\nLSC 64\n"},
        {"a marker that is a FIFO", [&] { ASSERT_EQ(::mkfifo(QFile::encodeName(Marker()), 0644), 0); }, {}},
        {"a marker that is a folder", [&] { QDir().mkpath(Marker()); }, {}},
        {"a marker of 10 MB", [&] { Write(Marker(), QByteArray(10 << 20, 'x')); }, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(Userdata()).removeRecursively();
        QDir(Outside()).removeRecursively();
        QDir().mkpath(Userdata());
        QDir().mkpath(Outside());
        c.prepare();
        if (!c.marker.isEmpty())
            Write(Marker(), c.marker);
        const QStringList outside = Tree(Outside());
        const QStringList before = Tree(Userdata());

        const TJournalRecovery r = RecoverJournal(Userdata());
        EXPECT_TRUE(r.Found);
        EXPECT_TRUE(r.Refused);
        EXPECT_FALSE(r.Recovered);
        const QString message = r.Message();
        EXPECT_TRUE(message.contains(QStringLiteral("could not be recovered"))) << message.toStdString();
        EXPECT_TRUE(message.contains(QDir::toNativeSeparators(Marker()))) << message.toStdString();
        EXPECT_LT(message.size(), 1000) << "a message of a sane length";
        ASSERT_EQ(SetAsideMarkers().size(), 1);
        EXPECT_TRUE(message.contains(SetAsideMarkers()[0])) << message.toStdString();
        EXPECT_EQ(Tree(Outside()), outside) << "nothing written outside Userdata";
        EXPECT_EQ(Tree(Userdata()).filter(QStringLiteral(".csv")), before.filter(QStringLiteral(".csv")))
            << "no data file made, no journal changed";
        EXPECT_FALSE(RecoverJournal(Userdata()).Found) << "not tried again at the next start";
    }
}

// Lines of the DATA section that are no data lines of the journal's layout are skipped and counted;
// a 10 MB line among the rows is skipped without being held. A journal of rows only is renamed
// into the data file; one with lines to skip is streamed into it.
TEST_F(JournalRecoveryTest, OnlyTheJournalsDataLinesAreRecovered) {
    const QByteArray journal = JournalBytes();
    const struct {
        const char* what;
        QByteArray tail;
        qint64 skipped;
        bool renamed; // the journal itself became the data file
    } cases[] = {
        {"rows only", {}, 0, true},
        {"junk appended",
         "hello world\r\nrm -rf /;;;;;;;;;;;;;;;;\r\n1;2;3\r\n;;;;;;;;;;;;;;;;\r\n"
         "0.00;12;;;;;;;;;;;;2024-03-15_14:00:00:000;;<script>\r\n",
         5, false},
        {"binary bytes", QByteArray("\x00\x01\xff\xfe;\x00\r\n", 8), 1, false},
        {"a row without its CR", "30.00;12;;;;;;;;;;;;;;;\n", 1, false},
        {"a 10 MB line", QByteArray(10 << 20, '1') + "\r\n", 1, false},
        {"a 10 MB line cut by the crash", QByteArray(10 << 20, '1'), 1, true},
        {"a row cut by the crash", "30.00;12;;;;;", 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(Userdata()).removeRecursively();
        const QString path =
            Userdata() + QStringLiteral("/2024-03-15/LSC 64_run-20240315-140005.journal.csv");
        Write(path, journal + c.tail);
        Write(Marker(), "2024-03-15/LSC 64_run-20240315-140005.journal.csv\nLSC 64\n");

        const TJournalRecovery r = RecoverJournal(Userdata());
        ASSERT_TRUE(r.Recovered) << r.Message().toStdString();
        EXPECT_EQ(r.Rows, 3);
        EXPECT_EQ(r.Skipped, c.skipped);
        EXPECT_EQ(Read(r.DataFilePath), journal);
        EXPECT_EQ(QFileInfo::exists(path), !c.renamed);
        if (!c.renamed)
            EXPECT_EQ(Read(path), journal + c.tail) << "a journal streamed from stays as it was";
        const QString message = r.Message();
        const QString skipped =
            c.skipped == 1 ? QStringLiteral(" 1 line of the journal that was no data row was skipped.")
                           : QStringLiteral(" %1 lines of the journal that were no data rows were skipped.")
                                 .arg(c.skipped);
        EXPECT_EQ(message.contains(skipped), c.skipped > 0) << message.toStdString();
        EXPECT_FALSE(QFileInfo::exists(Marker()));
    }
}

// On a full disk nothing is reported as recovered, no empty data file is left, and the marker
// stays for the next start, which then recovers every row.
TEST_F(JournalRecoveryTest, RecoveryOnAFullDiskKeepsTheMarker) {
    const QString day = Userdata() + QStringLiteral("/2024-03-15");
    TSmallFileSystem fs(day, 256);
    if (!fs.Mounted())
        GTEST_SKIP() << "no file system can be mounted here: " << fs.Error().toStdString();
    const QByteArray journal = JournalBytes();
    const QString path = day + QStringLiteral("/LSC 64_run-20240315-140005.journal.csv");
    Write(path, journal + "junk\r\n"); // a line to skip: the rows must be copied, not renamed
    Write(Marker(), "2024-03-15/LSC 64_run-20240315-140005.journal.csv\nLSC 64\n");
    fs.Fill();

    const TJournalRecovery failed = RecoverJournal(Userdata());
    EXPECT_TRUE(failed.Found);
    EXPECT_FALSE(failed.Recovered);
    EXPECT_FALSE(failed.Refused);
    EXPECT_TRUE(failed.Message().contains(QStringLiteral("No space left on device")))
        << failed.Message().toStdString();
    EXPECT_FALSE(failed.Message().contains(QStringLiteral("rows recovered")));
    EXPECT_TRUE(QFileInfo::exists(Marker()));
    EXPECT_EQ(
        QDir(day).entryList(QDir::Files | QDir::Hidden),
        (QStringList{QStringLiteral(".filler"), QStringLiteral("LSC 64_run-20240315-140005.journal.csv")}));

    fs.Free();
    const TJournalRecovery r = RecoverJournal(Userdata());
    ASSERT_TRUE(r.Recovered) << r.Message().toStdString();
    EXPECT_EQ(r.Rows, 3);
    EXPECT_EQ(Read(r.DataFilePath), journal);
    EXPECT_FALSE(QFileInfo::exists(Marker()));
}

} // namespace
