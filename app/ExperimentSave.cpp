#include "app/ExperimentSave.h"

#include "app/ExperimentDataPage.h"
#include "app/SharedState.h"
#include "app/TRtDoubleEdit.h"
#include "common/Clock.h"
#include "common/Dialogs.h"
#include "common/ProgramFolder.h"
#include "diagnostics/EventLog.h"

#include <QDir>

#include <QLineEdit>
#include <QPlainTextEdit>

TExperimentFileRecord ExperimentRecordOf(const TExperimentDataPage& page, const TDataGrid& grid) {
    TExperimentFileRecord r;
    r.ExperimentName = page.EditSampleName->text();
    r.NominalFormula = page.EditSampleFormula->text();
    r.bs = page.RtDoubleEditbs->Value();
    r.M = page.RtDoubleEditM->Value();
    r.b0 = page.RtDoubleEditb0->Value();
    r.M0 = page.RtDoubleEditM0->Value();
    r.d = page.RtDoubleEditd->Value();
    r.mass0 = page.RtDoubleEditmass0->Value();
    r.Vs = page.RtDoubleEditVs->Value();
    r.n0 = page.RtDoubleEditn0->Value();
    r.nO0 = page.RtDoubleEditnO0->Value();
    r.mO0 = page.RtDoubleEditmO0->Value();
    r.mM = page.RtDoubleEditmM->Value();
    r.SensorID = page.EditSensorID->text();
    r.SensorAx = page.RtDoubleEditSensorAx->Value();
    r.SensorBx = page.RtDoubleEditSensorBx->Value();
    r.VHPS = page.RtDoubleEditVHPS->Value();
    r.Vhp = page.RtDoubleEditVhp->Value();
    r.Vgp = page.RtDoubleEditVgp->Value();
    r.Tl = page.RtDoubleEditTl->Value();
    r.PsO2 = page.RtDoubleEditPsO2->Value();
    r.FGpO2 = page.RtDoubleEditFGpO2->Value();
    r.RCDuration = page.RtDoubleEditRCDuration->Value();
    r.RCThreshold = page.RtDoubleEditRCThreshold->Value();
    r.DataPointLength = page.RtDoubleEditDataPointLength->Value();
    r.CTO = page.RtDoubleEditCTO->Value();
    r.FGfl = page.RtDoubleEditFGfl->Value();
    r.Notes = page.MemoNotes->toPlainText();
    r.Grid = &grid;
    return r;
}

namespace {
// Why a save failed, for the event log: the operator's message, or the day folder's notice.
QString FailureReason(const TSaveResult& result) {
    QString why =
        result.Status == TSaveStatus::DayFolderFailed ? TExperimentFile::FailureCaption() : result.Message;
    if (!result.FilePath.isEmpty())
        why += QStringLiteral(" (") + QDir::toNativeSeparators(result.FilePath) + u')';
    return why;
}
} // namespace

TSaveResult SaveExperiment(const TExperimentFileRecord& record,
                           const std::function<void(const QString&)>& setCaption) {
    const TDateTime t0 = Now();
    LastSaveTime = t0;
    const QString userdata = ProgramPath(QStringLiteral("Userdata"));
    // A restart numbers from 0001 again: skip the numbers an earlier run (or a recovered journal)
    // already used today, rather than replacing its file.
    if (TExperimentFile::NameAllowed(record.ExperimentName))
        SaveFileNumber =
            TExperimentFile::FirstFreeNumber(userdata, t0, record.ExperimentName, SaveFileNumber);
    const TSaveResult result = TExperimentFile::Save(record, userdata, t0, SaveFileNumber);
    LogEvent(QStringLiteral("Save"),
             result.Ok() ? QStringLiteral("wrote ") + QDir::toNativeSeparators(result.FilePath)
                         : QStringLiteral("failed: ") + FailureReason(result));
    switch (result.Status) {
    case TSaveStatus::Saved:
        SaveFileNumber += 1;
        break;
    case TSaveStatus::DayFolderFailed:
        if (setCaption)
            setCaption(TExperimentFile::FailureCaption());
        break;
    default:
        Dialogs().Message(result.Message);
        break;
    }
    return result;
}
