#pragma once
// The journal of a run: every row that enters the data grid, appended as it is built, so a crash
// or a power cut costs at most the last second of data instead of everything since the last save.
//
// A journal is itself an experiment data file: it starts with the head of a data file (header,
// variables and notes as they stood at the run's first row, the DATA marker) and the caption line,
// followed by one data line per row in the data file's own layout (8-bit code page, CR LF). Each
// row goes to the operating system a moment (about a millisecond; now and then with the next row or
// sync) after it is appended, so a killed process loses at most the rows of that moment, and to the
// disk at most once a second and at every save.
//
// While a journal is open, a small marker file in "Userdata" names it; the marker is written before
// the journal's first byte. An orderly close removes the marker once the rows are in a data file; a
// marker found at start means the last run ended without closing (see JournalRecovery).
//
// A write that fails (a full disk) costs no row: the rows are kept and written, in order, at the
// first write that succeeds again, tried at most once a second.
//
// The file operations run on the journal's writer thread (see JournalWriter): the thread that
// builds the rows only formats a row's line and hands it over, so a slow or stuck disk never holds
// it. What asks for an answer from the disk (Start, Sync, LinesOfRows, Finish, Close) waits a
// bounded time and then says the journal does not answer, so a close ends whatever the disk does.
//
//   Userdata/<yyyy-mm-dd>/<experiment name>_run-<yyyymmdd-hhmmss>.journal.csv
//   Userdata/journal.open
#include "common/DateTime.h"
#include "recording/ExperimentFile.h"

#include <QByteArray>
#include <QString>

#include <memory>

class TDataGrid;
class TJournalWriter;
struct TJournalWriterState;

// How long the journal waits for its writer, and when a write that has not returned counts as a
// disk that does not answer.
struct TJournalLimits {
    int StartMs = 5000;      // the marker, the head and the first sync at Start
    int AnswerMs = 1000;     // Sync, and LinesOfRows before a save
    int EndMs = 3000;        // Finish and Close
    double StuckSeconds = 5; // a write, sync or open running this long is told as a failure
};

class TExperimentJournal {
public:
    explicit TExperimentJournal(TJournalLimits limits = {});
    ~TExperimentJournal();
    TExperimentJournal(const TExperimentJournal&) = delete;
    TExperimentJournal& operator=(const TExperimentJournal&) = delete;

    // "<name>_run-20240315-140509.journal.csv": beside the run's data files "<name>_0001.csv", and
    // saying what it is. Characters a file name cannot hold become '_'.
    static QString FileName(const QString& experimentName, TDateTime start);
    static QString MarkerPath(const QString& userdataFolder);

    // Records the journal at `path` in the marker file of `userdataFolder` (before anything goes
    // into the journal, so a journal with rows is always named by the marker), creates the journal
    // (its folder is made when missing) and writes the head and the caption line, waiting for that
    // up to StartMs. False with LastError() when any of that failed or did not end in time: what
    // was not written is kept and tried again with the next row or sync, at most once a second.
    bool Start(const QString& userdataFolder, const QString& path, const QString& experimentName,
               const QByteArray& head, const TDataGrid& grid);
    // Formats row `row` of the grid as its data line and hands it to the writer, which writes it
    // at once and syncs to the disk when a second has passed since the last sync. While writes
    // fail the row is kept with every other one the journal missed; once a write succeeds again
    // they all go in, in order, so the journal again holds every row. False while the journal is
    // behind (as far as the writer has told).
    bool Append(const TDataGrid& grid, int row);
    // Asks for a sync to the disk when rows came since the last sync and a second has passed; a
    // journal that is behind tries to catch up first (at most once a second). Does not wait: false
    // while the journal is behind (as far as the writer has told).
    bool SyncIfDue();
    // Syncs to the disk now and waits for it up to AnswerMs; false when it failed, the journal is
    // behind, or the disk did not answer in time.
    bool Sync();
    // Waits up to `ms` until the writer has dealt with every row and request handed to it so far
    // (written it, or failed and waits for its next try); false when it has not.
    bool WaitUntilWritten(int ms) const;
    // The orderly end of a run: caught up if it can be, synced, closed, waiting up to EndMs. The
    // marker is removed only when `rowsSaved` (a data file holds every row); otherwise it stays,
    // so the next start recovers the journal. False with LastError() when the journal does not
    // hold every row (or did not answer in time: the writer then ends on its own when the disk
    // answers, the marker removed only when `rowsSaved`).
    bool Finish(bool rowsSaved = true);
    // Closes without removing the marker (the run did not end in order), waiting up to EndMs.
    void Close();

    // Started, and neither finished nor closed.
    bool IsOpen() const { return fWriter != nullptr && !fEnded; }
    // Rows or the marker that the journal has not written because writing failed, or a write that
    // has not returned for StuckSeconds (never after Finish).
    bool Behind() const;
    QString Path() const { return fPath; }
    // The last failure, with the file and the system's reason; empty once the journal holds every
    // row again.
    QString LastError() const;
    qint64 Rows() const { return fRows; }
    // Where the data lines of grid rows 1 to `lastRow` stand in the journal, when every one of them
    // is in it, in order and whole, since row 1 last went in; empty otherwise (the journal behind,
    // rows the journal did not get). Waits up to AnswerMs for the writer to write what it has.
    TFileRange LinesOfRows(int lastRow) const;

private:
    // Waits for the writer's answer; false, with the error that the disk does not answer, when
    // it did not come within `ms`.
    bool Answered(int ms) const;
    bool NotAnswering(const TJournalWriterState& s) const;

    TJournalLimits fLimits;
    std::unique_ptr<TJournalWriter> fWriter;
    bool fEnded = false;            // Finish or Close asked for the writer's last round
    bool fFinished = false;         // Finish: the journal is no longer behind whatever the writer says
    mutable bool fTimedOut = false; // the last wait for the writer ran out
    QString fPath;
    QByteArray fLine;
    qint64 fRows = 0;
    qint64 fHanded = 0;          // bytes handed to the writer, the head included
    qint64 fFirstRowOffset = -1; // where the line of grid row 1 begins in the file
    int fLastRow = 0;            // the grid row whose line came last, in an unbroken run from row 1
};
