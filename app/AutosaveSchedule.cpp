#include "app/AutosaveSchedule.h"

void TAutosaveSchedule::Observe(TDateTime lastSaveTime, double nowMonotonic) {
    if (lastSaveTime != fSeenSaveTime) {
        fSeenSaveTime = lastSaveTime;
        fSavedAt = nowMonotonic;
    }
}

bool TAutosaveSchedule::Due(TDateTime lastSaveTime, double nowMonotonic) {
    Observe(lastSaveTime, nowMonotonic);
    return lastSaveTime == 0 || nowMonotonic - fSavedAt > kIntervalS;
}
