#include "app/ExperimentSave.h"

#include "common/Clock.h"
#include "common/Dialogs.h"
#include "common/ProgramFolder.h"
#include "diagnostics/EventLog.h"

#include <QDir>

namespace {
// Why a save failed, for the event log: the operator's message, or the day folder's notice.
QString FailureReason(const TSaveResult& result) {
    QString why =
        result.Status == TSaveStatus::DayFolderFailed ? TExperimentFile::FailureCaption() : result.Message;
    if (!result.FilePath.isEmpty())
        why += QStringLiteral(" (") + QDir::toNativeSeparators(result.FilePath) +
               (result.Reason.isEmpty() ? QString() : QStringLiteral(": ") + result.Reason) + u')';
    return why;
}
} // namespace

TSaveResult SaveExperiment(TRunState& run, const TExperimentFileRecord& record,
                           const std::function<void(const QString&)>& setCaption, TSaveNotice notice) {
    const TDateTime t0 = Now();
    run.LastSaveTime = t0;
    const QString userdata = ProgramPath(QStringLiteral("Userdata"));
    // A restart numbers from 0001 again: skip the numbers an earlier run (or a recovered journal)
    // already used today, rather than replacing its file.
    if (TExperimentFile::NameAllowed(record.Sample.Name))
        run.SaveFileNumber =
            TExperimentFile::FirstFreeNumber(userdata, t0, record.Sample.Name, run.SaveFileNumber);
    const TSaveResult result = TExperimentFile::Save(record, userdata, t0, run.SaveFileNumber);
    LogEvent(QStringLiteral("Save"),
             result.Ok() ? QStringLiteral("wrote ") + QDir::toNativeSeparators(result.FilePath)
                         : QStringLiteral("failed: ") + FailureReason(result));
    switch (result.Status) {
    case TSaveStatus::Saved:
        run.SaveFileNumber += 1;
        break;
    case TSaveStatus::DayFolderFailed:
        if (setCaption)
            setCaption(TExperimentFile::FailureCaption());
        break;
    default:
        if (notice == TSaveNotice::MessageBox)
            Dialogs().Message(result.Message);
        break;
    }
    return result;
}
