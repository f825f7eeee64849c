#include "control/PumpCommand.h"

#include "instruments/InstrumentNumber.h"

#include <cmath>

namespace {
QString Fixed6(double v) {
    return FormatInstrumentNumber(QStringLiteral("0.000000"), v);
}
} // namespace

TPumpCommand PumpCommand(const TPumpDemand& d) {
    TPumpCommand c;
    c.Mode = d.Mode;
    c.SourceCurrent = d.Mode == TMode::SetCurrent;
    c.ComplianceA = d.CurrentLimitMicroA / 1000000.0; // µA to A
    if (c.SourceCurrent) {
        // Galvanostatic current, A (µA / 1e6), held to ±kPumpCurrentLimitA; a setpoint that is not
        // a number sends no current.
        const double amps = d.GSCurrentMicroA / 1000000.0;
        c.Level = std::isfinite(amps) ? Fixed6(amps) : QStringLiteral("0.0");
        if (amps > kPumpCurrentLimitA)
            c.Level = Fixed6(kPumpCurrentLimitA);
        else if (amps < -kPumpCurrentLimitA)
            c.Level = Fixed6(-kPumpCurrentLimitA);
        return c;
    }
    // Source voltage, V, as the instrument's single precision level: the PS set voltage (mV / 1000),
    // the PPS setpoint, the PID output (mV / 1000), else 0; held to ±kPumpVoltageLimitV (a value that
    // is not a number to +kPumpVoltageLimitV).
    float volts = 0;
    if (d.Mode == TMode::SetVoltage)
        volts = float(d.SetVoltagemV / 1000.0);
    else if (d.Mode == TMode::PPS)
        volts = float(d.PPSVoltageV);
    else if ((d.Mode == TMode::PIDSet || d.Mode == TMode::PIDStep) && d.PIDDrives)
        volts = float(d.PIDFeedBackmV / 1000.0);
    if (!(volts <= kPumpVoltageLimitV))
        volts = float(kPumpVoltageLimitV);
    if (volts < -kPumpVoltageLimitV)
        volts = float(-kPumpVoltageLimitV);
    c.Level = Fixed6(volts);
    return c;
}

QByteArray TPumpCommand::Bytes(bool voltageProtection) const {
    if (Mode == TMode::Uninitialized)
        return {};
    const QString protection =
        voltageProtection ? QStringLiteral(";:SENS:VOLT:PROT:LEV ") + Fixed6(kPumpVoltageLimitV) : QString();
    const QString source = SourceCurrent ? QStringLiteral(";:SOUR:FUNC CURR;:SOUR:CURR:LEV ")
                                         : QStringLiteral(";:SOUR:FUNC VOLT;:SOUR:VOLT:LEV ");
    return (QStringLiteral(":SENS:CURR:PROT:LEV ") + Fixed6(ComplianceA) + protection + source + Level +
            QStringLiteral(";:OUTPUT:STATE 1\r"))
        .toLatin1();
}
