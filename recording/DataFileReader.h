#pragma once
// Reads an experiment data file (or a journal, which has the same layout) as it was written:
// Windows code page, CR LF, cells in the regional number format. It finds the header, the
// variables, the notes and the data lines; each data line is split into the data file's 17 fields
// on demand, so a file of a million rows costs one pass. The file is mapped, not copied.
// A last line without its CR LF (a journal cut short) is reported apart: the writer did not finish
// it.
#include "common/DateTime.h"
#include "recording/DataRow.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <string>
#include <string_view>
#include <vector>

struct TDataFileVariable {
    QString Value; // as written (regional decimal separator)
    QString Unit, Abbreviation, Name;
};

class TDataFileReader {
public:
    using Bytes = std::string_view;
    // The data file's fields, in its column order.
    enum TField {
        fDuration,
        fMode,
        fStep,
        fTemp,
        fPumpV,
        fPumpI,
        fCellpO2,
        fFlushpO2,
        fRCpO2,
        fStablepO2,
        fRangepO2,
        fRCI,
        fStableI,
        fSP,
        fTime,
        fCellpO2P,
        fInterval,
        FieldCount
    };

    // False with a message for the operator ("Could not read …", "… is not an experiment data file").
    bool Open(const QString& path, QString* error);

    QString ExperimentName, Formula, Saved;
    std::vector<TDataFileVariable> Variables;
    QStringList Notes;
    // The value of the variable with this abbreviation (the first one), read in either decimal
    // format; `fallback` when there is none or it is not a number.
    double VariableValue(const QString& abbreviation, double fallback) const;

    // The data lines after the caption line; the unfinished last line is not among them.
    std::size_t DataLineCount() const { return fDataEnd - fDataBegin; }
    Bytes DataLine(std::size_t k) const { return fLines[fDataBegin + k]; }
    bool LastLineUnfinished() const { return fLastUnfinished; }
    // Splits a data line into its fields (a quoted field loses its quotes and doubled quotes);
    // false when the line does not have exactly FieldCount fields. `scratch` holds the unquoted
    // text of a line with quotes.
    static bool SplitFields(Bytes line, std::vector<std::string>& scratch, Bytes* fields);
    // The row a data line's fields stand for: a data row (its Time cell a date and time) or a
    // mode-change row (a state 1 to 6 with its moment in the Duration field); false for neither.
    static bool ToRow(const Bytes* fields, TDataRow& row);
    // The parts of a Time cell, "2024-03-15_14:05:09:042" (the separators follow the regional
    // settings), or of a mode-change row's moment, "2024-03-1514:05:09" once the writer removed its
    // blank (milliseconds 0); false when the text is neither.
    struct TTimeParts {
        int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
        TDateTime Days() const;
    };
    static bool TimeCellParts(Bytes s, TTimeParts& t);
    static bool ModeChangeParts(Bytes s, TTimeParts& t);
    // Text of the Windows code page.
    static QString FromAnsi(Bytes b);

private:
    QFile fFile;
    QByteArray fContents; // when the file could not be mapped
    std::vector<Bytes> fLines;
    std::size_t fDataBegin = 0, fDataEnd = 0;
    bool fLastUnfinished = false;
};
