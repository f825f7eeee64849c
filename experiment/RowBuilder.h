#pragma once
// Turns each completed data point into a row of the data grid and points of the time plot, works
// out the pump-side pO2 estimates, the range and stability flags of the row, and advances a step
// program when the row says the cell has settled. Also the two delete buttons of the Debug page.
//
// It reads the run state it is given (the queue of completed points, the program state and step,
// the relative-change criterion, the experiment's start) and reaches the window only through
// TRowBuilderLinks, so it runs without one.
#include "control/TRunState.h"
#include "experiment/StepStatus.h"
#include "recording/DataRow.h"

#include <QString>
#include <functional>

class TDataGridModel;
class IRowPlot;

// What the row builder needs of the window. Every callback may be empty: it then reads as false or
// zero, or does nothing.
struct TRowBuilderLinks {
    IRowPlot* Plot = nullptr;                           // RtGraph2D1; no plot points without it
    std::function<double()> FlushGaspO2;                // the cell details' flush gas pO2
    std::function<bool()> RCAppliesToCurrent;           // the cell details' stability rule
    std::function<double()> CurrentFloorMicroA;         // the current's floor of change, µA
    std::function<bool()> AutoScroll;                   // the grid view follows new rows
    std::function<void()> ScrollToLastRow;              // makes the grid's last row current
    std::function<void(const QString&)> SetFlushStatus; // caption of RzStatusPaneFlushpO2
    std::function<void()> Save;                         // the data-file save of a step advance
    std::function<void(int)> RowCompleted;              // a row has all its cells (the journal)
    std::function<void()> AdvanceStep;                  // the run's next step; counted here without it
    TStepStatus* StepStatus = nullptr;                  // told the criteria of each program row
};

class TRowBuilder {
public:
    // Builds the points of `run` into `grid`, from now on (rows it already holds included).
    TRowBuilder(TRunState& run, TDataGridModel& grid, TRowBuilderLinks links);

    // Builds one row per completed data point waiting in DataPointQueue, oldest first; does
    // nothing while none waits.
    void AddDataUpdates();

    // "Delete first 100 points of data": the first 101 points of every plot series; the grid stays.
    void DeleteFirstPoints();
    // "Clear all data graph and grid": every plot series, and the grid down to its caption row.
    void ClearAllData();

    // Whether the flags of a new row advance a step program: in PIDStep range, pO2 and (when the
    // criterion applies to the current) current stable; in PPS pO2 and current stable; otherwise no.
    // The flags are the row's.
    static bool StepAdvances(TProgramState state, const TDataRow& row, bool rcAppliesToCurrent);
    static bool StepAdvances(TProgramState state, const TStepCriteria& criteria, bool rcAppliesToCurrent);

    // The advance criteria of a row. The current holds when its Stable I is "True", or, not at its
    // limit, when its fitted absolute change over the relative-change window (`currentChangeA`, A)
    // is below `floorA`: near zero a relative change means nothing (a current relaxing through zero
    // swings it between large values of both signs), while a change of a few nA over the window
    // means the cell has settled. A floor of 0 leaves Stable I alone to decide.
    static TStepCriteria Criteria(const TDataRow& row, double currentChangeA, double floorA);

private:
    void Build(const TDataPoint& p);
    // Whether the rows measured under the point's step, in the current run of rows, reach back
    // far enough for the fit to see nothing but that step.
    bool StepHasEvidence(const TDataPoint& p, int row);

    TRunState& fRun;
    TDataGridModel& fGrid;
    TRowBuilderLinks fLinks;
    bool fBuilding = false;
    // The step whose rows are being followed: mode, step and the Duration of its first row.
    std::int32_t fStepMode = -1;
    std::int32_t fStepIndex = -1;
    double fStepFirstTime = 0;
};
