#pragma once
// The journal of a run: every row that enters the data grid, appended as it is built, so a crash
// or a power cut costs at most the last second of data instead of everything since the last save.
//
// A journal is itself an experiment data file: it starts with the head of a data file (header,
// variables and notes as they stood at the run's first row, the DATA marker) and the caption line,
// followed by one data line per row in the data file's own layout (8-bit code page, CR LF). Each
// row goes to the operating system as it is appended (a killed process loses nothing written), and
// to the disk at most once a second and at every save.
//
// While a journal is open, a small marker file in "Userdata" names it. An orderly close removes
// the marker; a marker found at start means the last run ended without closing (see
// JournalRecovery).
//
//   Userdata/<yyyy-mm-dd>/<experiment name>_run-<yyyymmdd-hhmmss>.journal.csv
//   Userdata/journal.open
#include "common/DateTime.h"
#include "recording/ExperimentFile.h"

#include <QByteArray>
#include <QFile>
#include <QString>

class TDataGrid;

class TExperimentJournal {
public:
    TExperimentJournal() = default;
    ~TExperimentJournal();
    TExperimentJournal(const TExperimentJournal&) = delete;
    TExperimentJournal& operator=(const TExperimentJournal&) = delete;

    // "<name>_run-20240315-140509.journal.csv": beside the run's data files "<name>_0001.csv", and
    // saying what it is. Characters a file name cannot hold become '_'.
    static QString FileName(const QString& experimentName, TDateTime start);
    static QString MarkerPath(const QString& userdataFolder);

    // Creates the journal at `path` (its folder is made when missing) with the head and the
    // caption line, and records it in the marker file of `userdataFolder`. False with LastError()
    // when the journal can't be written.
    bool Start(const QString& userdataFolder, const QString& path, const QString& experimentName,
               const QByteArray& head, const TDataGrid& grid);
    // Appends row `row` of the grid and hands it to the operating system; syncs to the disk when a
    // second has passed since the last sync.
    bool Append(const TDataGrid& grid, int row);
    // Syncs to the disk when rows came since the last sync and a second has passed.
    bool SyncIfDue();
    // Syncs to the disk now.
    bool Sync();
    // The orderly end of a run: synced, closed, and the marker removed.
    void Finish();
    // Closes without removing the marker (the run did not end in order).
    void Close();

    bool IsOpen() const { return fFile.isOpen(); }
    QString Path() const { return fPath; }
    QString LastError() const { return fError; }
    qint64 Rows() const { return fRows; }
    // Where the data lines of grid rows 1 to `lastRow` stand in the journal, when every one of them
    // went in, in order and whole, since row 1 last did; empty otherwise (a failed write, rows the
    // journal did not get).
    TFileRange LinesOfRows(int lastRow) const;

private:
    bool Write(const QByteArray& bytes);
    bool Fail(const QString& what);

    QFile fFile;
    QString fPath;
    QString fMarker;
    QString fError;
    QByteArray fLine;
    qint64 fRows = 0;
    qint64 fSize = 0;            // bytes in the journal
    qint64 fFirstRowOffset = -1; // where the line of grid row 1 begins
    int fLastRow = 0;            // the grid row whose line came last, in an unbroken run from row 1
    bool fDirty = false;
    qint64 fLastSyncMs = 0;
};
