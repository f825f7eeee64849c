// The running experiment's balance: rows as the window hands them over (data rows and mode-change
// rows), the isotherm file rewritten at each equilibrium point, and a write that fails and heals.
#include "titration/TitrationRun.h"

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>

namespace {

TTitrationSetup SmallSample() {
    TTitrationSetup s;
    s.m0 = 1;
    s.M0 = 100;
    s.b0 = 2.9;
    s.bs = 3;
    s.Vhp = s.Vgp = 0;
    s.RCDuration = 20;
    s.LeakCorrection = false;
    return s;
}

// A settled PIDStep row of 10 s at `t` s in step `step`.
TDataRow StepRow(double t, int step, double pO2) {
    TDataRow r;
    r[TProperty::Mode] = 15;
    r[TProperty::Time] = t;
    r[TProperty::Interval] = 10;
    r[TProperty::PumpI] = 1e-6;
    r[TProperty::CellpO2] = pO2;
    r[TProperty::Temp] = 750;
    r[TProperty::Step] = step;
    r[TProperty::StablepO2] = TDataRow::kTrue;
    r[TProperty::RangepO2] = TDataRow::kTrue;
    r[TProperty::Date] = 45366.5 + t / 86400;
    return r;
}

// The mode-change row the window adds when the program ends.
TDataRow ModeChangeRow(double t) {
    TDataRow r;
    r.Kind = TRowKind::ModeChange;
    r[TProperty::Mode] = 1;
    r[TProperty::Date] = 45366.5 + t / 86400;
    return r;
}

int IsothermLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return int(f.readAll().count('\n')) - 1; // less the header
}

} // namespace

TEST(TitrationRun, EachStepAdvanceAndTheProgramsEndRewriteTheIsotherm) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.isotherm.csv"));
    TTitrationRun run;
    EXPECT_FALSE(run.Add(StepRow(10, 1, 1e-4))); // before Start: nothing
    EXPECT_TRUE(std::isnan(run.Delta()));
    run.Start(SmallSample(), path);
    EXPECT_TRUE(std::isnan(run.Delta()));

    double t = 0;
    const struct {
        int step;
        double pO2;
        int points; // the isotherm's lines after the step's four rows
    } steps[] = {{1, 1e-4, 0}, {2, 1e-6, 1}, {3, 1e-8, 2}};
    for (const auto& s : steps) {
        for (int i = 0; i < 4; ++i) {
            t += 10;
            // Only the first row of a new step ends the one before it.
            EXPECT_EQ(run.Add(StepRow(t, s.step, s.pO2)), i == 0 && s.step > 1) << s.step << " " << i;
        }
        EXPECT_EQ(IsothermLines(path), s.step == 1 ? -1 : s.points) << s.step;
    }
    // The program ends with a mode change: its last step is a point too.
    EXPECT_TRUE(run.Add(ModeChangeRow(t + 1)));
    EXPECT_EQ(IsothermLines(path), 3);
    EXPECT_FALSE(run.Finish());          // nothing running any more
    EXPECT_EQ(run.Deltas().size(), 12u); // data rows only
    // 12 rows of 1 uA for 10 s pumped out 1.2e-4 C; n0 = 0.01 mol.
    const double b = 2.9 - 2 * 1.2e-4 / (4 * 96485.33212) / 0.01;
    EXPECT_NEAR(run.Delta(), 3 - b, 1e-12);
    EXPECT_NEAR(run.Deltas().back().Delta, 3 - b, 1e-12);

    // A new run starts empty.
    run.Start(SmallSample(), QString());
    EXPECT_TRUE(run.Deltas().empty());
    EXPECT_EQ(run.Balance()->Points().size(), 0u);
}

TEST(TitrationRun, AFailedWriteIsToldAndTriedAgainWithTheNextRow) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("later"));
    const QString path = QDir(folder).filePath(QStringLiteral("run.isotherm.csv"));
    TTitrationRun run;
    run.Start(SmallSample(), path);
    double t = 0;
    for (int step = 1; step <= 2; ++step)
        for (int i = 0; i < 3; ++i)
            run.Add(StepRow(t += 10, step, step == 1 ? 1e-4 : 1e-6));
    EXPECT_TRUE(run.WriteError().contains(path)) << run.WriteError().toStdString();
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_FALSE(run.Add(StepRow(t += 10, 2, 1e-6))); // no new point, but the file comes
    EXPECT_TRUE(run.WriteError().isEmpty()) << run.WriteError().toStdString();
    EXPECT_EQ(IsothermLines(path), 1);
}
