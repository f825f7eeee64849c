// Instrument links that heal themselves: for each fault the simulator can put on an instrument,
// a galvanostatic run names the fault in the status bar while it lasts, drops the point it would
// have spoilt, and delivers rows again within 35 s of the fault's end, without anybody touching
// the program.
#include "app/ExperimentControlPage.h"
#include "app/ExperimentDataPage.h"
#include "app/SharedState.h"
#include "app/StatusPane.h"
#include "app/TRtDoubleEdit.h"
#include "app/TfrmOndrix.h"
#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "common/Synchronize.h"
#include "diagnostics/LogChannel.h"
#include "instruments/TLinkMonitor.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGridModel.h"
#include "simulator/CellSimulator.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/SimulatedWindow.h"
#include "tests/support/SimulatorRun.h"
#include "tests/support/TempFolder.h"

#include <QDeadlineTimer>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

bool WaitFor(const std::function<bool()>& done, int seconds) {
    return WaitForEvents(done, seconds);
}

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
};

class LinkHealing : public ::testing::TestWithParam<TInstrumentId> {
protected:
    void SetUp() override {
        sim = StartSimulator();
        ASSERT_TRUE(sim);
        dialogs = std::make_shared<TScriptedDialogs>();
        SetDialogs(dialogs);
        w = OpenSimulatedWindow(*sim, 1);
        ASSERT_EQ(ProgramState, TProgramState::Paused);
        w->ExperimentControl->RtIntegerEditCurrentmA->SetValue(2);
        QTest::mouseClick(w->ExperimentControl->RadioButtonModePassive, Qt::LeftButton);
        ASSERT_EQ(ProgramState, TProgramState::SetCurrent);
        ASSERT_TRUE(WaitFor([&] { return w->DataGrid->RowCount() >= 4; }, 60));
    }
    void TearDown() override {
        CloseWindow(w, *dialogs);
        if (sim)
            sim->Stop();
        SetDialogs(nullptr);
        ResetSharedState();
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

    std::unique_ptr<TCellSimulator> sim;
    std::shared_ptr<TScriptedDialogs> dialogs;
    std::unique_ptr<TfrmOndrix> w;
};

TEST_P(LinkHealing, EachFaultIsNamedAndHealsWithoutTheOperator) {
    const TInstrumentId id = GetParam();
    const QString name = id == TInstrumentId::Smu ? QStringLiteral("SMU: ") : QStringLiteral("DMM: ");
    for (const TFaultCase& c : kCases) {
        SCOPED_TRACE(c.what);
        const int firstRow = w->DataGrid->RowCount();
        c.apply(*sim, id, true);
        const QDateTime faultStart = QDateTime::currentDateTime();
        // Named in red with the invalid image while it lasts.
        EXPECT_TRUE(WaitFor([&] { return Status().startsWith(name); }, 20)) << Status().toStdString();
        EXPECT_TRUE(Status().contains(QLatin1String(c.reason))) << Status().toStdString();
        EXPECT_EQ(w->RzGlyphStatus1->ImageIndex(), 0);
        // Long enough for the set-up sequence to go out at least once.
        EXPECT_TRUE(WaitFor([&] { return Status().contains(QStringLiteral("re-initialising")); }, 20))
            << Status().toStdString();
        c.apply(*sim, id, false);
        const QDateTime faultEnd = QDateTime::currentDateTime();

        // Rows again within 35 s, and the status back to the specified text.
        ASSERT_TRUE(WaitFor(
            [&] {
                const int last = w->DataGrid->RowCount() - 1;
                return last >= firstRow && DateOf(last) > faultEnd &&
                       Status() == QStringLiteral("Valid instruments");
            },
            35))
            << Status().toStdString();
        EXPECT_EQ(w->RzGlyphStatus1->ImageIndex(), 2);

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

INSTANTIATE_TEST_SUITE_P(Instruments, LinkHealing, ::testing::Values(TInstrumentId::Smu, TInstrumentId::Dmm),
                         [](const auto& info) {
                             return info.param == TInstrumentId::Smu ? std::string("SMU")
                                                                     : std::string("DMM");
                         });

} // namespace
