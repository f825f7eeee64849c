#pragma once
// What the multimeter worker and its results step share, and nothing else: the pause the tick
// asks for and the one the results step has taken over (which the loop obeys), and the operator's
// cell temperature override and fast mode, taken over by each results step for the next cycle.
#include <atomic>
#include <cstdint>

struct TCellHandOver {
    std::atomic<bool> ToPauseEx{false};      // set by the tick and the validation
    std::atomic<bool> ToPause{true};         // set by the results step
    std::atomic<double> CTO{0};              // the cell temperature override, ºC
    std::atomic<bool> FastLogic{false};      // fast mode on
    std::atomic<std::int32_t> FastCount{10}; // fast mode reads the temperatures every FastCount cycles
};
