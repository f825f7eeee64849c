// The "Titration" page shows a run: one pair of isotherm series (falling, rising) per temperature
// within 5 degC, a marker per equilibrium point, the table of points, alpha and the current delta.
#include "app/TitrationPage.h"

#include <gtest/gtest.h>

#include "app/TRtDoubleEdit.h"

#include <QCheckBox>
#include <QLabel>
#include <QTableWidget>

namespace {

TDataRow StepRow(double t, int step, double pO2, double temp) {
    TDataRow r;
    r[TProperty::Mode] = 15;
    r[TProperty::Time] = t;
    r[TProperty::Interval] = 10;
    r[TProperty::PumpI] = 1e-6 * step;
    r[TProperty::CellpO2] = pO2;
    r[TProperty::Temp] = temp;
    r[TProperty::Step] = step;
    r[TProperty::StablepO2] = TDataRow::kTrue;
    r[TProperty::RangepO2] = TDataRow::kTrue;
    r[TProperty::Date] = 45366.5 + t / 86400;
    return r;
}

} // namespace

TEST(TitrationPage, IsothermSeriesPerTemperatureAndDirection) {
    TTitrationPage page;
    TTitrationSetup s;
    s.m0 = 1;
    s.M0 = 100;
    s.b0 = 2.9;
    s.bs = 3;
    s.RCDuration = 20;
    page.StartRun(s, QString());
    // Steps at 700, 703 (the same isotherm), 760 and 757 degC; pO2 down, up, down, up.
    const struct {
        double pO2, temp;
    } steps[] = {{1e-3, 700}, {1e-5, 703}, {1e-3, 760}, {1e-5, 757}, {1e-3, 757}, {1e-3, 700}};
    double t = 0;
    int step = 0;
    for (const auto& st : steps) {
        ++step;
        for (int i = 0; i < 4; ++i) // the pO2 moves in the step's first row
            page.AddRow(StepRow(t += 10, step, i == 0 ? std::sqrt(st.pO2 * (step % 2 ? 1e-1 : 1e-7)) : st.pO2,
                                st.temp));
    }
    page.FinishRun();
    const TOxygenBalance& balance = *page.Run.Balance();
    ASSERT_EQ(balance.Points().size(), 6u);

    ASSERT_EQ(page.IsothermPlot->graphCount(), 4); // 700 and 760 degC, each falling and rising
    int markers = 0;
    for (int k = 0; k < page.IsothermPlot->graphCount(); ++k)
        markers += page.IsothermPlot->graph(k)->dataCount();
    EXPECT_EQ(markers, 6);
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(page.IsothermPlot->graph(k)->name().contains(k % 2 ? QStringLiteral("rising")
                                                                       : QStringLiteral("falling")))
            << page.IsothermPlot->graph(k)->name().toStdString();
    EXPECT_EQ(page.IsothermPlot->graph(0)->dataCount() + page.IsothermPlot->graph(1)->dataCount(), 3);
    EXPECT_EQ(page.PointTable->rowCount(), 6);
    EXPECT_EQ(page.DeltaPlot->graph(0)->dataCount(), 24);
    // Mostly the oxygen that left the gas as pO2 fell from 1e-2 atm: about 0.1 - 7e-4.
    EXPECT_NEAR(page.Run.Delta(), 0.0993, 1e-4);
    EXPECT_EQ(page.LabelStatus->text(), QStringLiteral("δ: ") + QString::number(page.Run.Delta(), 'g', 6));
    EXPECT_TRUE(page.LabelAlpha->text().contains(QStringLiteral(" ± ")) &&
                page.LabelAlpha->text().contains(QStringLiteral("from 6 point")))
        << page.LabelAlpha->text().toStdString();

    // A new run empties it, and starts with the leak constant and correction entered on the page.
    page.RtDoubleEditTitrationAlpha->SetValue(3e-11);
    page.CheckBoxLeakCorrection->setChecked(false);
    page.StartRun(s, QString());
    EXPECT_DOUBLE_EQ(page.Run.Balance()->Setup().EnteredAlpha, 3e-11);
    EXPECT_FALSE(page.Run.Balance()->Setup().LeakCorrection);
    EXPECT_EQ(page.IsothermPlot->graphCount(), 0);
    EXPECT_EQ(page.PointTable->rowCount(), 0);
    EXPECT_EQ(page.DeltaPlot->graph(0)->dataCount(), 0);
}
