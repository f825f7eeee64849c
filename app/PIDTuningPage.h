#pragma once
// The "PID tuning" page. The operator keeps a short list of rows, one per -log10(pO2) of his
// choice, with the gains P, I, D, the pump current limit and a note; the page draws the rows as
// points and four smoothing curves through them, and a build samples the curves into the PID
// controller's 10000-row table (the run's PID) and enables the two PID modes. The list is saved to
// and loaded from text files in the folder "PID"; a test box shows the curves' values at one
// -log10(pO2), and a button lists the built table on the Debug page.
//
// The list is the experiment's (TExperimentModel::PIDList): the page's edits change it there, and
// the list box shows it line for line. Line 2 of the list and the elasticity box are two separate
// copies of the elasticity: a loaded file sets only line 2, a row click copies line 2 into the box, "Apply or
// Add" writes the box into line 2, and every build uses the box.
#include "control/TPIDListContent.h"
#include "control/TPIDListFile.h"
#include "control/TPIDTable.h"

#include <QStringList>
#include <QWidget>

class QCPGraph;
class QCustomPlot;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class TRtDoubleEdit;
class TRtIntegerEdit;
class TExperimentModel;
struct TRunState;

class TPIDTuningPage : public QWidget {
    Q_OBJECT
public:
    explicit TPIDTuningPage(QWidget* parent = nullptr);

    // The window's controls the page works on: the mode buttons "PID, setpoint" and "PPID, step
    // program", which the first successful build enables, and the Debug page's memo that "PID to
    // Debug log" fills. Either may be left null.
    void SetModeButtons(QRadioButton* pidSet, QRadioButton* pidStep);
    void SetDebugMemo(QPlainTextEdit* memo);
    // The experiment whose PID list the page shows and edits, and whose run's PID controller a
    // build fills; without one the page shows no list and a build fills nothing.
    void SetModel(TExperimentModel* model);

    // Replaces the list by the lines of a PID file, without building (start-up loads
    // "PID/Default.txt" this way). A file that cannot be read is reported and leaves the list as it
    // was; returns false then.
    bool LoadList(const QString& path);

    // Builds the controller's table from the list: reads the rows into the curves, redraws the
    // plot, runs the test once and samples the curves into PID->Calibration, then enables the PID
    // modes. A row that cannot be read or too few distinct -log10(pO2) values end the build with a
    // message; the table then keeps its previous contents. True when the table was built.
    bool BuildTable();

    // The test box: the curves' values at the -log10(pO2) of RtDoubleEdit1 into Memo2.
    void Test();

    // The list's lines as they stand.
    QStringList Lines() const;
    const TPIDListContent& List() const;
    // The list index of the selected line, or -1.
    int SelectedIndex() const;

    // Handlers of the page's controls.
    void ButtonPIDApplyClick();
    void ButtonPIDDeleteLastClick();
    void ButtonDeselectClick();
    void ListBox1Click();
    void ButtonPIDSaveAsClick();
    void ButtonPIDLoadClick();
    void ButtonTabPIDClick();

    TPIDTable& Table() { return fTable; }

    QListWidget* ListBox1;
    TRtIntegerEdit* RtIntegerEditPIDPO2;
    TRtIntegerEdit* RtIntegerEditPIDP;
    TRtIntegerEdit* RtIntegerEditPIDI;
    TRtIntegerEdit* RtIntegerEditPIDD;
    TRtIntegerEdit* RtIntegerEditPIDA;
    QLineEdit* EditPIDNotes;
    TRtDoubleEdit* RtDoubleEdit2; // elasticity
    QPushButton* ButtonPIDApply;
    QPushButton* ButtonPIDDeleteLast;
    QPushButton* ButtonDeselect;
    QPushButton* ButtonPIDSaveAs;
    QPushButton* ButtonPIDLoad;
    QPushButton* ButtonTabPID;
    TRtDoubleEdit* RtDoubleEdit1; // test -log10(pO2)
    QPlainTextEdit* Memo2;
    QCustomPlot* RtGraph2D2;
    QCPGraph* RtInterpolation1; // P
    QCPGraph* RtInterpolation2; // I
    QCPGraph* RtInterpolation3; // D
    QCPGraph* RtInterpolation4; // current limit
    QCPGraph* RtPointSeries1;   // the rows' current limits

private:
    QWidget* BuildListGroup();
    QWidget* BuildTestGroup();
    QCustomPlot* BuildPlot();
    // The test's lines; throws as TPIDTable::Test.
    void RunTest();
    // Draws the curves and points from the vectors as they stand.
    void RefreshPlot();
    // The list changes in the experiment.
    void SetList(const TPIDListContent& list);
    // The list box shows the experiment's list; texts change in place, so the selected line stays
    // selected while it exists.
    void ShowList();
    TRunState* Run() const;
    void ListBox1CurrentRowChanged();

    TPIDTable fTable;
    TPIDListFile::TEncoding fEncoding = TPIDListFile::TEncoding::CodePage;
    QRadioButton* fPIDSet = nullptr;
    QRadioButton* fPIDStep = nullptr;
    QPlainTextEdit* fDebugMemo = nullptr;
    TExperimentModel* fModel = nullptr;
};
