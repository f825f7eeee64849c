#pragma once
// The program's window on the simulated cell as a test fixture: a program folder of the test's own,
// scripted dialogs, the simulator, the window on the simulator's two ports (both instruments
// validate at start and the run waits, paused), a mode chosen as the operator chooses it, and at the
// end the close as the operator closes. Base is ::testing::Test, or ::testing::TestWithParam<T>
// for a test run once per parameter.
#include "app/ExperimentControlPage.h"
#include "app/TRtDoubleEdit.h"
#include "app/TfrmOndrix.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGridModel.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/SimulatedWindow.h"
#include "tests/support/SimulatorRun.h"
#include "tests/support/TempFolder.h"

#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

template <class Base = ::testing::Test> class WindowOnSimulatorTest : public Base {
protected:
    WindowOnSimulatorTest() { SetDialogs(dialogs); }
    void TearDown() override {
        CloseWindow(w, *dialogs); // stops both workers, waiting with the window's events flowing
        if (sim)
            sim->Stop();
        SetDialogs(nullptr);
    }

    // The simulator on fresh pseudo-terminals, quiet unless `options` say otherwise.
    void StartSimulatedCell(const TSimOptions& options = QuietSimulatorOptions()) {
        sim = StartSimulator(options);
        ASSERT_TRUE(sim);
    }
    // The window on the simulator's ports, with the simulated sensor's calibration and data points
    // of `pointSeconds`.
    void OpenWindow(double pointSeconds) {
        w = OpenSimulatedWindow(*sim, pointSeconds);
        ASSERT_EQ(w->Run().ProgramState, TProgramState::Paused)
            << "both simulated instruments validate at start";
    }
    // A mode button clicked, its question answered Yes.
    void ChooseMode(QRadioButton* button) {
        dialogs->answers = {true};
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // A galvanostatic run at `microA`.
    void StartGalvanostatic(int microA) {
        w->ExperimentControl->RtIntegerEditCurrentmA->SetValue(microA);
        ChooseMode(w->ExperimentControl->RadioButtonModePassive);
        ASSERT_EQ(w->Run().ProgramState, TProgramState::SetCurrent);
    }

    int Rows() const { return w->DataGrid->RowCount(); }
    QString Cell(int row, TProperty p) const { return w->DataGrid->Cell(row, ColumnOf(p)); }

    TTempProgramFolder folder;
    std::shared_ptr<TScriptedDialogs> dialogs = std::make_shared<TScriptedDialogs>();
    std::unique_ptr<TCellSimulator> sim;
    std::unique_ptr<TfrmOndrix> w;
};
