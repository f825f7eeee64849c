// The isotherm file: its name beside the run's files, its lines, and a write that fails.
#include "titration/IsothermFile.h"
#include "titration/CsvText.h"
#include "titration/TOxygenBalance.h"

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

// A PIDStep run of two settled steps of 40 s at 1e-4 and 1e-6 atm, then the end of the rows.
TOxygenBalance TwoSteps() {
    TTitrationSetup s;
    s.m0 = 1;
    s.M0 = 100;
    s.b0 = 2.9;
    s.bs = 3;
    s.RCDuration = 20;
    s.LeakCorrection = false;
    TOxygenBalance balance(s);
    double t = 0;
    for (int step = 1; step <= 2; ++step) {
        for (int i = 0; i < 4; ++i) {
            t += 10;
            TDataRow r;
            r[TProperty::Mode] = 15;
            r[TProperty::Time] = t;
            r[TProperty::Interval] = 10;
            r[TProperty::PumpI] = 1e-6;
            r[TProperty::CellpO2] = step == 1 ? 1e-4 : 1e-6;
            r[TProperty::Temp] = 750;
            r[TProperty::Step] = step;
            r[TProperty::StablepO2] = TDataRow::kTrue;
            r[TProperty::RangepO2] = TDataRow::kTrue;
            r[TProperty::Date] = 45366.5 + t / 86400; // 2024-03-15 12:00:00 + t
            balance.Add(r);
        }
    }
    balance.Finish();
    return balance;
}

} // namespace

TEST(IsothermFile, NamedBesideTheRunsFiles) {
    const struct {
        const char* from;
        const char* to;
    } cases[] = {
        {"/d/LSC 64_run-20240315-140509.journal.csv", "/d/LSC 64_run-20240315-140509.isotherm.csv"},
        {"/d/LSC 64_0003.csv", "/d/LSC 64_0003.isotherm.csv"},
        {"/d/LSC 64_0003.titration.csv", "/d/LSC 64_0003.isotherm.csv"},
        {"/d/plain", "/d/plain.isotherm.csv"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TIsothermFile::PathFor(QString::fromUtf8(c.from)), QString::fromUtf8(c.to));
}

TEST(IsothermFile, OneLinePerEquilibriumPointAndFailuresSayWhy) {
    const TOxygenBalance balance = TwoSteps();
    ASSERT_EQ(balance.Points().size(), 2u);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.isotherm.csv"));
    QString error;
    ASSERT_TRUE(TIsothermFile::Write(path, balance, &error)) << error.toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_EQ(lines.size(), 4); // header, two points, the empty rest after the last line break
    EXPECT_EQ(lines[0], "time,elapsed_s,step,mode,direction,cell_T_degC,log10_pO2_atm,b,delta,charge_C,"
                        "charge_estimated_C,leak_current_A,alpha_mol_per_s_atm025,alpha_se");
    for (int k = 1; k <= 2; ++k)
        EXPECT_EQ(lines[k].count(','), 13) << lines[k].constData();
    // The first step ended at 40 s: 4e-5 C pumped out, no gas volume, no leak correction.
    const QList<QByteArray> f1 = lines[1].split(',');
    EXPECT_TRUE(lines[1].startsWith("2024-03-15T12:00:40.000,40,1,PIDStep,rising,750,-4,"))
        << lines[1].constData();
    const double b = 2.9 - 2 * 4e-5 / (4 * 96485.33212) / 0.01;
    // Ten significant digits.
    EXPECT_NEAR(f1[7].toDouble(), b, 5e-10 * b);
    EXPECT_NEAR(f1[8].toDouble(), 3 - b, 5e-10 * (3 - b));
    EXPECT_NEAR(f1[9].toDouble(), 4e-5, 5e-10 * 4e-5);
    EXPECT_EQ(f1[10], "0");
    EXPECT_NEAR(f1[11].toDouble(), 1e-6, 5e-10 * 1e-6);
    EXPECT_EQ(f1[12], "0");
    EXPECT_TRUE(lines[2].startsWith("2024-03-15T12:01:20.000,80,2,PIDStep,falling,750,-6,"));

    // A folder that does not exist: no file, and the message names it.
    const QString bad = dir.filePath(QStringLiteral("gone/run.isotherm.csv"));
    EXPECT_FALSE(TIsothermFile::Write(bad, balance, &error));
    EXPECT_TRUE(error.contains(bad)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(bad));
}

TEST(CsvText, IsoTimesAndNumbersWithTenDigits) {
    const struct {
        double days;
        const char* text;
    } times[] = {
        {45366.5, "2024-03-15T12:00:00.000"},
        {45366.5 + 0.0425 / 86400, "2024-03-15T12:00:00.043"}, // rounded to the millisecond
        {45351.0 - 1.0 / 86400000, "2024-02-28T23:59:59.999"},
        {45351.0, "2024-02-29T00:00:00.000"},                      // leap day
        {36526.0 + 86399.9996 / 86400, "2000-01-02T00:00:00.000"}, // carries into the next day
    };
    for (const auto& c : times) {
        std::string s;
        AppendIsoTime(s, c.days);
        EXPECT_EQ(s, c.text);
    }
    std::string s;
    AppendCsvNumber(s, 0.1 + 0.2);
    EXPECT_EQ(s, "0.3");
    s.clear();
    AppendCsvNumber(s, -2.9892847123456e-7);
    EXPECT_EQ(s, "-2.989284712e-07");
    s.clear();
    AppendCsvNumber(s, NAN);
    EXPECT_EQ(s, "");
}
