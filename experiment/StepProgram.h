#pragma once
// Rows of a step program, in their fixed layout (characters counted from 1):
//   1-4   step label "0000" (more digits above 9999, shifting the rest)
//   5-7   three blanks
//   8-13  log10(pO2) setpoint in the general format, left-aligned to six characters or cut to six
//   14-19 six blanks
//   20-   pump voltage in millivolts, rounded to an integer
// "0001   -4          45": step 1, log10(pO2) = -4, 45 mV.
//
// The program itself is a list of typed steps (TStep): the row is laid out once, when the step is
// made, and the values the step runs at are read back from it then, so a running step gives what
// its row shows without the row being read again.
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class TStep {
public:
    TStep() = default;
    // A step from its fields, its row laid out as FormatRow does.
    static TStep Make(int label, double log10pO2, double millivolts);

    int Label() const { return fLabel; }
    // The setpoint as the row shows it: a value of more than six characters is cut to six.
    double Log10pO2() const { return fLog10pO2; }
    // The pump voltage as the row shows it (whole mV), read from at most six characters.
    double MilliVolts() const { return fMilliVolts; }
    // The row as the list shows it and a program file keeps it.
    const QString& Text() const { return fText; }

    bool operator==(const TStep& other) const { return fText == other.fText; }

private:
    int fLabel = 0;
    double fLog10pO2 = 0;
    double fMilliVolts = 0;
    QString fText;
};

namespace StepProgram {

QString FormatRow(int label, double log10pO2, double millivolts);
// The setpoint field (characters 8-13) as a number; false when it does not read as one.
bool Setpoint(const QString& row, double& log10pO2);
// The mV field from character 20; maxChars limits how many characters are read.
bool Millivolts(const QString& row, double& millivolts, int maxChars = -1);
// A row as read from a file: label digits, log10(pO2) from -16 to 0, -1100 to 1100 mV, each field in
// its columns, a point or a comma as the decimal separator (rows hold no digit grouping, so either
// can only be one). Gives the step, its row in this process's number format; or nothing, with
// what is wrong in `problem`.
std::optional<TStep> ReadRow(const QString& row, QString& problem);
// The rows of the steps, as the list shows them.
QStringList Texts(const QList<TStep>& steps);
// The eight steps a fresh window starts with, and their rows.
QList<TStep> DefaultSteps();
QStringList DefaultRows();
// The 21 steps of the override buttons: mV = 50*i going up, or 1000 - 50*i going down.
QList<TStep> OverrideSteps(bool up);
QStringList OverrideRows(bool up);

} // namespace StepProgram
