#pragma once
// The program's wall clock in days (TDateTime). Tests replace it with a settable time so autosave,
// day folders and integration times can be driven without waiting.
#include "common/DateTime.h"

TDateTime Now();

namespace Clock {
// Fixes the clock at `t` until Release(); Advance moves a fixed clock on.
void Fix(TDateTime t);
void AdvanceSeconds(double seconds);
void Release();
bool IsFixed();
} // namespace Clock
