#pragma once
// The experiment data file: a new numbered text file per save, in a day folder under "Userdata",
//   Userdata/<yyyy-mm-dd>/<experiment name>_<0001>.csv
// holding a header with the experiment name and nominal formula, the 27 sample and cell variables
// with their units, the operator's notes and every row of the data grid, caption row first.
//
// The file is text in the Windows code page (cp1252, as the lab PCs read it), without a byte-order
// mark, every line ending in CR LF. It is written through a temporary file that is synced and renamed:
// complete or not at all, and a save reports success only when the disk took the whole file.
#include "common/DateTime.h"
#include "recording/CellDetails.h"
#include "recording/SampleDetails.h"

#include <QByteArray>
#include <QString>

class TDataGrid;

// A stretch of bytes of a file.
struct TFileRange {
    QString Path;
    qint64 Offset = 0;
    qint64 Length = 0;
    bool IsEmpty() const { return Path.isEmpty(); }
};

// Everything a save writes: the sample (its name also names the file), the values derived from
// it, the cell, the operator's notes (lines separated by line breaks) and the rows.
struct TExperimentFileRecord {
    TSampleDetails Sample;
    TSampleValues Values;
    TCellDetails Cell;
    QString Notes;
    const TDataGrid* Grid = nullptr;
    // The data lines of rows 1 to the last of Grid as a file already holds them, byte for byte
    // (the run's journal): a save copies them instead of formatting every row again. Empty: none.
    TFileRange RowLines;
};

enum class TSaveStatus {
    Saved,
    UserdataUnavailable, // "Userdata" is missing or can't be entered
    DayFolderFailed,     // the day folder is missing and could not be made
    NameRefused,         // the experiment name would put the file outside its day folder
    WriteFailed,         // the file could not be written
};

struct TSaveResult {
    TSaveStatus Status = TSaveStatus::Saved;
    QString FilePath; // the file written, or the one that was to be written
    QString Message;  // for the operator when the save failed
    QString Reason;   // the system's reason when the file could not be written ("No space left on device")
    bool Ok() const { return Status == TSaveStatus::Saved; }
};

class TExperimentFile {
public:
    // The window caption that tells the operator a day folder could not be made.
    static QString FailureCaption();
    // "2024-03-15" for a save started on that day.
    static QString DayFolderName(TDateTime t0);
    // "<name>_0001.csv"; more digits above 9999.
    static QString FileName(const QString& experimentName, int number);
    // False for a name with a path separator (or another way out of the day folder).
    static bool NameAllowed(const QString& experimentName);

    // Everything of a file before its rows: header, variables, notes and the DATA marker.
    static QByteArray Head(const TExperimentFileRecord& record, TDateTime t0);
    // The smallest running number from `number` on whose file does not exist yet in the day folder
    // of t0, so a save never replaces a file of an earlier run (or a recovered journal).
    static int FirstFreeNumber(const QString& userdataFolder, TDateTime t0, const QString& experimentName,
                               int number);

    // Saves into userdataFolder, which becomes the process's current folder. t0 is the save's
    // start time (day folder and "Saved" line), number the file's running number.
    static TSaveResult Save(const TExperimentFileRecord& record, const QString& userdataFolder, TDateTime t0,
                            int number);
};
