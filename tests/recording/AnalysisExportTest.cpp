#include "recording/AnalysisExport.h"

#include "common/DateTime.h"
#include "common/Locale.h"
#include "recording/ColumnTable.h"
#include "recording/ExperimentFile.h"
#include "recording/TDataGridModel.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A data file as the program writes it, with notes that look like file sections, mode-change
// rows, a cell in the comma format and rows on two days.
class AnalysisExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegionalLocale(QLocale::c());
        QDir(dir.path()).mkdir(QStringLiteral("Userdata"));
        grid.FormatGrid();
        const double no = TDataRow::kEmpty;
        ModeChange(EncodeDateTime(2024, 3, 15, 23, 59, 50), 2);
        DataRow(0, 12, 812.40, 0.1, -3.157e-6, 2e-4, no, EncodeDateTime(2024, 3, 15, 23, 59, 59, 42));
        DataRow(10, 12, 812.41, 0.1001, -3.157e-6, no, TDataRow::kTrue,
                EncodeDateTime(2024, 3, 16, 0, 0, 9, 42));
        ModeChange(EncodeDateTime(2024, 3, 16, 0, 0, 12), 1);
        DataRow(0, 16, 812.42, 0.2, 1e-5, 1.9e-4, TDataRow::kMaxI,
                EncodeDateTime(2024, 3, 16, 0, 0, 22, 500));

        TExperimentFileRecord record;
        record.Sample.Name = QStringLiteral("LSC 64");
        record.Sample.Formula = QStringLiteral("La0.6Sr0.4CoO3-d");
        record.Cell.SensorID = QStringLiteral("ZV;17");
        record.Cell.Tl = 30.5;
        record.Notes =
            QStringLiteral("First line\n\n** DATA *************************************************\n"
                           "Duration,s;x\nlast ºC");
        record.Grid = &grid.Grid();
        const TSaveResult saved = TExperimentFile::Save(record, dir.filePath(QStringLiteral("Userdata")),
                                                        EncodeDateTime(2024, 3, 16, 0, 1, 0), 1);
        ASSERT_TRUE(saved.Ok()) << saved.Message.toStdString();
        input = saved.FilePath;
        // One row as a file written under a regional format with a decimal comma holds it.
        QFile file(input);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        file.close();
        ASSERT_TRUE(bytes.contains("\r\n10.00;12;"));
        bytes.replace("\r\n10.00;12;", "\r\n10,00;12;");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        output = dir.filePath(QStringLiteral("out.csv"));
    }
    void ModeChange(TDateTime when, int state) {
        TDataRow row;
        row.Kind = TRowKind::ModeChange;
        row[TProperty::Mode] = state;
        row[TProperty::Date] = when;
        grid.AddRow(row);
    }
    void DataRow(double duration, int mode, double temp, double v, double i, double pO2, double stableI,
                 TDateTime date) {
        TDataRow row;
        row[TProperty::Time] = duration;
        row[TProperty::Mode] = mode;
        row[TProperty::Temp] = temp;
        row[TProperty::PumpV] = v;
        row[TProperty::PumpI] = i;
        row[TProperty::CellpO2] = pO2;
        row[TProperty::StableI] = stableI;
        row[TProperty::Date] = date;
        row[TProperty::Interval] = 10;
        grid.AddRow(row);
    }
    static QStringList CsvLines(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
        EXPECT_EQ(lines.takeLast(), QString()); // the last line ends with its line break
        return lines;
    }

    QTemporaryDir dir;
    TDataGridModel grid;
    QString input, output;
};

TEST_F(AnalysisExportTest, RowsBecomeNumbersWithIsoTimesAndEvents) {
    const TAnalysisExportResult r = TAnalysisExport::Run(input, output);
    ASSERT_TRUE(r.Ok) << r.Message.toStdString();
    EXPECT_EQ(r.DataRows, 3);
    EXPECT_EQ(r.EventRows, 2);
    EXPECT_EQ(r.SkippedLines, 0);
    const QStringList lines = CsvLines(output);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0],
              QStringLiteral("time,duration_s,mode,step,cell_T_degC,pump_V_V,pump_I_A,cell_pO2_atm,"
                             "flush_pO2_atm,RC_pO2_pct,stable_pO2,range_pO2,RC_I_pct,stable_I,max_I,"
                             "setpoint,cell_pO2P_atm,interval_s,event"));
    EXPECT_EQ(lines[1], QStringLiteral("2024-03-15T23:59:50.000,,,,,,,,,,,,,,,,,,mode SetCurrent"));
    EXPECT_EQ(lines[2],
              QStringLiteral("2024-03-15T23:59:59.042,0.00,12,,812.40,1.00000E-1,-3.157E-6,2.000000E-04,,,"
                             "0,0,,0,0,,,10.00,"));
    EXPECT_EQ(lines[3].section(u',', 0, 1), QStringLiteral("2024-03-16T00:00:09.042,10.00"));
    EXPECT_EQ(lines[3].section(u',', 13, 14), QStringLiteral("1,0"));
    EXPECT_EQ(lines[4], QStringLiteral("2024-03-16T00:00:12.000,,,,,,,,,,,,,,,,,,mode Paused"));
    EXPECT_EQ(lines[5].section(u',', 13, 14), QStringLiteral("0,1"));

    QFile jf(r.JsonPath);
    ASSERT_TRUE(jf.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(jf.readAll()).object();
    EXPECT_EQ(json[QStringLiteral("header")][QStringLiteral("experiment_name")].toString(),
              QStringLiteral("LSC 64"));
    EXPECT_EQ(json[QStringLiteral("header")][QStringLiteral("saved")].toString(),
              QStringLiteral("2024-03-16 00:01"));
    EXPECT_EQ(json[QStringLiteral("notes")].toString(),
              QStringLiteral("First line\n\n** DATA *************************************************\n"
                             "Duration,s;x\nlast ºC"));
    const QJsonArray vars = json[QStringLiteral("variables")].toArray();
    ASSERT_EQ(vars.size(), 27);
    EXPECT_EQ(vars[11][QStringLiteral("value")].toString(), QStringLiteral("ZV;17"));
    EXPECT_EQ(vars[17][QStringLiteral("value")].toDouble(), 30.5);
    EXPECT_EQ(vars[17][QStringLiteral("unit")].toString(), QStringLiteral("°C"));
    EXPECT_EQ(json[QStringLiteral("columns")].toArray().size(), lines[0].count(u',') + 1);
}

TEST_F(AnalysisExportTest, ModeChangesCanBeLeftOut) {
    TAnalysisExportOptions options;
    options.Events = false;
    const TAnalysisExportResult r = TAnalysisExport::Run(input, output, options);
    ASSERT_TRUE(r.Ok);
    const QStringList lines = CsvLines(output);
    ASSERT_EQ(lines.size(), 4);
    for (const QString& line : lines.mid(1))
        EXPECT_TRUE(line.endsWith(u',')) << line.toStdString();
}

// A journal cut short by a crash: its unfinished last line is skipped, the rest exported.
TEST_F(AnalysisExportTest, UnfinishedOrBrokenLinesAreSkipped) {
    QFile f(input);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("0.00;12;;not a row\r\n5.00;12;;812.5;1.0E-1;-3.1E-6");
    f.close();
    const TAnalysisExportResult r = TAnalysisExport::Run(input, output);
    ASSERT_TRUE(r.Ok) << r.Message.toStdString();
    EXPECT_EQ(r.DataRows, 3);
    EXPECT_EQ(r.SkippedLines, 2);
    EXPECT_EQ(CsvLines(output).size(), 6);
}

TEST_F(AnalysisExportTest, RefusesWhatIsNotADataFile) {
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"empty", ""},
        {"other text", "a;b;c\r\n1;2;3\r\n"},
        {"header without data",
         "** HEADER  ****\r\n\r\nx\r\ny\r\nSaved 2024-03-15 10:00\r\n\r\n** VARIABLES *\r\n"
         "\r\nValue    ;Unit   ;Abbreviation   ;Field name\r\n\r\n** NOTES *\r\n\r\n"},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(QStringLiteral("bad.csv"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.bytes);
        f.close();
        const TAnalysisExportResult r = TAnalysisExport::Run(path, output);
        EXPECT_FALSE(r.Ok) << c.name;
        EXPECT_FALSE(r.Message.isEmpty()) << c.name;
        EXPECT_FALSE(QFile::exists(output)) << c.name;
    }
    EXPECT_FALSE(TAnalysisExport::Run(input, input).Ok);
}

// What an analyst runs: Python's csv module, and pandas where it is installed.
TEST_F(AnalysisExportTest, PythonReadsTheExport) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 not installed";
    ASSERT_TRUE(TAnalysisExport::Run(input, output).Ok);
    const QString script = QStringLiteral(R"(
import csv, json, sys
rows = list(csv.DictReader(open(sys.argv[1], encoding='utf-8', newline='')))
data = [r for r in rows if not r['event']]
assert len(rows) == 5 and len(data) == 3, len(rows)
assert [float(r['cell_T_degC']) for r in data] == [812.40, 812.41, 812.42]
assert [r['event'] for r in rows if r['event']] == ['mode SetCurrent', 'mode Paused']
meta = json.load(open(sys.argv[2], encoding='utf-8'))
assert len(meta['variables']) == 27
try:
    import pandas
except ImportError:
    sys.exit(0)
df = pandas.read_csv(sys.argv[1], parse_dates=['time'])
assert len(df) == 5
assert df['pump_I_A'].dtype.kind == 'f' and df['mode'].dtype.kind == 'f'
assert str(df['time'].dtype).startswith('datetime64')
)");
    QProcess p;
    p.start(python, {QStringLiteral("-c"), script, output, TAnalysisExport::JsonPathFor(output)});
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

} // namespace
