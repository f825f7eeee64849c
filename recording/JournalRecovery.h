#pragma once
// Recovery of a run that ended without closing (a crash, a kill, a power cut): the journal that
// its marker names is written out as a normal numbered data file beside it, so the operator finds
// the rows where the data files always are, whether or not they know about journals.
//
// Nothing in the marker or the journal is trusted. The marker may only name a regular file
// "<yyyy-mm-dd>/<name>.journal.csv" in a day folder of Userdata (no absolute path, no "..", no
// symbolic link, no device, FIFO or folder), of bounded size; anything else is refused and the
// marker renamed aside ("journal.open.refused-<yyyymmdd-hhmmss>"), so it is not tried at every
// start. The journal is read line by line with a cap on a line's length, never whole; only data
// lines of the journal's own layout (its caption line's columns) become rows, the others are
// counted as skipped. A journal whose lines are all rows becomes the data file by a rename; any
// other is streamed into it. The marker goes only once the data file is on the disk whole.
#include "common/DateTime.h"

#include <QString>

struct TJournalRecovery {
    bool Found = false;     // a run ended without closing (the marker was there)
    bool Recovered = false; // its rows are in DataFilePath
    bool Refused = false;   // the marker or its journal was not one to recover from
    QString MarkerPath;
    QString RefusedMarkerPath; // where a refused marker was moved
    QString JournalPath;
    QString DataFilePath;
    qint64 Rows = 0;         // rows recovered (data and mode-change rows)
    qint64 Skipped = 0;      // lines of the journal's DATA section that were no rows
    TDateTime LastWrite = 0; // when the journal was last written: the run's last row
    QString Error;

    // "The last run ended without closing ..." for the operator.
    QString Message() const;
};

// The largest journal recovery reads (a month at 1 s points is about 310 MB).
constexpr qint64 kMaxJournalBytes = qint64(4) << 30;
// The longest line of a journal that recovery looks at; longer ones are no rows.
constexpr qint64 kMaxJournalLine = 64 * 1024;

// Looks for the marker in userdataFolder; when found, writes the journal's rows into
// "<experiment name>_<first free number>.csv" in the journal's folder and removes the marker. A
// journal cut in the middle of a line loses only that line. A failed write keeps the marker, so
// the next start tries again.
TJournalRecovery RecoverJournal(const QString& userdataFolder);
