#pragma once
// The operator's PID list: a few rows of gains and pump current limit, one per -log10(pO2) of the
// operator's choice. The experiment holds it (TPIDListContent), the list box on the PID tuning page
// shows it line for line, and it is saved line for line as a PID file:
//
//   line 1   title: the file name the list was last saved as; not interpreted
//   line 2   "Elasticity " and the smoothing elasticity in "0.0"; read from characters 12-21
//   line 3   the column header; not interpreted
//   line 4.. data rows, in fixed columns of 10 characters: -log10(pO2), P, I, D and the pump
//            current limit in µA, each an integer written left-aligned and cut to 10 characters,
//            then the notes (at most 20 characters, not padded)
//
// Each field is read back from its own column, so blanks inside a column do not matter but a
// column that holds anything other than an integer does.
#include <QString>
#include <QStringList>

struct TPIDListContent;

// One data row of the list.
struct TPIDRow {
    int LogPO2 = 0; // -log10(pO2), a positive number of decades
    int P = 0;      // proportional gain
    int I = 0;      // integral gain
    int D = 0;      // derivative gain
    int A = 0;      // pump current limit, µA
    QString Notes;
};

class TPIDList {
public:
    static constexpr int TitleLine = 0;
    static constexpr int ElasticityLine = 1;
    static constexpr int HeaderLine = 2;
    static constexpr int FirstDataLine = 3;
    static constexpr int FieldWidth = 10;
    static constexpr int Fields = 5;
    static constexpr int NotesWidth = 20;
    // -log10(pO2) range of the rows "Apply or Add" accepts.
    static constexpr int MinLogPO2 = 0;
    static constexpr int MaxLogPO2 = 25;
    // Integers of up to 9 characters keep a blank before the next column; longer ones would be cut
    // when written. The row editors hold their values to this range.
    static constexpr int MinField = -99999999;
    static constexpr int MaxField = 999999999;
    // "Delete last" keeps at least 6 data rows, the fewest a curve can be drawn through.
    static constexpr int MinLinesToDelete = 10;

    static QString StartingTitle();
    static QString Header();
    // The list the window starts with: 14 rows from 0 to 25 decades, P = I = D = 1000.
    static QStringList StartingList();

    static QString FormatRow(const TPIDRow& row);
    // Line 2 for an elasticity, in the regional decimal format.
    static QString FormatElasticity(double elasticity);
    // Notes as stored: blanks at both ends removed, at most 20 characters.
    static QString CutNotes(const QString& notes);

    // Reading. A column that is not an integer (or an elasticity that is not a number) throws
    // EPIDListError with the offending text.
    static TPIDRow ParseRow(const QString& line);
    // Field 0 ... 4 of a data row: -log10(pO2), P, I, D, A.
    static int ParseField(const QString& line, int field);
    // The elasticity of line 2. A comma or a point is the decimal separator, whichever the file
    // was written with.
    static double ParseElasticity(const QString& line);

    struct TApplyResult {
        bool Changed = false; // a data row was replaced or appended: the table must be rebuilt
        QString Message;      // the bounds message when the row was refused
    };
    // "Apply or Add": line 2 takes the elasticity; then the row replaces the data row at `selected`
    // (a list index of 3 or more) if its -log10(pO2) fits between the rows above and below, or,
    // with nothing selected, is appended if it fits between the last row and 25. Throws
    // EPIDListError when a neighbour row's -log10(pO2) cannot be read; without data rows the header
    // stands last, and its first column is no number (line 2 has then already changed, as it has
    // after a refusal).
    static TApplyResult ApplyOrAdd(TPIDListContent& list, int selected, double elasticity,
                                   const TPIDRow& row);
    // "Delete last": removes the last line of a list of at least 10 lines; false otherwise.
    static bool DeleteLast(TPIDListContent& list);
};
