#include "app/StatusHints.h"

#include "app/ExperimentControlPage.h"
#include "app/TfrmOndrix.h"
#include "control/TPID.h"

#include <QRadioButton>

QString TStatusHints::PIDButtonHint() {
    return QStringLiteral("Open the \"PID tuning\" page: it builds the PID table that the PID modes need.");
}

QString TStatusHints::CurrentLimitHint() {
    return QStringLiteral(
        "The pump current is limited to 1 µA until the \"PID tuning\" page has built the PID "
        "table.");
}

QString TStatusHints::ModePaneHint(TProgramState state, bool pidTableBuilt) {
    if (pidTableBuilt || (state != TProgramState::SetVoltage && state != TProgramState::PPS))
        return {};
    return QStringLiteral(" (pump current limited to 1 µA: open \"PID tuning\" to build the table)");
}

void TStatusHints::Apply(TfrmOndrix& w) {
    const TRunState& run = w.Run();
    const bool built = run.PID && run.PID->Calibration.Valid;
    TExperimentControlPage& c = *w.ExperimentControl;
    const QString pidHint = built ? QString() : PIDButtonHint();
    const QString limitHint = built ? QString() : CurrentLimitHint();
    c.RadioButtonPIDSet->setToolTip(pidHint);
    c.RadioButtonPIDStep->setToolTip(pidHint);
    c.RadioButtonSetVoltage->setToolTip(limitHint);
    c.RadioButtonPPS->setToolTip(limitHint);
}
