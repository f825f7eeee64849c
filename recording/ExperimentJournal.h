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
// While a journal is open, a small marker file in "Userdata" names it; the marker is written before
// the journal's first byte. An orderly close removes the marker once the rows are in a data file; a
// marker found at start means the last run ended without closing (see JournalRecovery).
//
// A write that fails (a full disk) costs no row: the rows are kept and written, in order, at the
// first write that succeeds again, tried at most once a second.
//
//   Userdata/<yyyy-mm-dd>/<experiment name>_run-<yyyymmdd-hhmmss>.journal.csv
//   Userdata/journal.open
#include "common/DateTime.h"
#include "recording/ExperimentFile.h"

#include <QByteArray>
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

    // Records the journal at `path` in the marker file of `userdataFolder` (before anything goes
    // into the journal, so a journal with rows is always named by the marker), creates the journal
    // (its folder is made when missing) and writes the head and the caption line. False with
    // LastError() when any of that failed: what was not written is kept and tried again with the
    // next row or sync, at most once a second.
    bool Start(const QString& userdataFolder, const QString& path, const QString& experimentName,
               const QByteArray& head, const TDataGrid& grid);
    // Appends row `row` of the grid and hands it to the operating system; syncs to the disk when a
    // second has passed since the last sync. While writes fail the row is kept with every other one
    // the journal missed; once a write succeeds again they all go in, in order, so the journal
    // again holds every row. False while the journal is behind.
    bool Append(const TDataGrid& grid, int row);
    // Syncs to the disk when rows came since the last sync and a second has passed; a journal that
    // is behind tries to catch up first (at most once a second).
    bool SyncIfDue();
    // Syncs to the disk now.
    bool Sync();
    // The orderly end of a run: caught up if it can be, synced, closed. The marker is removed only
    // when `rowsSaved` (a data file holds every row); otherwise it stays, so the next start
    // recovers the journal.
    void Finish(bool rowsSaved = true);
    // Closes without removing the marker (the run did not end in order).
    void Close();

    bool IsOpen() const { return fHandle >= 0; }
    // Rows or the marker that the journal has not written yet (never after Finish).
    bool Behind() const { return !fFinished && (!fPending.isEmpty() || !fMarkerWritten); }
    qint64 PendingBytes() const { return fPending.size(); }
    QString Path() const { return fPath; }
    QString LastError() const { return fError; }
    qint64 Rows() const { return fRows; }
    // Where the data lines of grid rows 1 to `lastRow` stand in the journal, when every one of them
    // is in it, in order and whole, since row 1 last went in; empty otherwise (the journal behind,
    // rows the journal did not get).
    TFileRange LinesOfRows(int lastRow) const;

private:
    // Writes what is pending (the marker first); false with LastError() when anything is left.
    bool CatchUp();
    bool Fail(const QString& what, int error);
    void CloseHandle();

    int fHandle = -1;
    QString fUserdata;
    QString fExperiment;
    QString fPath;
    QString fMarker;
    bool fMarkerWritten = false;
    bool fFinished = false;
    QString fError;
    QByteArray fLine;
    QByteArray fPending; // bytes appended but not yet in the file, oldest first
    double fNextTry = 0; // MonotonicSeconds() from which a journal behind tries again
    qint64 fRows = 0;
    qint64 fWritten = 0;         // bytes in the file
    qint64 fFirstRowOffset = -1; // where the line of grid row 1 begins (written or pending)
    int fLastRow = 0;            // the grid row whose line came last, in an unbroken run from row 1
    bool fDirty = false;
    double fLastSync = -1e18;
};
