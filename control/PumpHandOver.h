#pragma once
// What the SourceMeter worker and its results step share, and nothing else: the mode the tick
// asks for, the mode the results step integrates in, and the newest source command it decided.
// The worker reads the command at the start of each cycle and the integrating mode when it leaves.
#include "common/LatestValue.h"
#include "control/PumpCommand.h"
#include "control/TRunState.h"

#include <atomic>

struct TPumpHandOver {
    std::atomic<TMode> ModeEx{TMode::Uninitialized};  // set by the tick and the validation
    std::atomic<TMode> ModeIntegrator{TMode::Paused}; // set by the results step
    TLatestValue<TPumpCommand> Command;               // set by the results step, taken by the loop
};
