// `ondrix --titration` without a window: a data file as the program saves it gives the balance a
// running experiment computes from the same rows, within the file's rounding, and its isotherm.
#include "titration/TitrationFile.h"

#include "common/Locale.h"
#include "recording/AnalysisExport.h"
#include "recording/ExperimentFile.h"
#include "recording/TDataGridModel.h"
#include "titration/IsothermFile.h"
#include "titration/TOxygenBalance.h"
#include "titration/TitrationColumns.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <vector>

namespace {

constexpr double kF = 96485.33212;

class TitrationFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegionalLocale(QLocale(QStringLiteral("de_DE"))); // decimal commas in the file
        QDir(dir.path()).mkdir(QStringLiteral("Userdata"));
        grid.FormatGrid();
        sample.Name = QStringLiteral("LSCF");
        sample.m0 = 0.05;
        sample.M0 = 222.6;
        sample.b0 = 2.99;
        sample.bs = 3;
        cell.Vhp = 0.004;
        cell.Vgp = 0.002;
        cell.Tl = 30;
        cell.FGpO2 = 0.21;
        cell.RCDuration = 60;
        // A PIDStep program of three steps down to 1e-6 atm, each settling at a current that balances
        // a leak of 2e-11 * (0.21^1/4 - pO2^1/4), then the program's end in galvanostatic mode.
        TDateTime t = EncodeDateTime(2024, 3, 15, 14, 0, 0);
        double duration = 0;
        auto add = [&](double mode, double step, double pO2, double current, bool settled) {
            duration += 10.2;
            t += 10.2 / SecondsPerDay;
            TDataRow r;
            r[TProperty::Time] = duration;
            r[TProperty::Mode] = mode;
            r[TProperty::Temp] = 700.0 + 0.01 * std::sin(duration);
            r[TProperty::PumpV] = 0.3;
            r[TProperty::PumpI] = current;
            r[TProperty::CellpO2] = pO2;
            r[TProperty::Date] = t;
            r[TProperty::Interval] = 10.05;
            if (step > 0)
                r[TProperty::Step] = step;
            if (settled) {
                r[TProperty::StablepO2] = TDataRow::kTrue;
                r[TProperty::RangepO2] = TDataRow::kTrue;
            }
            rows.push_back(r);
        };
        const double logs[] = {-2, -4, -6};
        for (int step = 1; step <= 3; ++step) {
            const double p = std::pow(10.0, logs[step - 1]);
            const double leak = 4 * kF * 2e-11 * (std::pow(0.21, 0.25) - std::pow(p, 0.25));
            for (int i = 0; i < 30; ++i)
                add(15, step, i < 20 ? p * std::pow(10.0, 1 - i / 20.0) : p,
                    i < 20 ? 2e-4 * (20 - i) / 20 : leak, i == 29);
        }
        // The program's end: the change to SetCurrent, then its first row (Duration starts again).
        TDataRow change;
        change.Kind = TRowKind::ModeChange;
        change[TProperty::Mode] = 2;
        change[TProperty::Date] = t + 1.0 / SecondsPerDay;
        rows.push_back(change);
        duration = 0;
        add(12, 0, 1e-6, 0, false);
        for (const TDataRow& r : rows)
            grid.AddRow(r);

        TExperimentFileRecord record;
        record.Sample = sample;
        record.Values = CalculateSampleValues(sample, cell.Vhpws);
        record.Cell = cell;
        record.Grid = &grid.Grid();
        const TSaveResult saved = TExperimentFile::Save(record, dir.filePath(QStringLiteral("Userdata")),
                                                        EncodeDateTime(2024, 3, 15, 16, 0, 0), 1);
        ASSERT_TRUE(saved.Ok()) << saved.Message.toStdString();
        input = saved.FilePath;
    }
    void TearDown() override { SetRegionalLocale(QLocale::c()); }

    static QList<QByteArray> Lines(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = f.readAll().split('\n');
        EXPECT_TRUE(lines.takeLast().isEmpty());
        return lines;
    }

    QTemporaryDir dir;
    TDataGridModel grid;
    TSampleDetails sample;
    TCellDetails cell;
    std::vector<TDataRow> rows;
    QString input;
};

} // namespace

TEST_F(TitrationFileTest, GivesTheLiveBalanceWithinTheFilesRounding) {
    // What a running experiment computes from the rows themselves.
    TOxygenBalance live(TTitrationSetup::From(sample, cell));
    std::vector<TBalanceRow> expected;
    for (const TDataRow& r : rows) {
        TBalanceRow b;
        if (live.Add(r, &b))
            expected.push_back(b);
    }
    live.Finish();
    ASSERT_EQ(live.Points().size(), 3u);

    const QString output = TTitrationFile::DefaultOutput(input);
    EXPECT_TRUE(output.endsWith(QStringLiteral("LSCF_0001.titration.csv")));
    const TTitrationFileResult r = TTitrationFile::Run(input, output);
    ASSERT_TRUE(r.Ok) << r.Message.toStdString();
    EXPECT_EQ(r.DataRows, qint64(expected.size()));
    EXPECT_EQ(r.SkippedLines, 0);
    EXPECT_EQ(r.Points, 3);
    EXPECT_EQ(r.IsothermPath, TIsothermFile::PathFor(input));

    const QList<QByteArray> lines = Lines(output);
    ASSERT_EQ(lines.size(), qsizetype(expected.size()) + 1);
    EXPECT_EQ(lines[0],
              "time,duration_s,step,charge_C,charge_estimated_C,gas_O2_mol,leak_O2_mol,sample_O2_mol,"
              "b,delta,alpha_mol_per_s_atm025");
    const double deltaChange = std::abs(expected.back().Delta - sample.bs + sample.b0);
    ASSERT_GT(deltaChange, 1e-3);
    for (std::size_t k = 0; k < expected.size(); ++k) {
        SCOPED_TRACE(k);
        const QList<QByteArray> f = lines[qsizetype(k) + 1].split(',');
        ASSERT_EQ(f.size(), 11);
        // Pump I has four significant digits in the file, Interval and Duration two decimals.
        EXPECT_NEAR(f[3].toDouble(), expected[k].Sums.Charge(),
                    1e-3 * std::abs(expected[k].Sums.Charge()) + 1e-9);
        EXPECT_NEAR(f[9].toDouble(), expected[k].Delta, 1e-3 * deltaChange);
    }
    EXPECT_TRUE(lines[1].startsWith("2024-03-15T14:00:10.200,10.2,1,"));

    const QList<QByteArray> iso = Lines(r.IsothermPath);
    ASSERT_EQ(iso.size(), 4);
    for (int k = 0; k < 3; ++k) {
        const QList<QByteArray> f = iso[k + 1].split(',');
        ASSERT_EQ(f.size(), 14);
        EXPECT_EQ(f[2].toInt(), k + 1);
        EXPECT_EQ(f[4], "falling");
        EXPECT_NEAR(f[6].toDouble(), -2.0 * (k + 1), 1e-6);
        EXPECT_NEAR(f[8].toDouble(), live.Evaluate(live.Points()[std::size_t(k)].Sums).Delta,
                    1e-3 * deltaChange);
    }
    // The leak constant the rows were made with, within the current's four digits.
    EXPECT_NEAR(r.Alpha, 2e-11, 2e-14);
}

// The export's balance columns and the isotherm recovery writes are the balance file's own numbers.
TEST_F(TitrationFileTest, ExportAndRecoveryGiveTheSameBalance) {
    const TTitrationFileResult r =
        TTitrationFile::Run(input, dir.filePath(QStringLiteral("b.titration.csv")));
    ASSERT_TRUE(r.Ok) << r.Message.toStdString();
    const QList<QByteArray> balance = Lines(r.CsvPath);

    TTitrationColumns columns;
    TAnalysisExportOptions options;
    options.Extra = &columns;
    const QString exportPath = dir.filePath(QStringLiteral("e.analysis.csv"));
    const TAnalysisExportResult e = TAnalysisExport::Run(input, exportPath, options);
    ASSERT_TRUE(e.Ok) << e.Message.toStdString();
    QList<QByteArray> exported = Lines(exportPath);
    ASSERT_EQ(exported.size(), balance.size() + 1); // and the mode change
    const QByteArray event = exported.takeAt(exported.size() - 2);
    EXPECT_TRUE(event.endsWith(",mode SetCurrent,,,,,,,,")) << event.constData();
    EXPECT_TRUE(exported[0].endsWith(",interval_s,event,charge_C,charge_estimated_C,gas_O2_mol,leak_O2_mol,"
                                     "sample_O2_mol,b,delta,alpha_mol_per_s_atm025"))
        << exported[0].constData();
    for (qsizetype k = 1; k < balance.size(); ++k) {
        SCOPED_TRACE(k);
        const QList<QByteArray> x = exported[k].split(','), b = balance[k].split(',');
        ASSERT_EQ(x.size(), 19 + 8);
        EXPECT_EQ(x[18], "");           // no event
        EXPECT_EQ(x.mid(19), b.mid(3)); // the balance file's cells after time, duration and step
    }
    QFile json(TAnalysisExport::JsonPathFor(exportPath));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    EXPECT_TRUE(json.readAll().contains("\"name\": \"delta\""));

    // Recovery works the isotherm out again from the file: the same lines.
    const QString again = dir.filePath(QStringLiteral("again.isotherm.csv"));
    QString error;
    ASSERT_TRUE(TTitrationFile::RecomputeIsotherm(input, again, &error)) << error.toStdString();
    EXPECT_EQ(Lines(again), Lines(r.IsothermPath));
    EXPECT_FALSE(TTitrationFile::RecomputeIsotherm(dir.filePath(QStringLiteral("none.csv")), again, &error));
    EXPECT_TRUE(error.contains(QLatin1String("Could not read"))) << error.toStdString();
}

TEST_F(TitrationFileTest, SaysWhyItCouldNotWork) {
    struct TCase {
        const char* name;
        QString input, output;
        const char* message;
    };
    QFile notData(dir.filePath(QStringLiteral("notes.csv")));
    ASSERT_TRUE(notData.open(QIODevice::WriteOnly));
    notData.write("just some text\r\n");
    notData.close();
    const TCase cases[] = {
        {"no such input", dir.filePath(QStringLiteral("none.csv")), dir.filePath(QStringLiteral("o.csv")),
         "Could not read"},
        {"not a data file", notData.fileName(), dir.filePath(QStringLiteral("o.csv")),
         "not an experiment data file"},
        {"output folder missing", input, dir.filePath(QStringLiteral("gone/o.csv")), "Could not write"},
        {"output over its input", input, input, "its own input"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TTitrationFileResult r = TTitrationFile::Run(c.input, c.output);
        EXPECT_FALSE(r.Ok);
        EXPECT_TRUE(r.Message.contains(QLatin1String(c.message))) << r.Message.toStdString();
    }
}
