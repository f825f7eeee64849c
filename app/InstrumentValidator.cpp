#include "app/InstrumentValidator.h"

#include "acquisition/TThread2000.h"
#include "app/ConfigurationPage.h"
#include "app/ExperimentControlPage.h"
#include "app/TRtDoubleEdit.h"
#include "app/TfrmOndrix.h"
#include "common/Synchronize.h"
#include "control/TThread2401.h"
#include "diagnostics/EventLog.h"
#include "experiment/TExperimentModel.h"
#include "instruments/TSerialPort.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

namespace {
const QString kSMU = QStringLiteral("SMU");
const QString kDMM = QStringLiteral("DMM");

// The identification succeeds when the port answered with something that is not an echo.
bool Identified(const TSerialResponse& r) {
    return r.Status.isEmpty() && !r.Response.isEmpty() && r.Response != "*IDN?";
}

// The event-log line of an identification that failed.
QString FailedText(const QString& port, const TSerialResponse& id) {
    QString why = QString::fromLatin1(id.Status);
    if (why.isEmpty())
        why = id.Response.isEmpty() ? QStringLiteral("no answer")
                                    : QStringLiteral("the query came back as its echo");
    return QStringLiteral("validation on %1 failed: %2")
        .arg(port.isEmpty() ? QStringLiteral("(no port)") : port, why);
}

void SetPausedWhenBothValidated(TfrmOndrix& form) {
    if (!form.CheckBoxSMUValidated()->isChecked() || !form.CheckBox2000Validated()->isChecked())
        return;
    form.Model().ChangeMode(TProgramState::Paused, TModeChangeReason::Validation);
    // The mode buttons show the state the program is in. Checking a button from here runs none of
    // its handlers (those react to the operator's click), so there is no question and no marker row.
    form.ExperimentControl->RadioButtonModeOff->setChecked(true);
}
} // namespace

TInstrumentValidator::TInstrumentValidator(TfrmOndrix& form) : QObject(&form), fForm(form) {}

void TInstrumentValidator::Log(const QString& line) {
    fForm.ConfigurationPage->AppendLog(line);
}

void TInstrumentValidator::StopAndFreeThread2401() {
    if (!fForm.Thread2401)
        return;
    // As on exit: no current, then stop.
    fForm.Thread2401->SetModeEx(TMode::SetCurrent);
    fForm.Model().SetGSCurrent(0);
    StopAndFree(fForm.Thread2401);
}

TSerialResponse TInstrumentValidator::Identify(TSerialPort& com, const QString& port, int baud, int pollMs) {
    Log(QString());
    Log(QStringLiteral("Search for instrument on port ") + port);
    com.SetDebug(true);
    com.SetBaudRate(baud);
    com.SetWindowsReadLoopTimeoutMS(quint32(pollMs));
    com.SetReadoutTimeoutMS(1000);
    com.SetPort(port);
    const TSerialResponse id = com.Send2(QByteArray("*IDN?\r"), true);
    Log(QStringLiteral("Sent: ") + QString::fromLatin1(id.SentMessage).trimmed());
    if (Identified(id))
        Log(QStringLiteral("Response: ") + QString::fromLatin1(id.Response));
    return id;
}

void TInstrumentValidator::Button2000TestClick() {
    TConfigurationPage* page = fForm.ConfigurationPage;
    const QString port = page->Edit2000COMPort->text();
    {
        TSerialPort com;
        const TSerialResponse id = Identify(com, port, 19200, 150);
        if (Identified(id)) {
            // The program reads the rear inputs; the instrument answers 0 for them.
            const TSerialResponse inputs = com.Send2(QByteArray(":SYST:FRSW?\r"), true);
            if (!inputs.Status.isEmpty() || inputs.Response.trimmed() != "0") {
                Log(QStringLiteral("Change inputs button position from front to back, then validate again."));
                LogEvent(kDMM, QStringLiteral("validation on %1 failed: front inputs selected").arg(port));
            } else {
                page->CheckBox2000Validated->setChecked(true);
                // The old thread goes before the set-up sequence: a thread still cycling (with a
                // misbehaving instrument it never waits for the window) would hold the port during
                // some of the set-up commands, which would then be lost without a word.
                StopAndFree(fForm.Thread2000);
                Initialize2000(port);
                Log(QStringLiteral("Multimeter instrument and communication validated."));
                LogEvent(kDMM, QStringLiteral("validated on %1").arg(port));
            }
        } else {
            page->CheckBox2000Validated->setChecked(false);
            Log(QStringLiteral("Cannot communicate with Multimeter on this port. Port feedback: ") +
                QString::fromLatin1(id.Status));
            LogEvent(kDMM, FailedText(port, id));
        }
    }
    if (page->CheckBox2000Validated->isChecked()) {
        StopAndFree(fForm.Thread2000);
        auto* t = new TThread2000(&fForm.Model(), fForm.Model().Run());
        t->Port = port;
        t->SetToPauseEx(true);
        t->start();
        fForm.Thread2000 = t;
        SetPausedWhenBothValidated(fForm);
        fForm.SaveInstrumentSettings();
    }
}

void TInstrumentValidator::ButtonSMUTestClick() {
    TConfigurationPage* page = fForm.ConfigurationPage;
    const QString port = page->EditSMUCOMPort->text();
    {
        TSerialPort com;
        const TSerialResponse id = Identify(com, port, 57600, 50);
        if (Identified(id)) {
            fForm.SMUComPort = com.Port();
            // The old thread goes before the set-up sequence, which it could otherwise collide with.
            StopAndFreeThread2401();
            Initialize2401(fForm.SMUComPort);
            fForm.ExperimentControl->RtIntegerEditCurrentmA->SetLimits(-5, 5);
            fForm.ExperimentControl->RtIntegerEditSetVoltage->SetLimits(-1100, 1100);
            page->CheckBoxSMUValidated->setChecked(true);
            Log(QStringLiteral("SMU instrument and communication validated."));
            LogEvent(kSMU, QStringLiteral("validated on %1").arg(fForm.SMUComPort));
        } else {
            page->CheckBoxSMUValidated->setChecked(false);
            Log(QStringLiteral("Cannot communicate with SMU on this port. Port feedback: ") +
                QString::fromLatin1(id.Status));
            LogEvent(kSMU, FailedText(port, id));
        }
    }
    if (page->CheckBoxSMUValidated->isChecked()) {
        StopAndFreeThread2401();
        auto* t = new TThread2401(&fForm.Model(), fForm.Model().Run());
        t->Port = port;
        t->start();
        fForm.Thread2401 = t;
        SetPausedWhenBothValidated(fForm);
        fForm.SaveInstrumentSettings();
    }
}
