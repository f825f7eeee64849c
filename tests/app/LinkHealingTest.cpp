// Instrument links that heal themselves: for each fault the simulator can put on an instrument,
// a galvanostatic run names the fault in the status bar while it lasts, drops the point it would
// have spoilt, and delivers rows again within 35 s of the fault's end, without anybody touching
// the program.
#include "app/ExperimentControlPage.h"
#include "app/ExperimentDataPage.h"
#include "app/StatusPane.h"
#include "app/TRtDoubleEdit.h"
#include "app/TfrmOndrix.h"
#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "common/Synchronize.h"
#include "diagnostics/EventLog.h"
#include "diagnostics/LogChannel.h"
#include "instruments/TLinkMonitor.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGridModel.h"
#include "simulator/CellSimulator.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowOnSimulator.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <random>

namespace {

struct TFaultCase {
    const char* what;
    std::function<void(TCellSimulator&, TInstrumentId, bool)> apply; // on / off
    const char* reason;                                              // in the status text
};

void Switch(TFault fault, TCellSimulator& sim, TInstrumentId id, bool on) {
    sim.SetFault(id, fault, on);
}

const TFaultCase kCases[] = {
    {"silent", [](auto& s, auto id, bool on) { Switch(TFault::Silent, s, id, on); }, "no reply"},
    {"garbage", [](auto& s, auto id, bool on) { Switch(TFault::Garbage, s, id, on); }, ""},
    {"slow", [](auto& s, auto id, bool on) { Switch(TFault::Slow, s, id, on); }, "no reply"},
    {"wrong fields", [](auto& s, auto id, bool on) { Switch(TFault::WrongFieldCount, s, id, on); }, ""},
    {"overflow", [](auto& s, auto id, bool on) { Switch(TFault::Overflow, s, id, on); }, "overflow"},
    {"vanished port", [](auto& s, auto id, bool on) { Switch(TFault::Vanished, s, id, on); }, ""},
    // Off for as long as the case lasts, then back with its power-on settings.
    {"power cycle", [](auto& s, auto id, bool on) { s.PowerCycle(id, on ? 600000 : 0); }, "no reply"},
};

// A galvanostatic run at 2 µA with points of 1 s, its first rows in.
class LinkHealing : public WindowOnSimulatorTest<::testing::TestWithParam<TInstrumentId>> {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartSimulatedCell());
        ASSERT_NO_FATAL_FAILURE(OpenWindow(1));
        ASSERT_NO_FATAL_FAILURE(StartGalvanostatic(2));
        ASSERT_TRUE(WaitUntil([&] { return Rows() >= 4; }, 60000));
    }
    QString Status() const { return w->RzGlyphStatus1->Caption(); }
    double CellOf(int row, TProperty p) const {
        double v = NAN;
        TryParseRegional(w->DataGrid->Cell(row, ColumnOf(p)), v);
        return v;
    }
    QDateTime DateOf(int row) const {
        return QDateTime::fromString(w->DataGrid->Cell(row, ColumnOf(TProperty::Date)),
                                     QStringLiteral("yyyy-MM-dd_HH:mm:ss:zzz"));
    }
};

TEST_P(LinkHealing, EachFaultIsNamedAndHealsWithoutTheOperator) {
    const TInstrumentId id = GetParam();
    const QString name = id == TInstrumentId::Smu ? QStringLiteral("SMU: ") : QStringLiteral("DMM: ");
    for (const TFaultCase& c : kCases) {
        SCOPED_TRACE(c.what);
        const int firstRow = w->DataGrid->RowCount();
        const qsizetype firstEvent = EventLogLinesOfThisRun().size();
        c.apply(*sim, id, true);
        const QDateTime faultStart = QDateTime::currentDateTime();
        // Named in red with the invalid image while it lasts.
        EXPECT_TRUE(WaitUntil([&] { return Status().startsWith(name); }, 20000)) << Status().toStdString();
        EXPECT_TRUE(Status().contains(QLatin1String(c.reason))) << Status().toStdString();
        EXPECT_EQ(w->RzGlyphStatus1->ImageIndex(), 0);
        // Long enough for the set-up sequence to go out at least once.
        EXPECT_TRUE(WaitUntil([&] { return Status().contains(QStringLiteral("re-initialising")); }, 20000))
            << Status().toStdString();
        c.apply(*sim, id, false);
        const QDateTime faultEnd = QDateTime::currentDateTime();

        // Rows again within 35 s, and the status back to the specified text.
        ASSERT_TRUE(WaitUntil(
            [&] {
                const int last = w->DataGrid->RowCount() - 1;
                return last >= firstRow && DateOf(last) > faultEnd &&
                       Status() == QStringLiteral("Valid instruments");
            },
            35000))
            << Status().toStdString();
        EXPECT_EQ(w->RzGlyphStatus1->ImageIndex(), 2);

        // The event log holds the fault's start and end.
        const QStringList events = EventLogLinesOfThisRun().mid(firstEvent);
        const QString source = u'\t' + name.chopped(2) + u'\t';
        EXPECT_TRUE(std::any_of(events.begin(), events.end(), [&](const QString& e) {
            return e.contains(source) && e.contains(QStringLiteral(" since "));
        })) << events.join(u'\n').toStdString();
        EXPECT_TRUE(std::any_of(events.begin(), events.end(), [&](const QString& e) {
            return e.contains(source) && e.contains(QStringLiteral("readings back"));
        })) << events.join(u'\n').toStdString();

        // No row holds a value of the fault, and none spans the outage.
        for (int r = firstRow; r < w->DataGrid->RowCount(); ++r) {
            SCOPED_TRACE(r);
            EXPECT_LT(CellOf(r, TProperty::Interval), 3.0) << "a point across the outage";
            EXPECT_NEAR(CellOf(r, TProperty::PumpI), 2e-6, 0.1e-6);
            EXPECT_NEAR(CellOf(r, TProperty::Temp), 700, 5);
            const QDateTime d = DateOf(r);
            EXPECT_FALSE(d > faultStart.addSecs(5) && d < faultEnd) << "a row during the fault";
        }
    }
}

// Faults switched at random on both instruments for a bounded stretch of wall time: the program
// stays responsive, rows flow again afterwards, and no row comes out of order.
using LinkSoak = LinkHealing;
TEST_P(LinkSoak, RandomFaultsOnBothInstruments) {
    const qsizetype firstEvent = EventLogLinesOfThisRun().size();
    std::mt19937 random(20261210);
    const TFault faults[] = {TFault::Silent,          TFault::Garbage,  TFault::Slow,
                             TFault::WrongFieldCount, TFault::Overflow, TFault::Vanished};
    QElapsedTimer soak;
    soak.start();
    int switches = 0;
    while (soak.elapsed() < 75000) {
        const TInstrumentId id = random() % 2 ? TInstrumentId::Smu : TInstrumentId::Dmm;
        const TFault fault = faults[random() % 6];
        sim->SetFault(id, fault, !sim->Faults(id).Get(fault));
        ++switches;
        // The window answers throughout: a queued call runs within a second.
        bool answered = false;
        QTimer::singleShot(0, [&] { answered = true; });
        EXPECT_TRUE(WaitUntil([&] { return answered; }, 1000));
        WaitUntil([] { return false; }, int(2 + random() % 5) * 1000);
    }
    sim->ClearFaults(TInstrumentId::Smu);
    sim->ClearFaults(TInstrumentId::Dmm);
    const QDateTime cleared = QDateTime::currentDateTime();
    ASSERT_TRUE(WaitUntil(
        [&] {
            const int last = w->DataGrid->RowCount() - 1;
            return DateOf(last) > cleared && Status() == QStringLiteral("Valid instruments");
        },
        35000))
        << Status().toStdString() << " after " << switches << " switches";

    // Every fault that became one was logged with its end: as many starts as ends, per instrument.
    const QStringList events = EventLogLinesOfThisRun().mid(firstEvent);
    for (const QString& source : {QStringLiteral("\tSMU\t"), QStringLiteral("\tDMM\t")}) {
        const auto count = [&](const QString& what) {
            return std::count_if(events.begin(), events.end(),
                                 [&](const QString& e) { return e.contains(source) && e.contains(what); });
        };
        EXPECT_EQ(count(QStringLiteral(" since ")), count(QStringLiteral("readings back")))
            << events.join(u'\n').toStdString();
    }
    EXPECT_GT(events.size(), 0);

    QDateTime previous;
    for (int r = 2; r < w->DataGrid->RowCount(); ++r) {
        const QDateTime d = DateOf(r);
        ASSERT_TRUE(d.isValid()) << r;
        EXPECT_GE(d, previous) << "row " << r << " out of order";
        EXPECT_LT(CellOf(r, TProperty::Interval), 3.0) << "row " << r << " spans an outage";
        previous = d;
    }
}

INSTANTIATE_TEST_SUITE_P(Instruments, LinkHealing, ::testing::Values(TInstrumentId::Smu, TInstrumentId::Dmm),
                         [](const auto& info) {
                             return info.param == TInstrumentId::Smu ? std::string("SMU")
                                                                     : std::string("DMM");
                         });

// One soak covers both instruments.
INSTANTIATE_TEST_SUITE_P(Instruments, LinkSoak, ::testing::Values(TInstrumentId::Smu));

} // namespace
