#pragma once
// Numbers as the instruments write and read them: always a point as decimal separator, whatever
// the regional settings of the computer.
//
// ParseInstrumentNumber reads one field of a reply ("+2.500123E-01", "-4", ".5", "1E3"): an
// optional sign, digits with an optional point (at least one digit in all), and an optional
// exponent ("E" or "e", optional sign, at least one digit). The whole text must be the number;
// blanks are not skipped, so callers trim or split the reply first.
//
// ErrorPos is 0 when the whole text parsed. Otherwise it is the 1-based position of the first
// character that does not fit; when the text ends before the number is complete ("", "-", "1E+")
// that is the position just past its end, and a number too large for a double also reports the
// position just past its end. A value that is too small for a double reads as 0. On failure
// Value is 0, never a partly read number.
#include <QByteArray>
#include <QString>

#include <string_view>

struct TInstrumentNumber {
    double Value = 0.0;
    int ErrorPos = 0;
    bool Ok() const { return ErrorPos == 0; }
};

TInstrumentNumber ParseInstrumentNumber(std::string_view text);
TInstrumentNumber ParseInstrumentNumber(const QByteArray& text);
// Characters outside Latin-1 never fit; positions count UTF-16 code units.
TInstrumentNumber ParseInstrumentNumber(const QString& text);

// A number for a command text, in one of the number patterns of FormatFloat ("0.000000",
// "0.000E+0"), always with a point.
QString FormatInstrumentNumber(const QString& pattern, double value);
