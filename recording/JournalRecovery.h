#pragma once
// Recovery of a run that ended without closing (a crash, a kill, a power cut): the journal that
// its marker names is written out as a normal numbered data file beside it, so the operator finds
// the rows where the data files always are, whether or not they know about journals.
#include "common/DateTime.h"

#include <QString>

struct TJournalRecovery {
    bool Found = false;     // a run ended without closing (the marker was there)
    bool Recovered = false; // its rows are in DataFilePath
    QString JournalPath;
    QString DataFilePath;
    qint64 Rows = 0;         // rows recovered (data and mode-change rows)
    TDateTime LastWrite = 0; // when the journal was last written: the run's last row
    QString Error;

    // "The last run ended without closing ..." for the operator.
    QString Message() const;
};

// Looks for the marker in userdataFolder; when found, writes the journal's complete lines into
// "<experiment name>_<first free number>.csv" in the journal's folder and removes the marker. A
// journal cut in the middle of a line loses only that line.
TJournalRecovery RecoverJournal(const QString& userdataFolder);
