#pragma once
// Rows of a step program, in their fixed layout (characters counted from 1):
//   1-4   step label "0000" (more digits above 9999, shifting the rest)
//   5-7   three blanks
//   8-13  log10(pO2) setpoint in the general format, left-aligned to six characters or cut to six
//   14-19 six blanks
//   20-   pump voltage in millivolts, rounded to an integer
// "0001   -4          45": step 1, log10(pO2) = -4, 45 mV.
#include <QString>
#include <QStringList>
#include <optional>

namespace StepProgram {

QString FormatRow(int label, double log10pO2, double millivolts);
// The setpoint field (characters 8-13) as a number; false when it does not read as one.
bool Setpoint(const QString& row, double& log10pO2);
// The mV field from character 20; maxChars limits how many characters are read (the tick reads six).
bool Millivolts(const QString& row, double& millivolts, int maxChars = -1);
// A row as read from a file: label digits, log10(pO2) from -16 to 0, -1100 to 1100 mV, each field in
// its columns, a point or a comma as the decimal separator (rows hold no digit grouping, so either
// can only be one). Gives the row in this process's number format, so the tick reads it; or nothing,
// with what is wrong in `problem`.
std::optional<QString> ReadRow(const QString& row, QString& problem);
// The eight rows a fresh window starts with.
QStringList DefaultRows();
// The 21 rows of the override buttons: mV = 50*i going up, or 1000 - 50*i going down.
QStringList OverrideRows(bool up);

} // namespace StepProgram
