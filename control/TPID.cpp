#include "control/TPID.h"

#include "common/NumberFormat.h"
#include "diagnostics/LogChannel.h"

#include <cmath>

namespace {

constexpr double kCurrentLimitMin = 1.0;    // µA
constexpr double kCurrentLimitMax = 5000.0; // µA
constexpr double kNearLimit = 1.02;         // the integral stops growing within 2% of the limit

// Errors and their change are held to one decade of pO2 either way; an undefined one counts as
// a full decade too much oxygen.
double ClampDecade(double v) {
    if (v > 1 || std::isnan(v))
        v = 1;
    if (v < -1)
        v = -1;
    return v;
}

} // namespace

TPID::TPID() = default;

TPID::~TPID() = default;

void TPID::ResetIntegral() {
    pIntegralValue = 0;
    LogPID.Send(QStringLiteral("PID reset"));
}

double TPID::P() const {
    const TPIDCalibData* row = Calibration.RowAt(pProcessVariable);
    return row ? row->P : 1.0;
}

double TPID::I() const {
    const TPIDCalibData* row = Calibration.RowAt(pProcessVariable);
    return row ? row->I : 1.0;
}

double TPID::D() const {
    const TPIDCalibData* row = Calibration.RowAt(pProcessVariable);
    return row ? row->D : 1.0;
}

double TPID::A() const {
    const TPIDCalibData* row = Calibration.RowAt(pProcessVariable);
    if (!row)
        return 1.0;
    const double a = row->A;
    if (a > kCurrentLimitMax || std::isnan(a))
        return kCurrentLimitMax;
    if (a < kCurrentLimitMin)
        return kCurrentLimitMin;
    return a;
}

void TPID::SetProcessVariable(double value) {
    pProcessVariable = value;
    const double p = P();
    const double i = I();
    const double d = D();
    const double a = A();

    // Positive when the cell holds more oxygen than wanted.
    const double error = ClampDecade(value - pSetpoint);

    // Anti-windup: while the pump already runs within 2% of its current limit, a positive error
    // must not grow the integral any further; it may still shrink.
    const double limit = a / kNearLimit;
    const double applied = CurrentApplied * 1000000.0;
    double delta;
    QString conclusion;
    if (applied <= limit) {
        delta = i * error / 1000;
        conclusion = QStringLiteral("Normal Integral operation");
    } else if (error <= 0) {
        delta = i * error / 1000;
        conclusion = QStringLiteral("Below setpoint -> can reduce Integral term");
    } else {
        delta = 0;
        conclusion = QStringLiteral("Applied current within 2% of limit -> do not increase Integral term");
    }

    const double derivative = ClampDecade(error - pOldError);

    // The integral enters with the sum before this step's increment.
    const double output = p * error + i * pIntegralValue + d * derivative;
    pFeedBack = (output < 0 || std::isnan(output)) ? 0.0 : output;

    const QString empty;
    pSL.clear();
    pSL.reserve(26);
    pSL << QStringLiteral("                Setpoint ") + FormatFloat(QStringLiteral("0.000"), pSetpoint)
        << QStringLiteral("            ProcessValue ") + FormatFloat(QStringLiteral("0.000"), value)
        << QStringLiteral("                   Error ") + FormatFloat(QStringLiteral("0.000"), error) << empty
        << QStringLiteral("            Proportional ") + FormatFloat(QStringLiteral("0.0"), error)
        << QStringLiteral("                P weight ") + FormatFloat(QStringLiteral("0.00"), p)
        << QStringLiteral("                 P total ") + FormatFloat(QStringLiteral("0.00"), p * error)
        << empty << QStringLiteral("Local current limit (µA) ") + FormatFloat(QStringLiteral("0.0"), a)
        << QStringLiteral("           2% limit (µA) ") + FormatFloat(QStringLiteral("0.0"), limit)
        << QStringLiteral("Previous applied current ") + FormatFloat(QStringLiteral("0.0"), applied)
        << QStringLiteral("              Conclusion ") + conclusion << empty
        << QStringLiteral("   Previous Integral sum ") + FormatFloat(QStringLiteral("0.0"), pIntegralValue)
        << QStringLiteral("                   Error ") + FormatFloat(QStringLiteral("0.000"), error)
        << QStringLiteral("                I weight ") + FormatFloat(QStringLiteral("0"), i) +
               QStringLiteral("/1000")
        << QStringLiteral("           I delta total ") + FormatFloat(QStringLiteral("0.00"), delta);
    pIntegralValue += delta;
    pSL << QStringLiteral("        New Integral sum ") + FormatFloat(QStringLiteral("0.00"), pIntegralValue)
        << empty
        << QStringLiteral("               Old Error ") + FormatFloat(QStringLiteral("0.000"), pOldError)
        << QStringLiteral("                   Error ") + FormatFloat(QStringLiteral("0.000"), error)
        << QStringLiteral("                Derivate ") + FormatFloat(QStringLiteral("0.000"), derivative)
        << QStringLiteral("                D weight ") + FormatFloat(QStringLiteral("0.0"), d)
        << QStringLiteral("                 D total ") + FormatFloat(QStringLiteral("0.00"), derivative * d)
        << empty
        << QStringLiteral("           Feedback (mV) ") + FormatFloat(QStringLiteral("0.00"), pFeedBack);

    pOldError = error;
}
