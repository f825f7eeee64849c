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

TDateTime Now();
double MonotonicSeconds();

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
