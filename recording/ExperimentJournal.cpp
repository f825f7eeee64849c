#include "recording/ExperimentJournal.h"

#include "recording/ExperimentFile.h"
#include "recording/JournalWriter.h"
#include "recording/TDataGrid.h"

#include <QDir>

TExperimentJournal::TExperimentJournal(TJournalLimits limits) : fLimits(limits) {}

TExperimentJournal::~TExperimentJournal() {
    Close();
}

QString TExperimentJournal::FileName(const QString& experimentName, TDateTime start) {
    QString name = experimentName;
    for (QChar& c : name)
        if (c == u'/' || c == u'\\' || c == u':' || c.isNull())
            c = u'_';
    return name + QStringLiteral("_run-") + FormatDateTime(QStringLiteral("yyyymmdd-hhmmss"), start) +
           QStringLiteral(".journal.csv");
}

QString TExperimentJournal::MarkerPath(const QString& userdataFolder) {
    return QDir(userdataFolder).filePath(QStringLiteral("journal.open"));
}

bool TExperimentJournal::Start(const QString& userdataFolder, const QString& path,
                               const QString& experimentName, const QByteArray& head, const TDataGrid& grid) {
    Close();
    fPath = path;
    fEnded = false;
    fFinished = false;
    fTimedOut = false;
    fRows = 0;
    fFirstRowOffset = -1;
    fLastRow = 0;
    fWriter = std::make_unique<TJournalWriter>(userdataFolder, path, experimentName, fLimits.StuckSeconds);
    QByteArray first = head;
    grid.AppendFileLine(first, 0);
    fHanded = first.size();
    fWriter->Add(first);
    fWriter->SyncNow();
    if (!Answered(fLimits.StartMs))
        return false;
    const TJournalWriterState s = fWriter->State();
    return !s.Failing && !s.SyncFailed;
}

bool TExperimentJournal::Answered(int ms) const {
    // A writer still in the round that a wait gave up on, or stuck, is not waited for again: a
    // disk that does not answer costs the close one wait, not one per question.
    if (NotAnswering(fWriter->State()))
        return false;
    fTimedOut = !fWriter->Wait(ms);
    return !fTimedOut;
}

bool TExperimentJournal::NotAnswering(const TJournalWriterState& s) const {
    return s.Stuck || (fTimedOut && s.BusySeconds > 0);
}

bool TExperimentJournal::WaitUntilWritten(int ms) const {
    if (!fWriter)
        return false;
    fTimedOut = !fWriter->Wait(ms); // asked for: waits even for a writer that did not answer before
    return !fTimedOut;
}

bool TExperimentJournal::Behind() const {
    if (!fWriter || fFinished)
        return false;
    return fWriter->Behind();
}

QString TExperimentJournal::LastError() const {
    if (!fWriter)
        return QStringLiteral("The journal is not open");
    const TJournalWriterState s = fWriter->State();
    if (NotAnswering(s))
        return QStringLiteral("The journal can't be written: %1: the disk has not answered for %2 s")
            .arg(QDir::toNativeSeparators(fPath))
            .arg(s.BusySeconds, 0, 'f', 1);
    return s.Error;
}

bool TExperimentJournal::Append(const TDataGrid& grid, int row) {
    if (!IsOpen())
        return false;
    fLine.resize(0);
    grid.AppendFileLine(fLine, row);
    if (row == 1) {
        fFirstRowOffset = fHanded;
        fLastRow = 1;
    } else if (fFirstRowOffset >= 0 && row == fLastRow + 1) {
        fLastRow = row;
    } else {
        fFirstRowOffset = -1; // a gap or a repeat: the journal no longer mirrors the grid
    }
    fHanded += fLine.size();
    ++fRows;
    fWriter->Add(fLine);
    return !Behind();
}

TFileRange TExperimentJournal::LinesOfRows(int lastRow) const {
    TFileRange r;
    if (!IsOpen() || fFirstRowOffset < 0 || lastRow != fLastRow || !Answered(fLimits.AnswerMs))
        return r;
    const TJournalWriterState s = fWriter->State();
    if (s.Failing || s.Written != fHanded)
        return r;
    r.Path = fPath;
    r.Offset = fFirstRowOffset;
    r.Length = fHanded - fFirstRowOffset;
    return r;
}

bool TExperimentJournal::SyncIfDue() {
    if (!IsOpen())
        return false;
    fWriter->SyncIfDue();
    return !Behind();
}

bool TExperimentJournal::Sync() {
    if (!IsOpen())
        return false;
    fWriter->SyncNow();
    if (!Answered(fLimits.AnswerMs))
        return false;
    const TJournalWriterState s = fWriter->State();
    return !s.Failing && !s.SyncFailed;
}

bool TExperimentJournal::Finish(bool rowsSaved) {
    if (!fWriter)
        return false;
    if (!fEnded) {
        fWriter->End(rowsSaved ? TJournalWriter::TEnd::FinishRemovingMarker : TJournalWriter::TEnd::Finish);
        fEnded = true;
    }
    fFinished = true;
    return Answered(fLimits.EndMs) && !fWriter->State().Failing;
}

void TExperimentJournal::Close() {
    if (!fWriter || fEnded)
        return;
    fWriter->End(TJournalWriter::TEnd::Close);
    fEnded = true;
    Answered(fLimits.EndMs);
}
