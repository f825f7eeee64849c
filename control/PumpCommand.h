#pragma once
// What the SourceMeter is told to source in one cycle: from the integrating mode and its settings
// the source function (current or voltage), its level and the current compliance, with the
// program's limits on what may reach the pump applied in this one place. A pure function: the main
// thread works the command out after each reading, the SourceMeter worker sends the newest one.
#include "control/TRunState.h"

#include <QByteArray>
#include <QString>

// The pump's limits: the source voltage and the voltage protection, and the galvanostatic current.
constexpr double kPumpVoltageLimitV = 1.1;   // ±V
constexpr double kPumpCurrentLimitA = 0.005; // ±A

// What decides the drive. The setpoints of the galvanostatic, PS and PPS modes are those taken
// over between points; the PID output and the current limit are the controller's latest.
struct TPumpDemand {
    TMode Mode = TMode::Paused;    // the integrating mode
    double GSCurrentMicroA = 0;    // the galvanostatic setpoint, µA (SetCurrent)
    int SetVoltagemV = 0;          // the PS set voltage, mV (SetVoltage)
    double PPSVoltageV = 0;        // the PID setpoint as a pump voltage, V (PPS)
    bool PIDDrives = false;        // a PID controller drives PIDSet and PIDStep
    double PIDFeedBackmV = 0;      // its output, mV
    double CurrentLimitMicroA = 1; // the controller's current limit (its A), µA
};

struct TPumpCommand {
    TMode Mode = TMode::Paused; // Uninitialized: nothing is sent
    bool SourceCurrent = false; // source current (galvanostatic), else voltage
    QString Level;              // the source level as sent, A or V
    double ComplianceA = 1e-6;  // the current protection level, A
    // The command with its carriage return; `voltageProtection` also sets the voltage protection
    // level (after the set-up, and when it changed). Empty in Uninitialized.
    QByteArray Bytes(bool voltageProtection) const;
};

TPumpCommand PumpCommand(const TPumpDemand& demand);
