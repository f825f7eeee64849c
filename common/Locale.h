#pragma once
// The regional number format the program writes and reads numbers in (window, grid, list boxes,
// data, cell and sample files). Production follows the operating system; tests set a locale.
// Instruments always use a point and never go through this.
#include <QChar>
#include <QLocale>

QChar DecimalSeparator();
QChar TimeSeparator();
// Replaces the regional format for the whole process (tests, or a later choice of the operator).
void SetRegionalLocale(const QLocale& locale);
