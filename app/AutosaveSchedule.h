#pragma once
// When the supervisory tick autosaves: 30 minutes after the last save of any kind (autosave, step
// advance, the operator's), counted on the monotonic clock, so a daylight-saving change or a
// correction of the system time neither holds a save back nor brings it forward.
//
// A save shows itself by a new LastSaveTime (the wall-clock time the save sets); the schedule takes
// the monotonic time at which it first sees that value. LastSaveTime 0 means nothing was saved yet,
// and a save is due at once.
#include "common/DateTime.h"

class TAutosaveSchedule {
public:
    static constexpr double kIntervalS = 30 * 60;

    // Takes note of a save made since the last call (lastSaveTime changed) at `nowMonotonic` (s).
    void Observe(TDateTime lastSaveTime, double nowMonotonic);
    // Observe, then whether a save is due: never saved, or more than 30 minutes since the last.
    bool Due(TDateTime lastSaveTime, double nowMonotonic);

private:
    TDateTime fSeenSaveTime = 0;
    double fSavedAt = 0; // monotonic s of the last save seen
};
