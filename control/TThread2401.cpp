#include "control/TThread2401.h"

#include "common/Clock.h"
#include "common/FreeAndNil.h"
#include "common/NumberFormat.h"
#include "common/Synchronize.h"
#include "control/TPID.h"
#include "diagnostics/LogChannel.h"
#include "instruments/InstrumentNumber.h"
#include "instruments/TSerialPort.h"
#include "recording/TDataSynchronizer.h"

#include <QElapsedTimer>
#include <QList>
#include <algorithm>
#include <cmath>
#include <memory>

namespace {
QString Fixed6(double v) {
    return FormatInstrumentNumber(QStringLiteral("0.000000"), v);
}
QString General(double v) {
    return FormatGeneral(v);
}

// The instrument answers "+9.9E37" (or 9.91E37, "not a number") for a value it could not measure.
bool IsOverflow(double v) {
    return std::abs(v) >= 9.9e37;
}

// Fields of a reply: commas, blanks and control characters all separate fields; empty ones
// are dropped ("+1E-1, +2E-6\r" gives two).
QList<QByteArray> ReplyFields(const QByteArray& reply) {
    QList<QByteArray> fields;
    QByteArray cur;
    for (char c : reply) {
        if (c == ',' || static_cast<unsigned char>(c) <= 32) {
            if (!cur.isEmpty())
                fields << cur;
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.isEmpty())
        fields << cur;
    return fields;
}

} // namespace

const QStringList& SetUpSequence2401() {
    static const QStringList commands = {"*RST",
                                         ":ROUT:TERM REAR",
                                         ":SOUR:FUNC VOLT",
                                         ":SOUR:VOLT:MODE FIXED",
                                         ":SOUR:VOLT:RANGE:AUTO 1",
                                         ":SOUR:VOLT:LEVEL 0",
                                         ":SOUR:FUNC CURR",
                                         ":SOUR:CURR:MODE FIXED",
                                         ":SOUR:CURR:RANGE:AUTO 1",
                                         ":SOUR:CURR:LEVEL 0",
                                         ":SENS:VOLT:PROT 1",
                                         ":SENS:CURR:PROT 1",
                                         ":SENS:VOLT:PROT:LEV 1.1",
                                         ":SENS:CURR:PROT:LEV 0.005",
                                         ":SENS:FUNC:CONC ON",
                                         ":SENS:FUNC:ON \"VOLT\", \"CURR\"",
                                         ":SENS:VOLT:NPLC MIN",
                                         ":SENS:CURR:RANGE:AUTO 1",
                                         ":FORM:ELEM VOLT,CURR",
                                         ":OUTPUT:STATE 1"};
    return commands;
}

void Initialize2401(const QString& port) {
    TSerialPort com;
    com.SetDebug(false);
    com.SetPort(port);
    for (const QString& command : SetUpSequence2401())
        com.Send2(command.toLatin1() + '\r', false);
}

TThread2401::TThread2401(IThread2401Host* host, QObject* parent) : QThread(parent), fHost(host) {
    setObjectName(QStringLiteral("2401"));
}

TThread2401::~TThread2401() {
    wait();
}

QByteArray TThread2401::Response() const {
    return fResponse;
}

void TThread2401::run() {
    SetLogThreadName(QStringLiteral("2401"));
    Execute();
}

void TThread2401::Execute() {
    LogThread2401.EnterMethod(QStringLiteral("Execute"));
    auto COM = std::make_unique<TSerialPort>();
    COM->SetDebug(false);
    COM->SetPort(Port);
    COM->SetAbortFlag(&fToStopEx);
    fIsStopped.store(false);
    COM->Send2(QByteArray(":INIT\r"), true);

    // A stop request is also honoured outside the update step, so a silent or vanished
    // instrument (no good reading, hence no update) cannot keep the thread alive.
    const auto stopping = [this] { return fToStop.load() || fToStopEx.load(); };
    while (!stopping()) {
        fMeasurementsOK = false;
        bool stop = false;
        while (fModeIntegrator.load() == TMode::Paused) {
            LogThread2401.Send(QStringLiteral("Mode: Paused"));
            for (int i = 0; i < 50 && !fToStopEx.load(); ++i)
                QThread::msleep(20);
            Synchronize([this] {
                FreeAndNil(SynchronizerI);
                FreeAndNil(SynchronizerV);
                UpdateResults();
            });
            if (stopping()) {
                stop = true;
                break;
            }
        }
        if (stop)
            break;
        LogThread2401.EnterMethod(QStringLiteral("Execute main loop starts (ToStop = false)"));

        QString voltageProtection;
        if (fVoltageLimitDesired != fVoltageLimitApplied) {
            if (!(fVoltageLimitDesired <= 1.1))
                fVoltageLimitDesired = 1.1; // also for a value that is not a number
            if (fVoltageLimitDesired < -1.1)
                fVoltageLimitDesired = -1.1;
            voltageProtection = QStringLiteral(";:SENS:VOLT:PROT:LEV ") + Fixed6(fVoltageLimitDesired);
            fVoltageLimitApplied = fVoltageLimitDesired;
        }

        const TMode mode = fModeIntegrator.load();
        if (mode == TMode::SetCurrent) {
            LogThread2401.Send(QStringLiteral("Mode: GS"));
            const QString command = QStringLiteral(":SENS:CURR:PROT:LEV ") + Fixed6(fLimitCurrentPID) +
                                    voltageProtection + QStringLiteral(";:SOUR:FUNC CURR;:SOUR:CURR:LEV ") +
                                    fGSCurrentS + QStringLiteral(";:OUTPUT:STATE 1\r");
            LogThread2401.Send(command);
            COM->Send2(command.toLatin1(), false);
        } else if (mode != TMode::Uninitialized) {
            LogThread2401.Send(QStringLiteral("Mode: PS"));
            const QString volts = Fixed6(fSourceVoltageDesired);
            const QString command = QStringLiteral(":SENS:CURR:PROT:LEV ") + Fixed6(fLimitCurrentPID) +
                                    voltageProtection + QStringLiteral(";:SOUR:FUNC VOLT;:SOUR:VOLT:LEV ") +
                                    volts + QStringLiteral(";:OUTPUT:STATE 1\r");
            LogThread2401.Send(command);
            const TSerialResponse r = COM->Send2(command.toLatin1(), false);
            if (!r.Status.isEmpty()) {
                LogThread2401.Send(QStringLiteral("Failed to adjust source voltage to ") + volts);
                LogThread2401.Send(QStringLiteral("Serial port response: ") + QString::fromLatin1(r.Status));
            } else {
                LogThread2401.Send(QStringLiteral("Adjusted source voltage to ") + volts);
            }
        }

        if (!fToStopEx.load()) {
            const TSerialResponse r = COM->Send2(QByteArray(":READ?\r"), true);
            if (!r.Status.isEmpty()) {
                LogThread2401.Send(QStringLiteral("Reading SMU failed"));
                if (r.Status == TSerialPort::StatusPortInUse)
                    PauseAfterUnopenablePort(*COM);
            } else {
                fResponse = r.Response;
                fResponseTime = Now();
                const QList<QByteArray> fields = ReplyFields(r.Response);
                if (fields.size() == 2) {
                    const TInstrumentNumber v = ParseInstrumentNumber(fields[0]);
                    const TInstrumentNumber c = ParseInstrumentNumber(fields[1]);
                    fVoltageMeasured = v.Value;
                    fCurrentMeasured = c.Value;
                    LogThread2401.Send(QStringLiteral("Pump voltage: ") + General(fVoltageMeasured) +
                                       QStringLiteral(" Current: ") + General(fCurrentMeasured));
                    if (!v.Ok() || !c.Ok()) {
                        LogThread2401.Send(QStringLiteral("Val failure eV:") + QString::number(v.ErrorPos) +
                                           QStringLiteral(" eC:") + QString::number(c.ErrorPos));
                    } else if (IsOverflow(fVoltageMeasured) || IsOverflow(fCurrentMeasured)) {
                        // The instrument's mark for "no reading" is a number too; averaged in, it
                        // would make the point's current or voltage 1E37.
                        LogThread2401.Send(QStringLiteral("Overflow reading from instrument"));
                    } else {
                        fMeasurementsOK = true;
                        LogThread2401.Send(QStringLiteral("Bef S"));
                        Synchronize([this] { UpdateResults(); });
                        LogThread2401.Send(QStringLiteral("After S"));
                    }
                } else {
                    LogThread2401.Send(QStringLiteral("Wrong amount of readings from instrument"));
                }
            }
        }
        LogThread2401.ExitMethod(QStringLiteral("Execute main loop ends"));
    }
    // Leaving while the pump is driven: the last request (on exit, or before the thread is
    // replaced) is galvanostatic at 0 A, which a stopping thread would otherwise never send, and
    // the pump would go on pumping after the program has closed.
    const TMode last = fModeIntegrator.load();
    if (last != TMode::Paused && last != TMode::Uninitialized) {
        const QString command = QStringLiteral(":SOUR:FUNC CURR;:SOUR:CURR:LEV ") + Fixed6(0.0) +
                                QStringLiteral(";:OUTPUT:STATE 1\r");
        LogThread2401.Send(command);
        COM->Send2(command.toLatin1(), false);
    }
    fIsStopped.store(true);
    COM.reset();
    LogThread2401.ExitMethod(QStringLiteral("Execute"));
}

void TThread2401::PauseAfterUnopenablePort(const TSerialPort& COM) {
    // A port that cannot be opened (unplugged adapter) fails at once. Without a pause the loop
    // would spin, writing its failure lines to the log thousands of times a second until the
    // rolling log holds nothing else; a missing port costs what a silent instrument costs. A stop
    // request ends the pause.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < qint64(COM.ReadoutTimeoutMS()) && !fToStop.load() && !fToStopEx.load())
        QThread::msleep(20);
}

void TThread2401::UpdateResults() {
    const double L = fHost ? fHost->DataPointLength() : 10.0;
    fToStop.store(fToStopEx.load());
    if (fModeEx.load() != fMode.load())
        fMode.store(fModeEx.load());
    if (fMode.load() == TMode::Paused) {
        fModeIntegrator.store(TMode::Paused);
        FreeAndNil(SynchronizerI);
        FreeAndNil(SynchronizerV);
    }
    fVoltageLimitDesired = 1.1;
    fLimitCurrentForm = 0.005;

    if (SynchronizerI) {
        // A point is open: nothing of the operator's settings is taken over until it completes.
        LogThread2401.Send(QStringLiteral("IntegrateI.DurationS: ") + General(SynchronizerI->DurationS()) +
                           QStringLiteral(" < ") + General(L));
        if (SynchronizerT)
            LogThread2401.Send(QStringLiteral("IntegrateT.DurationS: ") +
                               General(SynchronizerT->DurationS()) + QStringLiteral(" < ") + General(L));
    } else {
        if (fModeIntegrator.load() != fMode.load()) {
            const TDateTime now = Now();
            fDataStartTime = now;
            DataPointDate = now;
            fModeIntegrator.store(fMode.load());
            if (ExperimentStartTime == 0)
                ExperimentStartTime = now;
        }
        const TMode integrating = fModeIntegrator.load();
        if (integrating == TMode::SetVoltage)
            fSourceVoltageDesired = float((fHost ? fHost->SetVoltagemV() : 0) / 1000.0);
        else if (integrating == TMode::PPS)
            fSourceVoltageDesired = float(PID ? PID->Setpoint() : 0.0);
        else
            fSourceVoltageDesired = 0;
        fGSCurrentMicroA = GSCurrentMicroA;
        fGSCurrentA = fGSCurrentMicroA / 1000000.0;
        fGSCurrentS = std::isfinite(fGSCurrentA) ? Fixed6(fGSCurrentA) : QStringLiteral("0.0");
        LogThread2401.Send(QStringLiteral("Between integrations"));
    }

    const double A = PID ? PID->A() : 1.0;
    fLimitCurrentPID = A / 1000000.0;
    const TMode integrating = fModeIntegrator.load();
    if ((integrating == TMode::PIDSet || integrating == TMode::PIDStep) && PID) {
        fSourceVoltageDesired = float(PID->FeedBack() / 1000.0);
        LogThread2401.Send(QStringLiteral("PID or PPID mode fSourceVoltageDesired = ") +
                           General(fSourceVoltageDesired));
        fLimitCurrentPID = PID->A() / 1000000.0;
        PID->CurrentApplied = fCurrentMeasured;
        LogThread2401.Send(QStringLiteral("PID set mVolts ") + Fixed6(fSourceVoltageDesired));
        if (fHost)
            fHost->ShowPIDListing(PID->SL());
    }

    // Setpoints beyond the program's limits are never sent.
    if (!(fSourceVoltageDesired <= fVoltageLimitDesired))
        fSourceVoltageDesired = float(fVoltageLimitDesired);
    if (fSourceVoltageDesired < -fVoltageLimitDesired)
        fSourceVoltageDesired = float(-fVoltageLimitDesired);
    if (fGSCurrentA > fLimitCurrentForm) {
        fGSCurrentA = fLimitCurrentForm;
        fGSCurrentS = Fixed6(fGSCurrentA);
    } else if (fGSCurrentA < -fLimitCurrentForm) {
        fGSCurrentA = -fLimitCurrentForm;
        fGSCurrentS = Fixed6(fGSCurrentA);
    }

    if (integrating == TMode::Paused || !fMeasurementsOK) {
        LogThread2401.Send(QStringLiteral("Thread was paused or bad data"));
        return;
    }

    const TDateTime now = Now();
    if (!SynchronizerI)
        SynchronizerI = new TDataSynchronizer(QStringLiteral("I"));
    SynchronizerI->Add(fResponseTime, now, fCurrentMeasured);
    if (!SynchronizerV)
        SynchronizerV = new TDataSynchronizer(QStringLiteral("V"));
    SynchronizerV->Add(fResponseTime, now, fVoltageMeasured);

    const bool complete = SynchronizerI && L < SynchronizerI->DurationS() && SynchronizerT &&
                          L < SynchronizerT->DurationS() && SynchronizerpO2 && SynchronizerV->Count() > 0 &&
                          SynchronizerI->Count() > 0 && SynchronizerT->Count() > 0 &&
                          SynchronizerpO2->Count() > 0;
    if (!complete) {
        LogThread2401.Send(QStringLiteral("Skipped adding data"));
    } else {
        LogThread2401.Send(QStringLiteral("IntegrateI.DurationS: ") + General(SynchronizerI->DurationS()) +
                           QStringLiteral(" > ") + General(L));
        LogThread2401.Send(QStringLiteral("IntegrateT.DurationS: ") + General(SynchronizerT->DurationS()) +
                           QStringLiteral(" > ") + General(L));
        const TDateTime t = Now();
        DataPoint.PumpV = SynchronizerV->Average();
        DataPoint.PumpI = SynchronizerI->Average();
        DataPoint.Temp = SynchronizerT->Average();
        DataPoint.Time = (t - fDataStartTime) * SecondsPerDay;
        DataPoint.Interval = (std::max(SynchronizerI->TimeMax(), SynchronizerT->TimeMax()) -
                              std::min(SynchronizerI->TimeMin(), SynchronizerT->TimeMin())) *
                             SecondsPerDay;
        DataPoint.Mode = std::int32_t(integrating) + 10;
        const double pO2Duration = SynchronizerpO2->DurationS();
        if (pO2Duration > 0 || std::isnan(pO2Duration)) {
            DataPoint.CellpO2 = SynchronizerpO2->Average();
            DataPoint.CellpO2Valid = true;
            FreeAndNil(SynchronizerpO2);
        }
        FreeAndNil(SynchronizerI);
        FreeAndNil(SynchronizerV);
        FreeAndNil(SynchronizerT);
        if (fMode.load() != TMode::Paused)
            DataPoint.Ready = true;
        DataPointDate = Now();
    }
    LogThread2401.Send(QStringLiteral("5"));
}
