#pragma once
// Text of the titration's CSV files: numbers with a point and ten significant digits, far more than
// any measured input carries (an empty field for NaN, which pandas reads as NaN), and local times
// in ISO 8601 (2024-03-15T14:05:09.042).
#include "common/DateTime.h"

#include <string>

void AppendCsvNumber(std::string& out, double value);
void AppendIsoTime(std::string& out, TDateTime t);
