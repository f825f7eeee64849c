#pragma once
// Why the running step of a step program waits: how long it has run and which of its advance
// criteria hold on its latest row. The row builder reports each judged row; the window shows the
// text in the status bar and on the step list's running row.
#include "control/TRunState.h"

#include <QString>
#include <optional>

// The advance criteria as one data row judged them.
struct TStepCriteria {
    bool InRange = false;       // sensor pO2 within the threshold of the setpoint (PIDStep)
    bool PO2Stable = false;     // Stable pO2
    bool CurrentStable = false; // Stable I, or a current near zero whose change is below the floor
};

// The criteria of the running step as they are shown; a criterion that does not apply in its mode
// is absent.
struct TShownCriteria {
    std::optional<bool> InRange;
    std::optional<bool> PO2Stable;
    std::optional<bool> CurrentStable;
};

class TStepStatus {
public:
    // Follows the program: a new step, or a new program, starts the step's clock (the monotonic
    // clock) and forgets the criteria of the step before. Outside PIDStep and PPS, or past the last
    // row, no step runs.
    void Follow(TProgramState state, int step, int stepCount);
    // The criteria of a row measured under `step` of `state`; ignored unless that step runs.
    void Judged(TProgramState state, int step, const TStepCriteria& criteria);

    bool Running() const { return fRunning; }
    // Seconds the running step has run; 0 when none runs.
    double StepSeconds() const;
    const TStepCriteria& Criteria() const { return fCriteria; }
    // The criteria that apply: the range only in PIDStep, the current in PIDStep only when the
    // criterion applies to it; all absent when no step runs. A step whose rows have not been
    // judged yet has every criterion not holding.
    TShownCriteria Shown(bool rcAppliesToCurrent) const;
    // "Step 3: 12:40 · range ✓ · pO2 stable ✓ · I stable ✗" with the criteria of Shown; empty when
    // no step runs.
    QString Text(bool rcAppliesToCurrent) const;
    // The same text for step `step` (1-based) that has run `seconds`, with the criteria given.
    static QString Text(int step, double seconds, const TShownCriteria& criteria);
    // "0:05", "12:40", "1:02:05": minutes and seconds, with hours once there are any.
    static QString Elapsed(double seconds);

private:
    bool fRunning = false;
    TProgramState fState = TProgramState::Uninitialized;
    int fStep = -1;
    double fStart = 0;
    TStepCriteria fCriteria;
};
