// Whole runs of the program against the simulated cell, driven through the window as an operator
// would: validation at start, a mode chosen with its radio button, the real 250 ms tick, data
// rows, step advances and data files. The cell's physics runs faster than the clock; the
// instruments and the program run in real time.
#include "app/ExperimentControlPage.h"
#include "app/ExperimentDataPage.h"
#include "app/PIDTuningPage.h"
#include "app/StatusPane.h"
#include "app/TRtDoubleEdit.h"
#include "app/TfrmOndrix.h"
#include "common/NumberFormat.h"
#include "common/Synchronize.h"
#include "diagnostics/LogChannel.h"
#include "experiment/TExperimentModel.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGridModel.h"
#include "simulator/CellSimulator.h"
#include "tests/support/QtPrint.h"
#include "tests/support/Wait.h"
#include "tests/support/WindowOnSimulator.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

class EndToEnd : public WindowOnSimulatorTest<> {
protected:
    void StartCell(double speed, double initialpO2, const std::function<void(TSimCellParams&)>& cell = {}) {
        TSimOptions o = QuietSimulatorOptions();
        if (cell)
            cell(o.cell);
        o.cell.noise = true; // a cell as the operator sees it
        o.speed = speed;
        o.cell.initialpO2Atm = initialpO2;
        StartSimulatedCell(o);
    }
    // The window with points of 2 s, a named experiment and a 20 s relative-change window.
    void OpenWindow() {
        WindowOnSimulatorTest::OpenWindow(2);
        if (HasFatalFailure())
            return;
        TExperimentDataPage* d = w->ExperimentData;
        d->EditSampleName->setText(QStringLiteral("Run"));
        d->RtDoubleEditRCDuration->SetValue(20);
    }
    double Log10pO2(int row) const {
        double p = 0;
        return TryParseRegional(Cell(row, TProperty::CellpO2), p) && p > 0 ? std::log10(p) : NAN;
    }
    // The data rows of a step program's run (rows of `mode`), step by step in the order they came.
    struct TStepRows {
        QString step;
        QList<int> rows;
        double firstTime = 0, lastTime = 0;
    };
    QList<TStepRows> StepsOf(const char* mode) const {
        QList<TStepRows> steps;
        for (int r = 1; r < Rows(); ++r) {
            if (Cell(r, TProperty::Mode) != QLatin1String(mode))
                continue;
            double t = 0;
            TryParseRegional(Cell(r, TProperty::Time), t);
            if (steps.isEmpty() || steps.last().step != Cell(r, TProperty::Step)) {
                steps.append({Cell(r, TProperty::Step), {}, t, t});
                std::printf("step %s from %.1f s\n", qPrintable(Cell(r, TProperty::Step)), t);
            }
            steps.last().rows << r;
            steps.last().lastTime = t;
        }
        return steps;
    }
    QStringList DataFiles() const {
        QStringList files;
        QDir userdata(folder.file(QStringLiteral("Userdata")));
        for (const QString& day : userdata.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            for (const QString& f : QDir(userdata.filePath(day)).entryList(QDir::Files))
                if (!f.endsWith(QStringLiteral(".journal.csv")))
                    files << day + u'/' + f;
        return files;
    }
};

TEST_F(EndToEnd, GalvanostaticRunMakesDataRowsAndSavesAtOnce) {
    StartCell(1, 0.2095);
    OpenWindow();
    StartGalvanostatic(2);
    ASSERT_TRUE(WaitUntil([&] { return Rows() >= 5; }, 60000)) << "rows: " << Rows();
    // Row 1 is the marker row; data rows follow with mode 12 and the cell's readings.
    EXPECT_EQ(Cell(1, TProperty::Mode), "2");
    EXPECT_EQ(Cell(2, TProperty::Mode), "12");
    double temp = 0, current = 0;
    ASSERT_TRUE(TryParseRegional(Cell(3, TProperty::Temp), temp));
    EXPECT_NEAR(temp, 700, 2);
    ASSERT_TRUE(TryParseRegional(Cell(3, TProperty::PumpI), current));
    EXPECT_NEAR(current, 2e-6, 0.05e-6);
    EXPECT_NEAR(Log10pO2(3), std::log10(0.2095), 0.01);
    // The first tick in an active mode saves the data file at once.
    EXPECT_EQ(DataFiles().size(), 1) << DataFiles().join(u' ').toStdString();
}

TEST_F(EndToEnd, PPSStepProgramAdvancesOnItsOwn) {
    StartCell(1, 0.2095);
    OpenWindow();
    // With a PID table the pump current may reach what the voltages ask for (without one it is
    // held at 1 uA, and the pump voltage lags behind the step's).
    ASSERT_TRUE(QFile::copy(QStringLiteral(ONDRIX_SOURCE_DIR "/data/PID/Default.txt"),
                            folder.file(QStringLiteral("PID/Default.txt"))));
    ASSERT_TRUE(w->TabSheetPID->LoadList(folder.file(QStringLiteral("PID/Default.txt"))));
    w->PageControlMain->setCurrentWidget(w->TabSheetPID);
    w->ExperimentData->RtDoubleEditRCThreshold->SetValue(0.5);
    w->Model().SetStepProgram(w->Model().StepProgram().mid(0, 3));
    ChooseMode(w->ExperimentControl->RadioButtonPPS);
    ASSERT_EQ(w->Run().ProgramState, TProgramState::PPS);
    // Three steps, each ending when the last 20 s are flat; then galvanostatic at 0 µA.
    ASSERT_TRUE(WaitUntil([&] { return w->Run().ProgramState == TProgramState::SetCurrent; }, 240000))
        << "step " << w->Run().CurrentStep << ", rows " << Rows();
    EXPECT_EQ(w->Run().CurrentStep, 3);
    EXPECT_EQ(w->ExperimentControl->RtIntegerEditCurrentmA->Value(), 0);
    EXPECT_EQ(w->Run().GSCurrentMicroA, 0);
    const QList<TStepRows> seen = StepsOf("16");
    ASSERT_EQ(seen.size(), 3);
    const double mV[] = {45, 115, 227};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(seen[i].step, QString::number(i + 1));
        // Each step lasted until its own rows covered the relative-change window.
        EXPECT_GE(seen[i].lastTime - seen[i].firstTime, 20.0);
        // Every row says the voltage it was measured at.
        for (int r : seen[i].rows) {
            double sp = NAN, pumpV = NAN;
            ASSERT_TRUE(TryParseRegional(Cell(r, TProperty::SetPoint), sp)) << r;
            ASSERT_TRUE(TryParseRegional(Cell(r, TProperty::PumpV), pumpV)) << r;
            EXPECT_NEAR(sp, mV[i] / 1000, 1e-9) << "row " << r;
            // Steps lie 70 mV and more apart; the pump follows within its compliance.
            EXPECT_NEAR(pumpV, sp, 0.01) << "row " << r;
        }
    }
    // A file for the first tick of the run and one per advance.
    EXPECT_GE(DataFiles().size(), 4) << DataFiles().join(u' ').toStdString();
}

// A cell without leak or sample, whose holding current at each step's voltage dies away towards
// zero: with the current's floor at its default the program walks all its steps, and the status
// bar names each running step while it runs and nothing once the program has ended.
TEST_F(EndToEnd, APPSProgramOnACellWithoutLeakWalksItsStepsAndShowsEach) {
    StartCell(1, 0.2095, [](TSimCellParams& c) {
        c.leakAlpha = 0;
        c.sampleMassG = 0;
    });
    OpenWindow();
    ASSERT_TRUE(QFile::copy(QStringLiteral(ONDRIX_SOURCE_DIR "/data/PID/Default.txt"),
                            folder.file(QStringLiteral("PID/Default.txt"))));
    ASSERT_TRUE(w->TabSheetPID->LoadList(folder.file(QStringLiteral("PID/Default.txt"))));
    w->ExperimentData->RtDoubleEditRCThreshold->SetValue(0.5);
    ASSERT_DOUBLE_EQ(w->ExperimentData->RtDoubleEditRCCurrentFloor->Value(), 0.05);
    w->Model().SetStepProgram(w->Model().StepProgram().mid(0, 3));
    ChooseMode(w->ExperimentControl->RadioButtonPPS);
    ASSERT_EQ(w->Run().ProgramState, TProgramState::PPS);
    QStringList shown; // what the step pane said, once per change
    ASSERT_TRUE(WaitUntil(
        [&] {
            const QString text = w->RzStatusPaneStepStatus->Caption();
            if (!text.isEmpty() && (shown.isEmpty() || shown.last().left(7) != text.left(7)))
                shown << text;
            return w->Run().ProgramState == TProgramState::SetCurrent;
        },
        240000))
        << "step " << w->Run().CurrentStep << ", rows " << Rows() << ", " << shown.join(u'|').toStdString();
    EXPECT_EQ(w->Run().CurrentStep, 3);
    EXPECT_EQ(StepsOf("16").size(), 3);
    ASSERT_GE(shown.size(), 3) << shown.join(u'|').toStdString();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(shown[i].startsWith(QStringLiteral("Step %1: ").arg(i + 1))) << shown[i].toStdString();
    EXPECT_TRUE(w->RzStatusPaneStepStatus->isHidden()) << "no step runs after the program";
}

TEST_F(EndToEnd, ShippedPIDTableHoldsASetpointAndWalksAPPIDProgram) {
    StartCell(10, 1e-5);
    OpenWindow();
    ASSERT_TRUE(QFile::copy(QStringLiteral(ONDRIX_SOURCE_DIR "/data/PID/Default.txt"),
                            folder.file(QStringLiteral("PID/Default.txt"))));
    ASSERT_TRUE(w->TabSheetPID->LoadList(folder.file(QStringLiteral("PID/Default.txt"))));
    w->PageControlMain->setCurrentWidget(w->TabSheetPID); // showing the page builds the table
    ASSERT_TRUE(w->ExperimentControl->RadioButtonPIDSet->isEnabled());

    w->ExperimentControl->RtDoubleEditPISSP->SetValue(-6);
    ChooseMode(w->ExperimentControl->RadioButtonPIDSet);
    ASSERT_EQ(w->Run().ProgramState, TProgramState::PIDSet);
    // Settled: five data rows in a row within 0.05 decade of the setpoint.
    const auto settled = [&](double target) {
        int inside = 0;
        for (int r = Rows() - 1; r >= 1 && inside < 5; --r) {
            if (!(std::fabs(Log10pO2(r) - target) < 0.05))
                return false;
            ++inside;
        }
        return inside == 5;
    };
    ASSERT_TRUE(WaitUntil([&] { return settled(-6); }, 180000)) << "last log10(pO2) " << Log10pO2(Rows() - 1);

    // A three-step PPID program: -6.5, -7, -7.5, advancing when in range and flat.
    w->ExperimentData->RtDoubleEditRCThreshold->SetValue(2);
    w->Model().SetStepProgram({TStep::Make(1, -6.5, 0), TStep::Make(2, -7, 0), TStep::Make(3, -7.5, 0)});
    ChooseMode(w->ExperimentControl->RadioButtonPIDStep);
    ASSERT_EQ(w->Run().ProgramState, TProgramState::PIDStep);
    ASSERT_TRUE(WaitUntil([&] { return w->Run().ProgramState == TProgramState::SetCurrent; }, 300000))
        << "step " << w->Run().CurrentStep << ", last log10(pO2) " << Log10pO2(Rows() - 1);
    EXPECT_EQ(w->Run().CurrentStep, 3);
    EXPECT_EQ(w->Run().GSCurrentMicroA, 0);
    const QList<TStepRows> seen = StepsOf("15");
    ASSERT_EQ(seen.size(), 3);
    const double setpoints[] = {-6.5, -7, -7.5};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(seen[i].step, QString::number(i + 1));
        EXPECT_GE(seen[i].lastTime - seen[i].firstTime, 20.0);
        for (int r : seen[i].rows) {
            double sp = NAN;
            ASSERT_TRUE(TryParseRegional(Cell(r, TProperty::SetPoint), sp)) << r;
            EXPECT_EQ(sp, setpoints[i]) << "row " << r;
        }
    }
}

} // namespace
