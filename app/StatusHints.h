#pragma once
// Help for an operator's first hour: until the "PID tuning" page has built the PID table, the
// greyed PID buttons say that opening that page builds it, and PS and PPS say that the pump
// current is limited to 1 µA until then; in PS or PPS without a table the mode pane says so too
// (its text comes from TRunStatus, which adds ModePaneHint).
#include "control/TRunState.h"

#include <QString>

class TfrmOndrix;

class TStatusHints {
public:
    // The mode buttons' tooltips, at every refresh of the status bar.
    static void Apply(TfrmOndrix& window);

    static QString PIDButtonHint();
    static QString CurrentLimitHint();
    // What the mode pane adds to its caption, or nothing.
    static QString ModePaneHint(TProgramState state, bool pidTableBuilt);
};
