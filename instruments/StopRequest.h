#pragma once
// The stop request a worker shares with its results step: the main thread asks (Asked), the
// results step takes the request over on the main thread (Taken), and the worker's loop reads both.
#include <atomic>

struct TStopRequest {
    std::atomic<bool> Asked{false};
    std::atomic<bool> Taken{false};

    // The results step takes the request over; a worker may end its loop on that alone.
    void Take() { Taken.store(Asked.load()); }
    bool Any() const { return Taken.load() || Asked.load(); }
};
