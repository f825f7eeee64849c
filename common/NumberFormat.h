#pragma once
// Number texts of the program.
//
// FormatFloat: patterns such as "0", "0.00", "0.000 000", "0.000E+0", "0.000000E+00": "0" is a
// digit placeholder (rounded to the places shown, halves away from zero), "." the decimal point,
// "E+0"/"E+00" a signed exponent of at least one or two digits ("E-" shows only a minus), any
// other character is copied.
//
// FormatGeneral: the shortest text with at most 15 significant digits and no trailing zeros, fixed
// when 1e-5 <= |v| < 1e15, otherwise scientific with as few exponent digits as needed ("1.5E-6").
//
// Both use the regional decimal separator unless one is given.
#include <QChar>
#include <QString>

QString FormatFloat(const QString& pattern, double value);
QString FormatFloat(const QString& pattern, double value, QChar decimalSeparator);
QString FormatGeneral(double value);
QString FormatGeneral(double value, QChar decimalSeparator);

// Reads a number written in the regional format (blanks around it are allowed). A point is also
// taken as the decimal separator, so files written under another regional format still load.
// Returns false for an empty text, garbage, or anything after the number.
bool TryParseRegional(const QString& text, double& value);
bool TryParseRegional(const QString& text, double& value, QChar decimalSeparator);
// As TryParseRegional, giving fallback when the text is not a number.
double ParseRegionalOr(const QString& text, double fallback);
