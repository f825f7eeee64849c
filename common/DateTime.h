#pragma once
// Time values of the program: days of local wall-clock time as a double, the fraction being the
// time of day (day 0 is 1899-12-30). A difference times 1440 gives minutes, times 86400 seconds.
#include <QDateTime>
#include <QString>

using TDateTime = double;

constexpr double MinutesPerDay = 1440.0;
constexpr double SecondsPerDay = 86400.0;

TDateTime DateTimeFromQt(const QDateTime& dt);
QDateTime QtFromDateTime(TDateTime t);
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int msec = 0);

// Formats a time with a pattern of "yyyy", "mm" (month, or minutes right after "hh"), "dd", "hh",
// "ss", "zzz"; ":" stands for the time separator; every other character is copied.
QString FormatDateTime(const QString& pattern, TDateTime t);

// The civil date (proleptic Gregorian calendar) of a day counted from 1970-01-01, in whole
// arithmetic, for the hand-written time stamps that must not go through QDateTime.
struct TCivilDate {
    int Year = 1970;
    int Month = 1; // 1..12
    int Day = 1;   // 1..31
};
TCivilDate CivilFromUnixDays(long long days);
