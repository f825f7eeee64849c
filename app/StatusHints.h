#pragma once
// Help for an operator's first hour, laid over the status bar and the mode buttons at every
// refresh:
// - until the "PID tuning" page has built the PID table, the greyed PID buttons say that opening
//   that page builds it, and PS and PPS say that the pump current is limited to 1 µA until then;
//   in PS or PPS without a table the mode pane says so too;
// - while paused the temperature pane reads "paused" rather than a stale or zero temperature;
// - the relative-change pane stays empty until a data row carries a relative change.
#include "control/TRunState.h"

#include <QString>

class TfrmOndrix;

class TStatusHints {
public:
    // Runs after the status bar's own refresh.
    static void Apply(TfrmOndrix& window);

    static QString PIDButtonHint();
    static QString CurrentLimitHint();
    // What the mode pane adds to its caption, or nothing.
    static QString ModePaneHint(TProgramState state, bool pidTableBuilt);
};
