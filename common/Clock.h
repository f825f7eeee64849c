#pragma once
// The program's two clocks.
//  - Now(): local wall-clock time in days (TDateTime), for what a person reads: the Time column,
//    day folders, file names, log lines. It jumps when daylight saving starts or ends and when the
//    system time is corrected.
//  - MonotonicSeconds(): seconds on a clock that never jumps, for every duration the program
//    measures (Duration, Interval, point integration, the relative-change fits, autosave, the link
//    watch). Only differences of it mean anything.
// Tests replace both with a settable time so autosave, day folders and integration times can be
// driven without waiting, and so a wall-clock jump can be made without moving the monotonic clock.
#include "common/DateTime.h"

#include <cstdint>

TDateTime Now();
double MonotonicSeconds();

// The wall clock read together with its offset from UTC at that moment (s, local minus UTC):
// Local less the offset is the UTC instant, which runs on evenly through the hour that repeats
// when daylight saving ends. While the clock is fixed, the offset is the sum of the wall-only
// steps, so the fixed clock's UTC instants follow its monotonic clock.
struct TWallTime {
    TDateTime Local = 0;
    std::int32_t UtcOffsetS = 0;
};
TWallTime NowWithOffset();

namespace Clock {
// Fixes the wall clock at `t` until Release(). While fixed, the monotonic clock follows the wall
// clock's moves made by Fix and AdvanceSeconds, but not those made by StepWallSeconds.
void Fix(TDateTime t);
// Moves both fixed clocks on.
void AdvanceSeconds(double seconds);
// Moves only the fixed wall clock (a daylight-saving change, an NTP step): the monotonic clock
// stays where it is.
void StepWallSeconds(double seconds);
void Release();
bool IsFixed();
} // namespace Clock
