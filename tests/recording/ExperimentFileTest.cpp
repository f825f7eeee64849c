#include "recording/ExperimentFile.h"

#include "common/DateTime.h"
#include "common/Locale.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGridModel.h"
#include "tests/support/QtPrint.h"
#include "tests/support/SmallFileSystem.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TDateTime T0() {
    return EncodeDateTime(2024, 3, 15, 14, 5, 9);
}

TExperimentFileRecord Record(const TDataGrid* grid) {
    TExperimentFileRecord r;
    r.Sample.Name = QStringLiteral("LSC 64");
    r.Sample.Formula = QStringLiteral("La0.6Sr0.4CoO3-d");
    r.Sample.bs = 3;
    r.Sample.M = 226.9;
    r.Sample.b0 = 2.95;
    r.Sample.M0 = 226.1;
    r.Sample.d = 6.2;
    r.Sample.m0 = 1.2345;
    r.Values.Vs = 0.000199;
    r.Values.n0 = 0.00546;
    r.Values.nO0 = 0.0161;
    r.Values.mO0 = 0.258;
    r.Values.mM = 0.977;
    r.Cell.SensorID = QStringLiteral("ZV 17");
    r.Cell.SensorAx = -0.5;
    r.Cell.SensorBx = 1.00002;
    r.Cell.Vhpws = 0.012;
    r.Cell.Vhp = 0.011801;
    r.Cell.Vgp = 0.004;
    r.Cell.Tl = 30;
    r.Cell.PsO2 = 0.21;
    r.Cell.FGpO2 = 0.2095;
    r.Cell.RCDuration = 300;
    r.Cell.RCThreshold = 0.05;
    r.Cell.DataPointLength = 10;
    r.Cell.CTO = 0;
    r.Cell.FGfl = 1e-6;
    r.Notes = QStringLiteral("Example values\nExample notes");
    r.Grid = grid;
    return r;
}

QStringList Lines(const QByteArray& bytes) {
    QStringList lines = QString::fromLatin1(bytes).split(QStringLiteral("\r\n"));
    lines.removeLast(); // after the last line's CR LF
    return lines;
}

// Every file and folder under `root`, relative to it.
QStringList Tree(const QString& root) {
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
}

class ExperimentFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegionalLocale(QLocale::c());
        fCwd = QDir::currentPath();
        QDir(dir.path()).mkdir(QStringLiteral("Userdata"));
        grid.FormatGrid();
    }

    QString Userdata() const { return dir.filePath(QStringLiteral("Userdata")); }
    QByteArray Read(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    TDataGridModel grid;
    QString fCwd; // the current folder before the test, which a save leaves as it is
};

TEST_F(ExperimentFileTest, LayoutLineByLine) {
    TDataRow data;
    data[TProperty::Time] = 0;
    data[TProperty::Mode] = 12;
    data[TProperty::Temp] = 800;
    data[TProperty::PumpV] = 0.1;
    data[TProperty::PumpI] = -2e-4;
    data[TProperty::CellpO2] = 1e-4;
    data[TProperty::FlushpO2] = 7.56e-3;
    data[TProperty::Date] = EncodeDateTime(2024, 3, 15, 14, 5, 9, 42);
    data[TProperty::Interval] = 10;
    grid.AddRow(data);
    TDataRow change;
    change.Kind = TRowKind::ModeChange;
    change[TProperty::Mode] = 2;
    change[TProperty::Date] = EncodeDateTime(2024, 3, 15, 14, 5, 9);
    grid.AddRow(change);
    // A caption holding the file's separator and quotes, and a blank.
    grid.Grid().SetCaption(16, QStringLiteral("a; \"b\" 1 2"));

    const TSaveResult result = TExperimentFile::Save(Record(&grid.Grid()), Userdata(), T0(), 1);
    ASSERT_TRUE(result.Ok()) << result.Message.toStdString();
    EXPECT_EQ(result.FilePath, Userdata() + QStringLiteral("/2024-03-15/LSC 64_0001.csv"));
    EXPECT_EQ(QDir::currentPath(), fCwd) << "a save leaves the current folder alone";

    const QByteArray bytes = Read(result.FilePath);
    ASSERT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_TRUE(bytes.contains("CellT,\xBA"
                               "C")); // cp1252, not UTF-8
    EXPECT_FALSE(bytes.contains("\xC2\xBA"));
    const QStringList expected = {
        "** HEADER  **********************************************",
        "",
        "LSC 64",
        "La0.6Sr0.4CoO3-d",
        "Saved 2024-03-15 14:05",
        "",
        "** VARIABLES ********************************************",
        "",
        "Value    ;Unit   ;Abbreviation   ;Field name",
        "3;g/mol      ;bs     ;Nominal stoichiometric molar content of oxygen",
        "226.9;g/mol      ;M      ;Nominal molar mass",
        "2.95;mol/mol    ;b0     ;Initial molar content of oxygen",
        "226.1;g/mol      ;M0     ;Initial molar mass",
        "6.2;g/cm^3     ;d      ;Initial density",
        "1.2345;g          ;m0     ;Initial mass",
        "0.000199;L          ;Vs     ;Volume",
        "0.00546;mol        ;n0     ;Moles of compound",
        "0.0161;mol        ;nO0    ;Moles of oxygen",
        "0.258;g          ;mO0    ;Mass of oxygen",
        "0.977;g          ;mM     ;Mass of non-oxygen",
        "ZV 17;         ;SID    ;Sensor ID",
        "-0.5;         ;SAx    ;Sensor Ax",
        "1.00002;         ;SBx    ;Senosr Bx",
        "0.012;L        ;Vhpws  ;Gas volume of hot part without sample",
        "0.011801;L        ;Vhp    ;Gas volume of hot part",
        "0.004;L        ;Vgp    ;Gas volume of gradient part",
        QString::fromUtf8("30;ºC       ;Tl     ;Cold end temperature"),
        "0.21;Bar      ;PsO2   ;Initial partial pressure of oxygen",
        "0.2095;         ;FGpO2  ;Flush gas partial pressure of oxygen",
        "300;s        ;RCd    ;Duration of relative change calculation",
        "0.05;%        ;RCtr   ;Threshold of relative change",
        "10;s        ;       ;Minimum length for data point",
        "0.2095;atm       ;FGpO2  ;Flush gas oxygen partial pressure",
        "10;Alpha     ;       ;^0.25 leakage constant",
        QString::fromUtf8("0;ºC        ;CTO    ;Cell temperature override"),
        "1E-6;mln/min   ;FGfl   ;Flush gas flow",
        "",
        "** NOTES ********************************************",
        "",
        "Example values",
        "Example notes",
        "",
        "** DATA *************************************************",
        "",
        QString::fromUtf8(
            "Duration,s;Mode;Step;CellT,ºC;PumpV,V;PumpI,A;CellpO2,atm;FlushpO2,atm;RCpO2,%;StablepO2;"
            "RangepO2;RCI,%;StableI;SP;Time;CellpO2P,atm;\"a;\"\"b\"\"12\""),
        "0.00;12;;800.00;1.00000E-1;-2.000E-4;1.000000E-04;7.56E-3;;;;;;;2024-03-15_14:05:09:042;;10.00",
        "2024-03-1514:05:09;2;;;;;;;;;;;;;;;",
    };
    EXPECT_EQ(Lines(bytes), expected);
}

TEST_F(ExperimentFileTest, NotesAndAnEmptyGrid) {
    const struct {
        const char* what;
        QString notes;
        QStringList lines;
    } cases[] = {
        {"two lines", "first\nsecond", {"first", "second"}},
        {"a final line break", "first\nsecond\n", {"first", "second", ""}},
        {"no notes", "", {""}},
        {"Windows line breaks", "first\r\nsecond", {"first", "second"}},
        {"characters beyond the code page",
         QString::fromUtf8("δ = 0.1 € µ"),
         {QString::fromLatin1("? = 0.1 \x80 \xB5")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TExperimentFileRecord record = Record(&grid.Grid());
        record.Notes = c.notes;
        const TSaveResult result = TExperimentFile::Save(record, Userdata(), T0(), 7);
        ASSERT_TRUE(result.Ok());
        const QStringList lines = Lines(Read(result.FilePath));
        const qsizetype notes =
            lines.indexOf(QStringLiteral("** NOTES ********************************************"));
        const qsizetype data =
            lines.indexOf(QStringLiteral("** DATA *************************************************"));
        ASSERT_GT(notes, 0);
        EXPECT_EQ(lines[notes + 1], QString());
        EXPECT_EQ(lines.mid(notes + 2, data - notes - 3), c.lines);
        EXPECT_EQ(lines[data - 1], QString());
        // A grid of only the caption row: the DATA section is the caption line alone.
        EXPECT_EQ(lines.size(), data + 3);
        EXPECT_TRUE(lines.last().startsWith(QStringLiteral("Duration,s;Mode;")));
    }
}

TEST_F(ExperimentFileTest, FileNames) {
    EXPECT_EQ(TExperimentFile::FileName(QString(), 1), QStringLiteral("_0001.csv"));
    EXPECT_EQ(TExperimentFile::FileName(QStringLiteral("Run"), 12345), QStringLiteral("Run_12345.csv"));
    EXPECT_EQ(TExperimentFile::DayFolderName(EncodeDateTime(2024, 12, 31, 23, 59, 59)),
              QStringLiteral("2024-12-31"));

    // A file of the same name is replaced.
    TExperimentFileRecord record = Record(&grid.Grid());
    ASSERT_TRUE(TExperimentFile::Save(record, Userdata(), T0(), 3).Ok());
    record.Sample.Formula = QStringLiteral("second");
    const TSaveResult again = TExperimentFile::Save(record, Userdata(), T0(), 3);
    ASSERT_TRUE(again.Ok());
    EXPECT_EQ(Lines(Read(again.FilePath))[3], QStringLiteral("second"));
    EXPECT_EQ(Tree(Userdata()), QStringList({"2024-03-15", "2024-03-15/LSC 64_0003.csv"}));
}

TEST_F(ExperimentFileTest, Failures) {
    const QString day = Userdata() + QStringLiteral("/2024-03-15");
    const struct {
        const char* what;
        std::function<void()> prepare;
        QString userdata;
        TSaveStatus status;
    } cases[] = {
        {"Userdata is missing", [] {}, dir.filePath(QStringLiteral("gone")),
         TSaveStatus::UserdataUnavailable},
        {"a file stands where the day folder goes",
         [&] {
             QFile f(day);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         },
         Userdata(), TSaveStatus::DayFolderFailed},
        {"a folder stands where the file goes",
         [&] { ASSERT_TRUE(QDir().mkpath(day + QStringLiteral("/LSC 64_0001.csv"))); }, Userdata(),
         TSaveStatus::WriteFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(Userdata()).removeRecursively();
        QDir(dir.path()).mkdir(QStringLiteral("Userdata"));
        c.prepare();
        const QStringList before = Tree(dir.path());
        const TSaveResult result = TExperimentFile::Save(Record(&grid.Grid()), c.userdata, T0(), 1);
        EXPECT_EQ(result.Status, c.status);
        EXPECT_FALSE(result.Message.isEmpty());
        EXPECT_EQ(Tree(dir.path()), before);
    }
    QDir(Userdata()).removeRecursively();
    QDir(dir.path()).mkdir(QStringLiteral("Userdata"));
    QFile(day).open(QIODevice::WriteOnly);
    EXPECT_EQ(TExperimentFile::Save(Record(&grid.Grid()), Userdata(), T0(), 1).Message,
              QStringLiteral("Autosave has failed, Check available space etc. and save data manually before "
                             "closing the program"));
}

// On a full file system a save says so, with the file and the system's reason, and leaves no file
// behind (nor a temporary one); once there is room again the same save writes the whole file.
TEST_F(ExperimentFileTest, AFullDiskIsReportedAndLeavesNoFile) {
    const QString day = Userdata() + QStringLiteral("/2024-03-15");
    TSmallFileSystem fs(day, 256);
    if (!fs.Mounted())
        GTEST_SKIP() << "no file system can be mounted here: " << fs.Error().toStdString();
    const auto addRows = [&](int n) {
        for (int i = 0; i < n; ++i) {
            TDataRow row;
            row[TProperty::Time] = i;
            row[TProperty::Mode] = 12;
            row[TProperty::PumpI] = 2e-6;
            row[TProperty::Date] = T0();
            grid.AddRow(row);
        }
    };
    const struct {
        const char* what;
        int rows;
        bool fill; // the file system is filled before the save; else the rows alone overflow it
    } cases[] = {
        {"a small grid on a full disk", 3, true},
        {"a grid larger than the room left", 10000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        grid.ClearData();
        addRows(c.rows);
        if (c.fill)
            fs.Fill();
        const QString path = day + QStringLiteral("/LSC 64_0001.csv");
        const TSaveResult failed = TExperimentFile::Save(Record(&grid.Grid()), Userdata(), T0(), 1);
        EXPECT_EQ(failed.Status, TSaveStatus::WriteFailed);
        EXPECT_EQ(failed.Reason, QStringLiteral("No space left on device"));
        EXPECT_TRUE(failed.Message.contains(QDir::toNativeSeparators(path))) << failed.Message.toStdString();
        EXPECT_TRUE(failed.Message.endsWith(QStringLiteral(": No space left on device")))
            << failed.Message.toStdString();
        EXPECT_EQ(Tree(day), c.fill ? QStringList{QStringLiteral(".filler")} : QStringList());
        fs.Free();
        if (!c.fill)
            continue;
        const TSaveResult saved = TExperimentFile::Save(Record(&grid.Grid()), Userdata(), T0(), 1);
        ASSERT_TRUE(saved.Ok()) << saved.Message.toStdString();
        EXPECT_EQ(Lines(Read(path)).size(),
                  Lines(TExperimentFile::Head(Record(&grid.Grid()), T0())).size() + 1 + c.rows);
        QFile::remove(path);
    }
}

TEST_F(ExperimentFileTest, NamesThatLeaveTheDayFolderAreRefused) {
    const QString names[] = {
        "../../escaped", "sub/name", "..\\escaped", "C:escaped", QString::fromUtf16(u"a\0b", 3), "/tmp/x"};
    const QStringList before = Tree(dir.path());
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        TExperimentFileRecord record = Record(&grid.Grid());
        record.Sample.Name = name;
        const TSaveResult result = TExperimentFile::Save(record, Userdata(), T0(), 1);
        EXPECT_EQ(result.Status, TSaveStatus::NameRefused);
        EXPECT_TRUE(result.Message.contains(name));
        EXPECT_EQ(Tree(dir.path()), before);
    }
    // Dots alone stay inside the day folder: ".._0001.csv" is an ordinary name.
    TExperimentFileRecord record = Record(&grid.Grid());
    record.Sample.Name = QStringLiteral("..");
    EXPECT_TRUE(TExperimentFile::Save(record, Userdata(), T0(), 1).Ok());
    EXPECT_TRUE(QFile::exists(Userdata() + QStringLiteral("/2024-03-15/.._0001.csv")));
}

} // namespace
