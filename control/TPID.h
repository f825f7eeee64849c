#pragma once
// The PID controller of the PID and PPID modes. Its process value is log10(pO2) of the sensor,
// its setpoint a log10(pO2) target, and its output (the feedback) the pump voltage in mV, never
// negative. The gains P, I, D and the pump current limit A are looked up in the calibration table
// at the current process value.
//
// The controller is passive: writing a process value runs one step. Main thread only.
#include "control/TPIDCalib.h"

#include <QStringList>

class TPID {
public:
    TPID();
    virtual ~TPID();
    TPID(const TPID&) = delete;
    TPID& operator=(const TPID&) = delete;

    // Clears the integral sum (and says so on the "PID" channel); nothing else changes.
    void ResetIntegral();

    double Setpoint() const { return pSetpoint; }
    void SetSetpoint(double value) { pSetpoint = value; }

    double ProcessVariable() const { return pProcessVariable; }
    // Stores the process value and runs one controller step at it.
    void SetProcessVariable(double value);

    // Output of the last step, mV, >= 0.
    double FeedBack() const { return pFeedBack; }

    // Table lookups at the current process value; 1 each while no table is built. A is held to
    // 1 ... 5000 µA.
    double P() const;
    double I() const;
    double D() const;
    double A() const;

    // The 26-line listing of the last step.
    const QStringList& SL() const { return pSL; }
    void SetSL(const QStringList& value) { pSL = value; }

private:
    double pSetpoint = 0;
    double pProcessVariable = 0;
    double pIntegralValue = 0;
    double pFeedBack = 0;
    double pOldError = 0; // clamped error of the previous step
    QStringList pSL;

public:
    TPIDCalib Calibration;
    // Pump current of the latest SourceMeter cycle in the PID modes, A, signed.
    double CurrentApplied = 0;
};
