#include "app/DataPlot.h"
#include "app/PlotAxisTicker.h"
#include "app/PlotScale.h"
#include "app/PlotSettingsDialog.h"
#include "app/TRtDoubleEdit.h"
#include "control/TRunState.h"
#include "tests/support/ScriptedDialogs.h"

#include "tests/support/QtPrint.h"
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <utility>
#include <vector>

namespace {

using TPoints = std::vector<std::pair<double, double>>;

// Every point the plot keeps of a series.
TPoints Points(const QCPGraph* series) {
    const TDataPlotSeries& kept = qobject_cast<const TDataPlot*>(series->parentPlot())->Points(series);
    TPoints points;
    for (std::size_t i = 0; i < kept.Size(); ++i)
        points.emplace_back(kept[i].key, kept[i].value);
    return points;
}

// What the graph was handed to draw.
TPoints Drawn(const QCPGraph* series) {
    TPoints points;
    for (auto it = series->data()->constBegin(); it != series->data()->constEnd(); ++it)
        points.emplace_back(it->key, it->value);
    return points;
}

bool LogTicks(const QCPAxis* axis) {
    const auto* ticker = dynamic_cast<const TPlotAxisTicker*>(axis->ticker().data());
    return ticker && ticker->Logarithmic();
}

// A plot whose settings dialog is driven by the test instead of a modal loop.
class TScriptedPlot : public TDataPlot {
public:
    std::function<void(TPlotSettingsDialog&)> drive;
    int opened = 0;

protected:
    void ExecSettingsDialog(TPlotSettingsDialog& dialog) override {
        ++opened;
        if (drive)
            drive(dialog);
    }
};

class DataPlot : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs = std::make_shared<TScriptedDialogs>();
        SetDialogs(dialogs);
    }
    void TearDown() override { SetDialogs(nullptr); }

    // Opens the settings through the plot, lets `edit` change the dialog, then presses OK.
    void EditSettings(const std::function<void(TPlotSettingsDialog&)>& edit) {
        plot.drive = [&](TPlotSettingsDialog& d) {
            edit(d);
            d.ButtonBox->button(QDialogButtonBox::Ok)->click();
        };
        plot.OpenSettings();
    }
    QStringList LegendCaptions() const {
        QStringList captions;
        // The legend is a grid of rows; its last row may have empty cells.
        for (int i = 0; i < plot.legend->itemCount(); ++i)
            if (auto* item = qobject_cast<QCPPlottableLegendItem*>(plot.legend->item(i)))
                captions << item->plottable()->name();
        return captions;
    }

    void AppendToEverySeries() {
        plot.AppendDataPoint(1, 0.2, 1e-6, 700, 1e-3);
        plot.AppendPumppO2(1, 1e-3);
    }

    std::shared_ptr<TScriptedDialogs> dialogs;
    TScriptedPlot plot;
};

TEST_F(DataPlot, SeriesAndAxesAsTheWindowShowsThem) {
    EXPECT_EQ(plot.objectName(), "RtGraph2D1");

    struct Expected {
        QCPGraph* series;
        QString name, caption;
        QColor colour;
        QCPAxis* axis;
    };
    const std::vector<Expected> expected = {
        {plot.RtLineSeriesPumpVoltage, "RtLineSeriesPumpVoltage", "Pump voltage, V", QColor(0, 192, 0),
         plot.YAxisPumpVoltage},
        {plot.RtLineSeriesPumpCurrent, "RtLineSeriesPumpCurrent", "Pump current, A", QColor(0, 0, 0),
         plot.RtAxisPumpCurrent},
        {plot.RtLineSeriesCellpO2, "RtLineSeriesCellpO2", "pO2 (sensor), atm", QColor(0, 0, 192),
         plot.RtAxisCellpO2},
        {plot.RtLineSeriesCellTemp, "RtLineSeriesCellTemp", QString::fromUtf8("Cell temp, \u00BAC"),
         QColor(255, 0, 0), plot.RtAxisCellTemp},
        {plot.RtLineSeriesPumppO2, "RtLineSeriesPumppO2", "pO2 (pump), atm", QColor(0, 0, 255),
         plot.RtAxisCellpO2},
    };
    ASSERT_EQ(plot.Series().size(), int(expected.size()));
    for (int i = 0; i < int(expected.size()); ++i) {
        const Expected& e = expected[i];
        SCOPED_TRACE(e.name.toStdString());
        EXPECT_EQ(plot.Series()[i], e.series) << "drawing order";
        EXPECT_EQ(plot.graph(i), e.series) << "drawing order";
        EXPECT_EQ(e.series->objectName(), e.name);
        EXPECT_EQ(e.series->name(), e.caption);
        EXPECT_EQ(e.series->keyAxis(), plot.XAxisTime);
        EXPECT_EQ(e.series->valueAxis(), e.axis);
        EXPECT_EQ(e.series->pen().color(), e.colour);
        EXPECT_TRUE(e.series->visible());
    }
    for (QCPGraph* line : {plot.RtLineSeriesPumpVoltage, plot.RtLineSeriesPumpCurrent,
                           plot.RtLineSeriesCellpO2, plot.RtLineSeriesCellTemp}) {
        EXPECT_EQ(line->lineStyle(), QCPGraph::lsLine);
        EXPECT_EQ(line->pen().widthF(), 2.0);
    }
    const QCPScatterStyle points = plot.RtLineSeriesPumppO2->scatterStyle();
    EXPECT_EQ(plot.RtLineSeriesPumppO2->lineStyle(), QCPGraph::lsNone);
    EXPECT_EQ(points.shape(), QCPScatterStyle::ssCircle);
    EXPECT_EQ(points.size(), 4.0);
    EXPECT_EQ(points.pen().color(), QColor(0, 0, 255));

    EXPECT_EQ(plot.XAxisTime->objectName(), "XAxisTime");
    EXPECT_EQ(plot.XAxisTime->axisType(), QCPAxis::atBottom);
    EXPECT_EQ(plot.XAxisTime->label(), "Time, m");
    const QStringList valueAxisNames = {"YAxisPumpVoltage", "RtAxisPumpCurrent", "RtAxisCellpO2",
                                        "RtAxisCellTemp"};
    ASSERT_EQ(plot.ValueAxes().size(), valueAxisNames.size());
    for (int i = 0; i < valueAxisNames.size(); ++i) {
        QCPAxis* axis = plot.ValueAxes()[i];
        SCOPED_TRACE(valueAxisNames[i].toStdString());
        EXPECT_EQ(axis->objectName(), valueAxisNames[i]);
        EXPECT_EQ(axis->axisType(), QCPAxis::atRight);
        EXPECT_TRUE(axis->visible());
        EXPECT_TRUE(plot.AxisAutoRange(axis));
        const bool pO2 = axis == plot.RtAxisCellpO2;
        EXPECT_EQ(TDataPlot::AxisLogarithmic(axis), pO2);
        EXPECT_EQ(LogTicks(axis), pO2);
    }
    EXPECT_TRUE(plot.AxisAutoRange(plot.XAxisTime));

    for (QCPAxis* axis : plot.axisRect()->axes())
        EXPECT_FALSE(axis->grid()->visible() || axis->grid()->subGridVisible()) << "no grid lines";
    EXPECT_TRUE(plot.legend->visible());
    EXPECT_TRUE(LegendCaptions().isEmpty()) << "no entry before its series has data";
    AppendToEverySeries();
    EXPECT_EQ(LegendCaptions(), QStringList({"Pump voltage, V", "Pump current, A", "pO2 (sensor), atm",
                                             QString::fromUtf8("Cell temp, \u00BAC"), "pO2 (pump), atm"}));
}

TEST_F(DataPlot, RowsWithoutSensorpO2KeepItsTimesPaired) {
    const std::vector<std::optional<double>> pO2 = {1e-3,         std::nullopt, 2e-3,
                                                    std::nullopt, std::nullopt, 3e-3};
    for (int i = 0; i < int(pO2.size()); ++i)
        plot.AppendDataPoint(10.0 + i, 0.1 * i, -1e-4 * i, 800.0 + i, pO2[i]);
    plot.AppendPumppO2(12.5, 4e-4);

    EXPECT_EQ(Points(plot.RtLineSeriesCellpO2), TPoints({{10.0, 1e-3}, {12.0, 2e-3}, {15.0, 3e-3}}));
    EXPECT_EQ(Points(plot.RtLineSeriesPumppO2), TPoints({{12.5, 4e-4}}));
    EXPECT_EQ(plot.PointCount(plot.RtLineSeriesPumpVoltage), 6);
    EXPECT_EQ(plot.PointCount(plot.RtLineSeriesPumpCurrent), 6);
    EXPECT_EQ(Points(plot.RtLineSeriesCellTemp).back(), std::make_pair(15.0, 805.0));
    EXPECT_EQ(Points(plot.RtLineSeriesPumpCurrent)[3], std::make_pair(13.0, -1e-4 * 3));
}

TEST_F(DataPlot, DeleteFirstPointsDropsTheOldestOfEverySeries) {
    struct Case {
        const char* what;
        int rows;
        int pO2Every;     // a sensor pO2 on every k-th row
        int pumpEvery;    // a pump pO2 on every k-th row
        bool repeatTimes; // two rows per time value, so the cut falls between equal times
    };
    const Case cases[] = {
        {"fewer points than removed", 50, 1, 5, false},
        {"exactly as many", 101, 1, 1, false},
        {"more points", 250, 2, 1, false},
        {"times repeated across the cut", 150, 1, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TDataPlot p;
        std::vector<TPoints> appended(5);
        for (int i = 0; i < c.rows; ++i) {
            const double t = c.repeatTimes ? double(i / 2) : double(i);
            const std::optional<double> pO2 =
                i % c.pO2Every == 0 ? std::optional<double>(1e-6 * (i + 1)) : std::nullopt;
            p.AppendDataPoint(t, i, -i, 700.0 + i, pO2);
            appended[0].emplace_back(t, i);
            appended[1].emplace_back(t, -i);
            if (pO2)
                appended[2].emplace_back(t, *pO2);
            appended[3].emplace_back(t, 700.0 + i);
            if (i % c.pumpEvery == 0) {
                p.AppendPumppO2(t + 0.5, 2e-6 * (i + 1));
                appended[4].emplace_back(t + 0.5, 2e-6 * (i + 1));
            }
        }
        p.DeleteFirstPoints(101);
        for (int s = 0; s < 5; ++s) {
            SCOPED_TRACE(p.Series()[s]->objectName().toStdString());
            const TPoints& all = appended[s];
            const TPoints rest(all.begin() + std::min<size_t>(101, all.size()), all.end());
            EXPECT_EQ(Points(p.Series()[s]), rest);
        }
    }
}

TEST_F(DataPlot, AutomaticRangesFollowTheRemainingData) {
    for (int i = 0; i < 250; ++i)
        plot.AppendDataPoint(i, i < 101 ? -1000.0 : 0.2, -1e-4, 800.0, 1e-5);
    plot.DeleteFirstPoints(101);
    EXPECT_GT(plot.YAxisPumpVoltage->range().lower, 0.0) << "deleted values still widen the range";
    EXPECT_GE(plot.XAxisTime->range().lower, 101.0);
    EXPECT_LE(plot.XAxisTime->range().upper, 249.0);
}

TEST_F(DataPlot, ClearAllDataEmptiesEverySeries) {
    for (int i = 0; i < 20; ++i) {
        plot.AppendDataPoint(i, 0.2, -1e-4, 800.0, 1e-5);
        plot.AppendPumppO2(i, 2e-5);
    }
    plot.ClearAllData();
    for (QCPGraph* series : plot.Series())
        EXPECT_EQ(plot.PointCount(series), 0) << series->objectName().toStdString();

    plot.AppendDataPoint(500.0, 0.3, -2e-4, 810.0, std::nullopt);
    EXPECT_EQ(Points(plot.RtLineSeriesPumpVoltage), TPoints({{500.0, 0.3}}));
    EXPECT_EQ(plot.PointCount(plot.RtLineSeriesCellpO2), 0);
    plot.ReplotNow();
    EXPECT_LE(plot.RtAxisCellTemp->range().lower, 810.0);
    EXPECT_GE(plot.RtAxisCellTemp->range().upper, 810.0);
    EXPECT_LT(plot.RtAxisCellTemp->range().size(), 100.0) << "cleared values no longer count";
}

TEST_F(DataPlot, HidingTemperatureHidesItsCurveAxisAndLegendEntry) {
    AppendToEverySeries();
    plot.SetTemperatureVisible(false);
    EXPECT_FALSE(plot.TemperatureVisible());
    EXPECT_FALSE(plot.RtLineSeriesCellTemp->visible());
    EXPECT_FALSE(plot.RtAxisCellTemp->visible());
    EXPECT_TRUE(plot.YAxisPumpVoltage->visible());
    EXPECT_FALSE(LegendCaptions().contains(plot.RtLineSeriesCellTemp->name()));
    EXPECT_EQ(LegendCaptions().size(), 4);

    plot.SetTemperatureVisible(true);
    EXPECT_TRUE(plot.RtLineSeriesCellTemp->visible());
    EXPECT_TRUE(plot.RtAxisCellTemp->visible());
    EXPECT_EQ(LegendCaptions().value(3), plot.RtLineSeriesCellTemp->name()) << "back in drawing order";
}

TEST_F(DataPlot, EachAxisFitsItsOwnSeriesAndLogAxesIgnoreNonPositiveValues) {
    const std::vector<std::optional<double>> sensor = {0.0, -1e-3, 1e-5, std::nullopt, 1e-2};
    for (int i = 0; i < int(sensor.size()); ++i)
        plot.AppendDataPoint(2.0 + i, 0.2 + 0.01 * i, -1e-4, 800.0 + i, sensor[i]);
    plot.AppendPumppO2(3.0, -5.0);
    plot.AppendPumppO2(4.0, 1e-7);
    plot.ReplotNow();

    const QCPRange pO2 = plot.RtAxisCellpO2->range();
    EXPECT_GT(pO2.lower, 1e-8);
    EXPECT_LE(pO2.lower, 1e-7) << "the pump pO2 shares the axis";
    EXPECT_GE(pO2.upper, 1e-2);
    EXPECT_LT(pO2.upper, 1e-1);

    const QCPRange volts = plot.YAxisPumpVoltage->range();
    EXPECT_TRUE(volts.lower <= 0.2 && volts.upper >= 0.24 && volts.size() < 0.1)
        << "not widened by other series";
    const QCPRange temp = plot.RtAxisCellTemp->range();
    EXPECT_TRUE(temp.lower <= 800.0 && temp.upper >= 804.0 && temp.size() < 10.0);
    EXPECT_EQ(plot.XAxisTime->range().lower, 2.0);
    EXPECT_EQ(plot.XAxisTime->range().upper, 6.0);

    plot.SetAxisLogarithmic(plot.RtAxisCellpO2, false);
    plot.ReplotNow();
    EXPECT_LT(plot.RtAxisCellpO2->range().lower, -5.0) << "a linear axis shows negative values";
}

TEST_F(DataPlot, RedrawIsThrottledAndWaitsWhileHidden) {
    plot.resize(800, 500);
    plot.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&plot));
    QCoreApplication::processEvents();
    QSignalSpy replots(&plot, &QCustomPlot::afterReplot);

    for (int i = 0; i < 100; ++i)
        plot.AppendDataPoint(i, 0.2, -1e-4, 800.0, 1e-5);
    EXPECT_EQ(replots.count(), 0) << "appending must not redraw";
    EXPECT_TRUE(plot.ReplotPending());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !plot.ReplotPending(); }, 10000)) << "the timer never redrew";
    EXPECT_GE(replots.count(), 1);
    EXPECT_EQ(plot.XAxisTime->range().upper, 99.0);

    plot.hide();
    plot.AppendDataPoint(200.0, 0.2, -1e-4, 800.0, 1e-5);
    EXPECT_TRUE(plot.ReplotPending());
    plot.show();
    EXPECT_FALSE(plot.ReplotPending()) << "showing the plot brings it up to date";
    EXPECT_EQ(plot.XAxisTime->range().upper, 200.0);
}

TEST_F(DataPlot, RightButtonOpensTheSettings) {
    QString title;
    plot.drive = [&](TPlotSettingsDialog& d) { title = d.windowTitle(); };
    plot.resize(400, 300);
    plot.show();
    QTest::mouseClick(&plot, Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_EQ(plot.opened, 0);
    QTest::mouseClick(&plot, Qt::RightButton, {}, QPoint(100, 100));
    EXPECT_EQ(plot.opened, 1);
    EXPECT_EQ(title, "Set properties of: RtGraph2D1");
}

TEST_F(DataPlot, SettingsDialogStartsFromThePlot) {
    plot.SetTemperatureVisible(false);
    plot.SetAxisFixedRange(plot.RtAxisPumpCurrent, -2e-3, 1e-3);
    TPlotSettingsDialog d(&plot);

    EXPECT_FALSE(d.VisibleBox(plot.RtLineSeriesCellTemp)->isChecked());
    EXPECT_TRUE(d.VisibleBox(plot.RtLineSeriesCellpO2)->isChecked());
    const auto& current = d.Row(plot.RtAxisPumpCurrent);
    EXPECT_FALSE(current.Automatic->isChecked());
    EXPECT_TRUE(current.Minimum->isEnabled());
    EXPECT_EQ(current.Minimum->Value(), -2e-3);
    EXPECT_EQ(current.Maximum->Value(), 1e-3);
    EXPECT_FALSE(current.Logarithmic->isChecked());
    EXPECT_TRUE(d.Row(plot.RtAxisCellpO2).Logarithmic->isChecked());
    EXPECT_TRUE(d.Row(plot.YAxisPumpVoltage).Automatic->isChecked());
    EXPECT_FALSE(d.Row(plot.YAxisPumpVoltage).Minimum->isEnabled());
    EXPECT_EQ(d.Row(plot.XAxisTime).Logarithmic, nullptr) << "time is never logarithmic";
}

TEST_F(DataPlot, SettingsDialogFixesAndFreesARange) {
    for (int i = 0; i < 10; ++i)
        plot.AppendDataPoint(i, 0.2, -1e-4, 800.0, 1e-5);
    EditSettings([&](TPlotSettingsDialog& d) {
        const auto& row = d.Row(plot.YAxisPumpVoltage);
        row.Automatic->setChecked(false);
        row.Minimum->SetValue(-1.0);
        row.Maximum->SetValue(2.0);
    });
    EXPECT_FALSE(plot.AxisAutoRange(plot.YAxisPumpVoltage));
    plot.AppendDataPoint(10.0, 5.0, -1e-4, 800.0, 1e-5);
    plot.ReplotNow();
    EXPECT_EQ(plot.YAxisPumpVoltage->range(), QCPRange(-1.0, 2.0)) << "a fixed range ignores new data";

    EditSettings([&](TPlotSettingsDialog& d) { d.Row(plot.YAxisPumpVoltage).Automatic->setChecked(true); });
    EXPECT_TRUE(plot.AxisAutoRange(plot.YAxisPumpVoltage));
    EXPECT_GE(plot.YAxisPumpVoltage->range().upper, 5.0);

    // Cancel leaves everything as it was.
    plot.drive = [&](TPlotSettingsDialog& d) {
        d.Row(plot.YAxisPumpVoltage).Automatic->setChecked(false);
        d.VisibleBox(plot.RtLineSeriesPumpVoltage)->setChecked(false);
        d.ButtonBox->button(QDialogButtonBox::Cancel)->click();
    };
    plot.OpenSettings();
    EXPECT_TRUE(plot.AxisAutoRange(plot.YAxisPumpVoltage));
    EXPECT_TRUE(plot.RtLineSeriesPumpVoltage->visible());
}

TEST_F(DataPlot, SettingsDialogSwitchesScalesAndHidesSeries) {
    for (int i = 0; i < 10; ++i)
        plot.AppendDataPoint(i, 0.2, 1e-4 * (i + 1), 800.0, 1e-5);
    EditSettings([&](TPlotSettingsDialog& d) {
        d.Row(plot.RtAxisCellpO2).Logarithmic->setChecked(false);
        d.Row(plot.RtAxisPumpCurrent).Logarithmic->setChecked(true);
        d.VisibleBox(plot.RtLineSeriesPumpVoltage)->setChecked(false);
    });
    EXPECT_FALSE(TDataPlot::AxisLogarithmic(plot.RtAxisCellpO2));
    EXPECT_FALSE(LogTicks(plot.RtAxisCellpO2));
    EXPECT_TRUE(TDataPlot::AxisLogarithmic(plot.RtAxisPumpCurrent));
    EXPECT_TRUE(LogTicks(plot.RtAxisPumpCurrent));
    EXPECT_GT(plot.RtAxisPumpCurrent->range().lower, 0.0);

    EXPECT_FALSE(plot.RtLineSeriesPumpVoltage->visible());
    EXPECT_FALSE(plot.YAxisPumpVoltage->visible());
    EXPECT_EQ(LegendCaptions().size(), 3) << "neither the hidden voltage nor the pump pO2 without data";
    EXPECT_TRUE(plot.RtLineSeriesCellTemp->visible());
}

TEST_F(DataPlot, SettingsDialogRefusesAnImpossibleRange) {
    struct Case {
        const char* what;
        QCPAxis* axis;
        double lower, upper;
        const char* message;
    };
    const Case cases[] = {
        {"minimum above maximum", plot.RtAxisCellTemp, 900.0, 700.0, "must be below its maximum"},
        {"empty range", plot.XAxisTime, 5.0, 5.0, "must be below its maximum"},
        {"zero on a log axis", plot.RtAxisCellpO2, 0.0, 1.0, "needs a minimum above zero"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dialogs->messages.clear();
        TPlotSettingsDialog d(&plot);
        const auto& row = d.Row(c.axis);
        row.Automatic->setChecked(false);
        row.Minimum->SetValue(c.lower);
        row.Maximum->SetValue(c.upper);
        d.VisibleBox(plot.RtLineSeriesPumpCurrent)->setChecked(false);
        EXPECT_FALSE(d.Apply());
        ASSERT_EQ(dialogs->messages.size(), 1);
        EXPECT_TRUE(dialogs->messages[0].contains(c.message)) << dialogs->messages[0].toStdString();
        EXPECT_TRUE(dialogs->messages[0].contains(plot.RangeCaption(c.axis)));
        EXPECT_TRUE(plot.AxisAutoRange(c.axis));
        EXPECT_TRUE(plot.RtLineSeriesPumpCurrent->visible()) << "nothing applied";
    }
}

TEST_F(DataPlot, SavesThePlotAsPngAndPdf) {
    for (int i = 0; i < 50; ++i)
        plot.AppendDataPoint(i, 0.2, -1e-4, 800.0, 1e-5);
    QTemporaryDir dir;
    struct Case {
        bool pdf;
        QString chosen, written;
    };
    const Case cases[] = {
        {false, "plot.png", "plot.png"},
        {true, "plot.pdf", "plot.pdf"},
        {false, "bare", "bare.png"},
        {true, "bare", "bare.pdf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written.toStdString());
        TPlotSettingsDialog d(&plot);
        dialogs->fileNames.push_back(dir.filePath(c.chosen));
        (c.pdf ? d.ButtonSavePdf : d.ButtonSavePng)->click();
        EXPECT_TRUE(dialogs->messages.isEmpty());
        QFile file(dir.filePath(c.written));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        if (c.pdf)
            EXPECT_TRUE(file.read(5) == "%PDF-");
        else
            EXPECT_FALSE(QImage(file.fileName()).isNull());
    }

    // Cancelling the file dialog writes nothing and says nothing.
    TPlotSettingsDialog d(&plot);
    d.ButtonSavePng->click();
    EXPECT_TRUE(dialogs->messages.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 4);
}

TEST_F(DataPlot, AFailedSaveIsReported) {
    QTemporaryDir dir;
    for (QPushButton* TPlotSettingsDialog::*button :
         {&TPlotSettingsDialog::ButtonSavePng, &TPlotSettingsDialog::ButtonSavePdf}) {
        dialogs->messages.clear();
        const QString target = dir.filePath("no such folder/plot");
        dialogs->fileNames.push_back(target);
        TPlotSettingsDialog d(&plot);
        (d.*button)->click();
        ASSERT_EQ(dialogs->messages.size(), 1);
        EXPECT_TRUE(dialogs->messages[0].contains(QDir::toNativeSeparators(target)));
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

} // namespace

namespace {

// The ticks an axis places over a range, and their labels.
struct TTicks {
    QVector<double> ticks, subTicks;
    QVector<QString> labels;
};
TTicks Ticks(QCPAxis* axis, double lower, double upper) {
    TTicks t;
    axis->ticker()->generate(QCPRange(lower, upper), QLocale::c(), u'g', 6, t.ticks, &t.subTicks, &t.labels);
    return t;
}

} // namespace

TEST_F(DataPlot, TickLabelsTellTicksApartAndLogAxesLabelEachDecadeOnce) {
    struct Case {
        const char* what;
        QCPAxis* axis;
        double lower, upper;
    };
    const Case cases[] = {
        {"temperature within 0.01", plot.RtAxisCellTemp, 699.951, 699.959},
        {"temperature over 300", plot.RtAxisCellTemp, 600, 900},
        {"current over 1 nA", plot.RtAxisPumpCurrent, -3.1579e-6, -3.1571e-6},
        {"current around zero", plot.RtAxisPumpCurrent, -2e-7, 3e-7},
        {"voltage", plot.YAxisPumpVoltage, 0.2501, 0.2503},
        {"pO2 within a decade", plot.RtAxisCellpO2, 0.19, 0.21},
        {"pO2 over a decade boundary", plot.RtAxisCellpO2, 0.05, 0.3},
        {"pO2 over two decades", plot.RtAxisCellpO2, 1e-6, 1e-4},
        {"pO2 over eighteen decades", plot.RtAxisCellpO2, 1e-20, 1e-2},
        {"time", plot.XAxisTime, 10000, 10000.5},
        {"time in quarters", plot.XAxisTime, 0.2, 1.8},
    };
    for (const Case& c : cases) {
        const TTicks t = Ticks(c.axis, c.lower, c.upper);
        const QVector<QString>& labels = t.labels;
        SCOPED_TRACE(c.what);
        ASSERT_GE(labels.size(), 2);
        EXPECT_EQ(QSet<QString>(labels.begin(), labels.end()).size(), labels.size())
            << QStringList(labels.begin(), labels.end()).join(u' ').toStdString();
        const double step = t.ticks[1] - t.ticks[0];
        for (int i = 0; i < labels.size(); ++i) {
            EXPECT_LE(labels[i].size(), 10) << "compact: " << labels[i].toStdString();
            bool number = false;
            // A current or voltage label counts in its SI prefix, a time label in its unit.
            const double scale = dynamic_cast<const TPlotAxisTicker&>(*c.axis->ticker())
                                     .UnitFor(QCPRange(c.lower, c.upper))
                                     .Scale;
            const double read = labels[i].toDouble(&number) * scale;
            if (number) // a decade label such as 10⁻⁵ is not a plain number
                EXPECT_NEAR(read, t.ticks[i], 1e-6 * step)
                    << "the label shows its tick: " << labels[i].toStdString();
        }
    }
    // Decades read as powers of ten, one label each, with the minor ticks between.
    QVector<double> ticks, subTicks;
    QVector<QString> labels;
    plot.RtAxisCellpO2->ticker()->generate(QCPRange(1e-7, 1e-3), QLocale::c(), u'g', 6, ticks, &subTicks,
                                           &labels);
    EXPECT_TRUE(labels.contains(TPlotAxisTicker::DecadeLabel(-5)));
    EXPECT_EQ(TPlotAxisTicker::DecadeLabel(-5), QString::fromUtf8("10\u207B\u2075"));
    EXPECT_TRUE(subTicks.contains(ticks[1] * 2) && subTicks.contains(ticks[1] * 9));
}

// At the operator window's smallest size the plot is about 750 pixels wide; the four value axes
// with the labels a run gives them must leave most of it to the data.
TEST_F(DataPlot, DataAreaKeepsMostOfTheWidthWithFourValueAxes) {
    for (int i = 0; i < 200; ++i)
        plot.AppendDataPoint(i / 6.0, 1.05 + 1e-5 * i, -3.1573e-6 - 1e-12 * i, 699.95 + 1e-4 * i,
                             std::pow(10.0, -12.3 + 0.001 * i));
    plot.show();
    for (const int width : {753, 1098}) {
        plot.resize(width, 700);
        QTRY_COMPARE_WITH_TIMEOUT(plot.viewport().width(), width, 10000);
        plot.ReplotNow();
        SCOPED_TRACE(width);
        EXPECT_GE(plot.axisRect()->width(), 0.6 * width);
    }
}

TEST_F(DataPlot, LinesBreakAtOutagesAndHoverShowsTheNearestPoint) {
    for (const double t : {0.0, 1.0, 2.0, 3.0, 5.5, 20.0, 21.0})
        plot.AppendDataPoint(t, 0.25, -1e-6, 700.0 + t, 1e-5);
    // 3 to 5.5 is 2.5 lengths: drawn through; 5.5 to 20 is an outage: a break.
    const TPoints v = Points(plot.RtLineSeriesPumpVoltage);
    int breaks = 0;
    for (const auto& [key, value] : v)
        breaks += std::isnan(value) ? 1 : 0;
    EXPECT_EQ(breaks, 1);
    EXPECT_TRUE(std::isnan(v[5].second) && v[5].first > 5.5 && v[5].first < 20.0);
    EXPECT_EQ(v.size(), 8u);

    plot.resize(800, 500);
    plot.ReplotNow();
    const double y = plot.axisRect()->center().y();
    const QString text = plot.HoverText(QPointF(plot.XAxisTime->coordToPixel(20.2), y));
    EXPECT_TRUE(text.contains(QStringLiteral("Cell temp, \u00BAC: 720"))) << text.toStdString();
    EXPECT_TRUE(plot.HoverText(QPointF(2, 2)).isEmpty()) << "outside the data area";

    // Deleting the first points counts data points only; the gap goes with the points before it.
    plot.DeleteFirstPoints(5);
    EXPECT_EQ(Points(plot.RtLineSeriesPumpVoltage), TPoints({{20.0, 0.25}, {21.0, 0.25}}));
}

TEST_F(DataPlot, ZoomedTimeAxisStaysUntilDoubleClick) {
    for (int i = 0; i < 10; ++i)
        plot.AppendDataPoint(i, 0.25, -1e-6, 700.0, 1e-5);
    plot.resize(800, 500);
    plot.show();
    plot.ReplotNow();
    EXPECT_TRUE(plot.FollowingNewestData());
    // The operator zooms in (the wheel and a drag set the range the same way).
    plot.XAxisTime->setRange(2, 4);
    EXPECT_FALSE(plot.FollowingNewestData());
    plot.AppendDataPoint(10, 0.25, -1e-6, 700.0, 1e-5);
    plot.ReplotNow();
    EXPECT_EQ(plot.XAxisTime->range(), QCPRange(2, 4));

    const QPoint inside = plot.axisRect()->center();
    QTest::mouseDClick(&plot, Qt::LeftButton, Qt::NoModifier, inside);
    EXPECT_TRUE(plot.FollowingNewestData());
    EXPECT_EQ(plot.XAxisTime->range().upper, 10.0);
}

namespace {

// A long series: a slow curve, two breaks and a spike up and down between two runs of stored
// extremes (not aligned to them).
TDataPlotSeries LongSeries(std::vector<double>& values) {
    TDataPlotSeries series;
    values.assign(100000, 0.0);
    for (int i = 0; i < int(values.size()); ++i)
        values[std::size_t(i)] = std::sin(i * 0.001) + 0.01 * std::sin(i * 0.7);
    values[20001] = values[77777] = std::nan("");
    values[37717] = 50.0;
    values[37718] = -50.0;
    for (int i = 0; i < int(values.size()); ++i)
        series.Append(i, values[std::size_t(i)]);
    return series;
}

} // namespace

// Against every point of each pixel column: the envelope shows the column's smallest and largest
// value and its break (within a pixel of the column: with many points per column its edges move
// by a fraction of a pixel), invents nothing, and stays a few points per column.
TEST(DataPlotSeries, EnvelopeKeepsEachColumnsExtremesAndBreaks) {
    std::vector<double> values;
    const TDataPlotSeries series = LongSeries(values);
    struct Case {
        const char* what;
        double lower, upper;
        int columns;
    };
    const Case cases[] = {
        {"the whole run", 0, 99999, 700},
        {"a zoomed part", 12345.6, 54321.2, 333},
        {"the spike in a narrow column", 37700.5, 37750.5, 3},
        {"past both ends", -5000, 150000, 512},
        {"many points per column", 1000.3, 99000.7, 90},
        {"fewer points than columns", 37000, 38000, 800},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QVector<QCPGraphData> out;
        series.Envelope(c.lower, c.upper, c.columns, out);
        ASSERT_FALSE(out.isEmpty());
        auto drawn = [&](int i) {
            return std::any_of(out.begin(), out.end(), [&](const QCPGraphData& d) { return d.key == i; });
        };
        for (int k = 1; k < out.size(); ++k)
            ASSERT_LT(out[k - 1].key, out[k].key) << "in time order, each point once";
        for (const QCPGraphData& d : out) {
            const double v = values[std::size_t(d.key)];
            ASSERT_TRUE(d.value == v || (std::isnan(d.value) && std::isnan(v))) << "a point of the series";
        }
        const int first = std::max(0, int(std::ceil(c.lower)));
        const int last = std::min(int(values.size()) - 1, int(std::floor(c.upper)));
        if (first > 0)
            EXPECT_TRUE(drawn(first - 1)) << "the line runs on to the left edge";
        if (last + 1 < int(values.size()))
            EXPECT_TRUE(drawn(last + 1)) << "the line runs on to the right edge";
        if (first <= 37717 && last >= 37718)
            EXPECT_TRUE(drawn(37717) && drawn(37718)) << "the spike's own top and bottom";
        if (last - first + 3 <= 2 * c.columns) {
            EXPECT_EQ(out.size(), std::min(last + 1, int(values.size()) - 1) - std::max(first - 1, 0) + 1)
                << "every point";
            continue;
        }
        EXPECT_LE(out.size(), 3 * c.columns + 2);
        const double width = (c.upper - c.lower) / c.columns;
        int i = first;
        for (int col = 0; col < c.columns && i <= last; ++col) {
            const double end = col == c.columns - 1 ? last + 1 : c.lower + (col + 1) * width;
            int lo = -1, hi = -1, gap = -1;
            for (; i <= last && i < end; ++i) {
                const double v = values[std::size_t(i)];
                if (std::isnan(v)) {
                    gap = gap < 0 ? i : gap;
                    continue;
                }
                lo = lo < 0 || v < values[std::size_t(lo)] ? i : lo;
                hi = hi < 0 || v > values[std::size_t(hi)] ? i : hi;
            }
            SCOPED_TRACE(col);
            const double from = c.lower + (col - 1) * width, to = c.lower + (col + 2) * width;
            auto near = [&](auto shows) {
                return std::any_of(out.begin(), out.end(), [&](const QCPGraphData& d) {
                    return d.key >= from && d.key < to && shows(d.value);
                });
            };
            EXPECT_TRUE(lo < 0 || near([&](double v) { return v <= values[std::size_t(lo)]; }))
                << "smallest value at " << lo;
            EXPECT_TRUE(hi < 0 || near([&](double v) { return v >= values[std::size_t(hi)]; }))
                << "largest value at " << hi;
            EXPECT_TRUE(gap < 0 || near([](double v) { return std::isnan(v); })) << "break at " << gap;
        }
    }
}

TEST_F(DataPlot, ALongRunIsDrawnFromItsEnvelopeWithTheSpikesTrueTopAndBottom) {
    plot.resize(800, 500);
    plot.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&plot));
    const int n = 200000;
    for (int i = 0; i < n; ++i) {
        const double v = i == 123457 ? 0.9 : i == 123458 ? -0.4 : 0.25 + 1e-4 * std::sin(i * 0.01);
        plot.AppendDataPoint(i / 60.0, v, -1e-4, 800.0, 1e-5);
    }
    plot.ReplotNow();
    EXPECT_EQ(plot.PointCount(plot.RtLineSeriesPumpVoltage), n) << "the plot keeps every point";
    const TPoints drawn = Drawn(plot.RtLineSeriesPumpVoltage);
    EXPECT_LE(int(drawn.size()), 3 * plot.axisRect()->width() + 2);
    auto has = [](const TPoints& points, double value) {
        return std::any_of(points.begin(), points.end(), [&](const auto& p) { return p.second == value; });
    };
    EXPECT_TRUE(has(drawn, 0.9) && has(drawn, -0.4)) << "the spike's top and bottom";
    EXPECT_LE(plot.YAxisPumpVoltage->range().lower, -0.4);
    EXPECT_GE(plot.YAxisPumpVoltage->range().upper, 0.9);

    // A zoom (the wheel and a drag redraw the plot themselves) gets every point of the new range.
    plot.XAxisTime->setRange(123450 / 60.0, 123470 / 60.0);
    plot.replot();
    const TPoints zoomed = Drawn(plot.RtLineSeriesPumpVoltage);
    EXPECT_EQ(zoomed.size(), 23u) << "21 points inside, one either side";
    EXPECT_TRUE(has(zoomed, 0.9) && has(zoomed, -0.4));
    const QString hover = plot.HoverText(QPointF(plot.XAxisTime->coordToPixel(123457 / 60.0), 100));
    EXPECT_TRUE(hover.contains(QStringLiteral("Pump voltage, V: 0.9"))) << hover.toStdString();

    // An export at another size draws from an envelope of its own width.
    QTemporaryDir dir;
    ASSERT_TRUE(plot.savePng(dir.filePath("wide.png"), 1600, 500));
    plot.FollowNewestData();
    EXPECT_TRUE(has(Drawn(plot.RtLineSeriesPumpVoltage), 0.9));
}

TEST(PlotScale, SpansUnitsAndReadouts) {
    struct SpanCase {
        const char* what;
        QCPRange in;
        double span;
        bool log;
        QCPRange out;
    };
    const SpanCase spans[] = {
        {"temperature wander widened to 1 °C", {699.9, 700.1}, 1.0, false, {699.5, 700.5}},
        {"wide range unchanged", {600, 900}, 1.0, false, {600, 900}},
        {"holding current widened to 1 µA", {4.9995e-6, 5.0005e-6}, 1e-6, false, {4.5e-6, 5.5e-6}},
        {"pO2 to half a decade about its middle",
         {1e-3, 1e-3},
         0.5,
         true,
         {std::pow(10.0, -3.25), std::pow(10.0, -2.75)}},
        {"pO2 over decades unchanged", {1e-6, 1e-2}, 0.5, true, {1e-6, 1e-2}},
        {"no positive range on a log axis: unchanged", {-1, 1}, 0.5, true, {-1, 1}},
    };
    for (const SpanCase& c : spans) {
        SCOPED_TRACE(c.what);
        const QCPRange r = TPlotScale::WithMinimumSpan(c.in, c.span, c.log);
        EXPECT_NEAR(r.lower, c.out.lower, 1e-9 * std::abs(c.out.lower));
        EXPECT_NEAR(r.upper, c.out.upper, 1e-9 * std::abs(c.out.upper));
    }

    struct UnitCase {
        double lower, upper;
        double scale;
        const char* symbol;
    };
    const UnitCase prefixes[] = {
        {4.5e-6, 5.5e-6, 1e-6, "\u00B5"}, {-2e-3, 1e-4, 1e-3, "m"}, {0.2, 0.3, 1e-3, "m"}, {-1.1, 0.5, 1, ""},
        {-4e-7, 4e-7, 1e-9, "n"},         {0, 0, 1e-9, "n"},
    };
    for (const UnitCase& c : prefixes) {
        const TPlotScale::TUnit u = TPlotScale::SiPrefix(c.lower, c.upper);
        EXPECT_EQ(u.Scale, c.scale) << c.lower << " " << c.upper;
        EXPECT_EQ(u.Symbol, QString::fromUtf8(c.symbol)) << c.lower << " " << c.upper;
    }
    const UnitCase times[] = {
        {0, 30, 1, "m"}, {0, 180, 1, "m"}, {0, 181, 60, "h"}, {0, 4320, 60, "h"}, {0, 4321, 1440, "d"},
    };
    for (const UnitCase& c : times) {
        const TPlotScale::TUnit u = TPlotScale::TimeUnit(c.upper - c.lower);
        EXPECT_EQ(u.Scale, c.scale) << c.upper;
        EXPECT_EQ(u.Symbol, QString::fromUtf8(c.symbol)) << c.upper;
    }

    struct ReadoutCase {
        double value;
        const char* unit;
        const char* text;
    };
    const ReadoutCase readouts[] = {
        {5e-6, "A", "5.000 \u00B5A"}, {-1.234e-3, "A", "-1.234 mA"}, {0.1234, "V", "123.4 mV"},
        {1.05, "V", "1.050 V"},       {std::nan(""), "V", "\u2013"},
    };
    for (const ReadoutCase& c : readouts)
        EXPECT_EQ(TPlotScale::FormatSi(c.value, c.unit, 4), QString::fromUtf8(c.text)) << c.value;
}

// A galvanostatic run of a steady cell: the noise of the readings must not fill the axes, the
// current counts in µA and the time axis changes its unit as the run grows.
TEST_F(DataPlot, ASteadyCellsNoiseDoesNotFillTheAxes) {
    for (int i = 0; i <= 60; ++i)
        plot.AppendDataPoint(i / 6.0, 0.2501 + 1e-5 * (i % 3), 5e-6 + 5e-10 * (i % 2), 700 + 0.1 * (i % 2),
                             2e-4 * (1 + 0.01 * (i % 2)));
    plot.resize(1000, 600);
    plot.ReplotNow();
    struct Case {
        QCPAxis* axis;
        double span; // at least, in data units or decades
    };
    for (const Case& c : {Case{plot.RtAxisCellTemp, 1.0}, Case{plot.RtAxisPumpCurrent, 1e-6},
                          Case{plot.YAxisPumpVoltage, 0.010}, Case{plot.RtAxisCellpO2, 0.5}}) {
        SCOPED_TRACE(c.axis->objectName().toStdString());
        const QCPRange r = c.axis->range();
        const double span = TDataPlot::AxisLogarithmic(c.axis) ? std::log10(r.upper / r.lower) : r.size();
        EXPECT_GE(span, c.span * (1 - 1e-9));
    }
    EXPECT_EQ(plot.RtAxisPumpCurrent->label(), QString::fromUtf8("Pump current, \u00B5A"));
    EXPECT_EQ(plot.YAxisPumpVoltage->label(), QStringLiteral("Pump voltage, mV"));
    const TTicks current = Ticks(plot.RtAxisPumpCurrent, plot.RtAxisPumpCurrent->range().lower,
                                 plot.RtAxisPumpCurrent->range().upper);
    EXPECT_TRUE(current.labels.contains(QStringLiteral("5.0")))
        << "µA on the ticks: " << QStringList(current.labels).join(' ').toStdString();
    EXPECT_EQ(plot.Readouts[2]->text(), QString::fromUtf8("I 5.000 \u00B5A"));
    EXPECT_EQ(plot.Readouts[1]->text(), QString::fromUtf8("T 700.0 \u00B0C"));
    EXPECT_EQ(plot.XAxisTime->label(), "Time, m");

    // Hours once the run is past three hours, days past three days; hover says the same unit.
    plot.AppendDataPoint(5 * 60, 0.25, 5e-6, 700, 2e-4);
    plot.ReplotNow();
    EXPECT_EQ(plot.XAxisTime->label(), "Time, h");
    const QString text =
        plot.HoverText(QPointF(plot.XAxisTime->coordToPixel(300) - 2, plot.axisRect()->center().y()));
    EXPECT_TRUE(text.startsWith(QStringLiteral("Time, h: 5.00")))
        << text.toStdString() << " " << plot.XAxisTime->range().upper;
    plot.AppendDataPoint(5 * 24 * 60, 0.25, 5e-6, 700, 2e-4);
    plot.ReplotNow();
    EXPECT_EQ(plot.XAxisTime->label(), "Time, d");
    const TTicks days = Ticks(plot.XAxisTime, plot.XAxisTime->range().lower, plot.XAxisTime->range().upper);
    EXPECT_TRUE(days.labels.contains(QStringLiteral("4"))) << "ticks on whole days";
}

namespace {
TDataRow ModeChangeRow(TProgramState state) {
    TDataRow row;
    row.Kind = TRowKind::ModeChange;
    row[TProperty::Mode] = double(state);
    return row;
}
TDataRow ProgramRow(TProgramState state, double step, double setpoint) {
    TDataRow row;
    row[TProperty::Mode] = double(state) + 10;
    if (step > 0) {
        row[TProperty::Step] = step;
        row[TProperty::SetPoint] = setpoint;
    }
    return row;
}
} // namespace

TEST_F(DataPlot, SetpointsAndMarksFollowTheRows) {
    // Rows as the grid gets them: the point goes to the plot first, then the row is noted.
    double minute = 0;
    const auto row = [&](const TDataRow& r, double pidSetpointLog = -3) {
        if (r.Kind == TRowKind::Data)
            plot.AppendDataPoint(++minute, 0.1, 1e-6, 700, 1e-3);
        plot.NoteRow(r, pidSetpointLog);
    };
    row(ModeChangeRow(TProgramState::PPS));
    for (int i = 0; i < 3; ++i)
        row(ProgramRow(TProgramState::PPS, 1, 0.1));
    for (int i = 0; i < 2; ++i)
        row(ProgramRow(TProgramState::PPS, 2, 0.2));
    row(ModeChangeRow(TProgramState::PIDSet));
    row(ProgramRow(TProgramState::PIDSet, 0, 0), -4);
    row(ProgramRow(TProgramState::PIDSet, 0, 0), -4);
    row(ModeChangeRow(TProgramState::PIDStep));
    row(ProgramRow(TProgramState::PIDStep, 1, -2));
    row(ProgramRow(TProgramState::PIDStep, 1, -2));
    row(ModeChangeRow(TProgramState::SetCurrent));
    row(ProgramRow(TProgramState::SetCurrent, 0, 0));

    struct Run {
        double from, to, value;
    };
    const auto runs = [&](int line) {
        std::vector<Run> out;
        for (const TDataPlot::TSetpointRun& r : plot.SetpointRuns(line))
            out.push_back({r.From, r.To, r.Value});
        return out;
    };
    // Each step's level from the end of the point before it to its own last point; a new mode
    // starts at the newest point when it was chosen; leaving the setpoint modes ends the line.
    const std::vector<Run> volts = runs(1);
    ASSERT_EQ(volts.size(), 2u);
    EXPECT_EQ(volts[0].from, 0.0);
    EXPECT_EQ(volts[0].to, 3.0);
    EXPECT_EQ(volts[0].value, 0.1);
    EXPECT_EQ(volts[1].from, 3.0);
    EXPECT_EQ(volts[1].to, 5.0);
    EXPECT_EQ(volts[1].value, 0.2);
    const std::vector<Run> pO2 = runs(0);
    ASSERT_EQ(pO2.size(), 2u);
    EXPECT_EQ(pO2[0].from, 5.0);
    EXPECT_EQ(pO2[0].to, 7.0);
    EXPECT_NEAR(pO2[0].value, 1e-4, 1e-16) << "PIDSet: the PID setpoint in force";
    EXPECT_EQ(pO2[1].from, 7.0);
    EXPECT_EQ(pO2[1].to, 9.0);
    EXPECT_NEAR(pO2[1].value, 1e-2, 1e-14) << "PIDStep: the row's setpoint";

    QStringList marks;
    std::vector<double> at;
    for (const TDataPlot::TMark& m : plot.Marks()) {
        marks << m.Label;
        at.push_back(m.Minutes);
    }
    EXPECT_EQ(marks,
              QStringList({"Mode: PPS", "Step 2", "Mode: PIDSet", "Mode: PIDStep", "Mode: SetCurrent"}));
    EXPECT_EQ(at, std::vector<double>({0, 3, 5, 7, 9}));
    QStringList legend = LegendCaptions();
    EXPECT_TRUE(legend.contains("pO2 setpoint, atm") && legend.contains("Voltage setpoint, V"));

    // The setpoint stays in view and a mark's label shows on hover.
    plot.resize(900, 500);
    plot.ReplotNow();
    EXPECT_GE(plot.YAxisPumpVoltage->range().upper, 0.2);
    EXPECT_GE(plot.RtAxisCellpO2->range().upper, 1e-2);
    const QString hover =
        plot.HoverText(QPointF(plot.XAxisTime->coordToPixel(3), plot.axisRect()->center().y()));
    EXPECT_TRUE(hover.startsWith("Step 2\n")) << hover.toStdString();

    // Deleting the oldest points takes the marks and setpoints before them along; clearing takes all.
    plot.DeleteFirstPoints(4);
    EXPECT_EQ(plot.Marks().size(), 3);
    EXPECT_EQ(plot.SetpointRuns(1).size(), 1);
    EXPECT_EQ(plot.SetpointRuns(1).front().From, 5.0);
    plot.ClearAllData();
    EXPECT_TRUE(plot.Marks().isEmpty() && plot.SetpointRuns(0).isEmpty() && plot.SetpointRuns(1).isEmpty());
    EXPECT_TRUE(LegendCaptions().isEmpty());
}

TEST(PlotScale, StackedBandsPlaceEachQuantityInItsOwnPanel) {
    struct Case {
        QCPRange data;
        int band, bands;
        bool log;
    };
    const Case cases[] = {
        {{699.5, 700.5}, 0, 4, false}, {{699.5, 700.5}, 3, 4, false}, {{4.5e-6, 5.5e-6}, 1, 3, false},
        {{1e-5, 1e-3}, 0, 2, true},    {{1e-5, 1e-3}, 1, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.band);
        const QCPRange axis = TPlotScale::InBand(c.data, c.band, c.bands, c.log);
        // Where the data's ends sit, as fractions of the height from the bottom.
        const auto at = [&](double v) {
            return c.log ? std::log10(v / axis.lower) / std::log10(axis.upper / axis.lower)
                         : (v - axis.lower) / axis.size();
        };
        const double bottom = double(c.bands - 1 - c.band) / c.bands, top = bottom + 1.0 / c.bands;
        EXPECT_GT(at(c.data.lower), bottom);
        EXPECT_LT(at(c.data.upper), top);
        EXPECT_GT(at(c.data.upper) - at(c.data.lower), 0.9 / c.bands) << "the data fill their panel";
    }
}

TEST_F(DataPlot, StackedPanelsKeepTheirQuantitiesApartAndTheirTicksInside) {
    for (int i = 0; i < 30; ++i)
        plot.AppendDataPoint(i, 0.25 + 0.01 * (i % 2), 5e-6, 700 + 0.1 * (i % 2), 1e-3);
    plot.resize(900, 700);
    EditSettings([](TPlotSettingsDialog& d) { d.CheckBoxStacked->setChecked(true); });
    ASSERT_TRUE(plot.Stacked());
    // Top to bottom: pO2, current, voltage, temperature, each within its quarter of the height.
    const QList<QCPAxis*> order = {plot.RtAxisCellpO2, plot.RtAxisPumpCurrent, plot.YAxisPumpVoltage,
                                   plot.RtAxisCellTemp};
    const QList<QCPGraph*> series = {plot.RtLineSeriesCellpO2, plot.RtLineSeriesPumpCurrent,
                                     plot.RtLineSeriesPumpVoltage, plot.RtLineSeriesCellTemp};
    const double top = plot.axisRect()->top(), height = plot.axisRect()->height();
    for (int k = 0; k < order.size(); ++k) {
        SCOPED_TRACE(order[k]->objectName().toStdString());
        const QCPRange data = plot.AxisDataRange(order[k]);
        for (const double v : {data.lower, data.upper}) {
            const double y = (order[k]->coordToPixel(v) - top) / height;
            EXPECT_GE(y, k / 4.0 - 1e-9);
            EXPECT_LE(y, (k + 1) / 4.0 + 1e-9);
        }
        const TPoints drawn = Points(series[k]);
        EXPECT_TRUE(data.contains(drawn.front().second) && data.contains(drawn.back().second));
        const TTicks t = Ticks(order[k], order[k]->range().lower, order[k]->range().upper);
        ASSERT_FALSE(t.ticks.isEmpty());
        for (const double tick : t.ticks)
            EXPECT_TRUE(tick >= data.lower && tick <= data.upper) << tick;
    }
    EXPECT_GE(plot.AxisDataRange(plot.RtAxisCellTemp).size(), 1.0) << "the minimum span holds in a panel";
    // The dialog shows what each panel shows, and a fixed range stays the operator's through
    // stacking and back.
    EditSettings([&](TPlotSettingsDialog& d) {
        EXPECT_NEAR(d.Row(plot.RtAxisCellTemp).Minimum->Value(),
                    plot.AxisDataRange(plot.RtAxisCellTemp).lower, 1e-3);
        d.Row(plot.RtAxisCellTemp).Automatic->setChecked(false);
        d.Row(plot.RtAxisCellTemp).Minimum->SetValue(690);
        d.Row(plot.RtAxisCellTemp).Maximum->SetValue(710);
    });
    EXPECT_EQ(plot.AxisDataRange(plot.RtAxisCellTemp), QCPRange(690, 710));
    EditSettings([](TPlotSettingsDialog& d) { d.CheckBoxStacked->setChecked(false); });
    EXPECT_EQ(plot.RtAxisCellTemp->range(), QCPRange(690, 710));
    EXPECT_EQ(plot.AxisDataRange(plot.RtAxisPumpCurrent), plot.RtAxisPumpCurrent->range());
}
