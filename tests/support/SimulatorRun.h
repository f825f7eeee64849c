#pragma once
// The cell simulator inside a test process: started on fresh pseudo-terminals, without the
// control FIFO and, unless a test wants it, without noise.
#include "simulator/CellSimulator.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

inline TSimOptions QuietSimulatorOptions() {
    TSimOptions o;
    o.controlFifo = false;
    o.cell.noise = false;
    return o;
}

// A running simulator, or nullptr after recording the failure to start.
inline std::unique_ptr<TCellSimulator> StartSimulator(const TSimOptions& options = QuietSimulatorOptions()) {
    auto sim = std::make_unique<TCellSimulator>(options);
    std::string error;
    if (!sim->Start(error)) {
        ADD_FAILURE() << "the simulator did not start: " << error;
        return nullptr;
    }
    return sim;
}
