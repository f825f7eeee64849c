#include "control/TThread2401.h"

#include "common/Clock.h"
#include "common/FreeAndNil.h"
#include "common/NumberFormat.h"
#include "control/TPID.h"
#include "diagnostics/LogChannel.h"
#include "instruments/InstrumentNumber.h"
#include "instruments/TLinkMonitor.h"
#include "instruments/TSerialPort.h"
#include "recording/TDataSynchronizer.h"

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

// The operator's words for a failed exchange.
QString FailureReason(const QByteArray& status) {
    if (status == TSerialPort::StatusPortInUse)
        return QStringLiteral("port missing");
    if (status == TSerialPort::StatusNoResponse)
        return QStringLiteral("no reply");
    return QStringLiteral("link failed");
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

QByteArray ZeroCurrentCommand2401() {
    return (QStringLiteral(":SOUR:FUNC CURR;:SOUR:CURR:LEV ") + Fixed6(0.0) +
            QStringLiteral(";:OUTPUT:STATE 1\r"))
        .toLatin1();
}

TThread2401::TThread2401(IThread2401Host* host, TRunState& run, QObject* parent)
    : TInstrumentWorker(QStringLiteral("2401"), LogThread2401, LinkSMU(), parent), fHost(host), fRun(run) {}

TThread2401::~TThread2401() {
    // The body reads this object's fields: it must have returned before they go.
    wait();
}

void TThread2401::Initialize() {
    Initialize2401(Port);
}

void TThread2401::LinkFault() {
    fRun.DropOpenPoint();
}

bool TThread2401::Paused() const {
    return fModeIntegrator.load() == TMode::Paused;
}

void TThread2401::PausedSecondStarts() {
    LogThread2401.Send(QStringLiteral("Mode: Paused"));
}

std::function<void()> TThread2401::PausedUpdate() {
    TSMUReading none;
    none.HandedAt = MonotonicSeconds();
    none.HandedAtWall = NowWithOffset();
    return [this, none] {
        FreeAndNil(fRun.SynchronizerI);
        FreeAndNil(fRun.SynchronizerV);
        UpdateResults(none);
    };
}

void TThread2401::Execute() {
    LogThread2401.EnterMethod(QStringLiteral("Execute"));
    auto COM = std::make_unique<TSerialPort>();
    COM->SetDebug(false);
    COM->SetPort(Port);
    COM->SetAbortFlag(&fToStopEx);
    StartLink();
    COM->Send2(QByteArray(":INIT\r"), true);

    // A stop request is also honoured outside the update step, so a silent or vanished
    // instrument (no good reading, hence no update) cannot keep the thread alive.
    while (!StopRequested()) {
        if (!WaitWhilePaused())
            break;
        LogThread2401.EnterMethod(QStringLiteral("Execute main loop starts (ToStop = false)"));

        // An instrument that came back from a power cut has its power-on settings (all five
        // reading elements, front terminals): its set-up sequence goes out again until readings
        // come back, with a growing pause between tries.
        if (ReinitializeIfDue()) {
            COM->Send2(QByteArray(":INIT\r"), true);
            std::lock_guard<std::mutex> lock(fDriveLock);
            fVoltageLimitApplied = 0; // the protection level goes out again with the next command
        }

        // The settings of this cycle, as the last update left them.
        QString voltageProtection;
        TMode mode;
        QString gsCurrentS;
        float sourceVoltage;
        double limitCurrentPID;
        {
            std::lock_guard<std::mutex> lock(fDriveLock);
            if (fVoltageLimitDesired != fVoltageLimitApplied) {
                if (!(fVoltageLimitDesired <= 1.1))
                    fVoltageLimitDesired = 1.1; // also for a value that is not a number
                if (fVoltageLimitDesired < -1.1)
                    fVoltageLimitDesired = -1.1;
                voltageProtection = QStringLiteral(";:SENS:VOLT:PROT:LEV ") + Fixed6(fVoltageLimitDesired);
                fVoltageLimitApplied = fVoltageLimitDesired;
            }
            mode = fModeIntegrator.load();
            gsCurrentS = fGSCurrentS;
            sourceVoltage = fSourceVoltageDesired;
            limitCurrentPID = fLimitCurrentPID;
        }

        if (mode == TMode::SetCurrent) {
            LogThread2401.Send(QStringLiteral("Mode: GS"));
            const QString command = QStringLiteral(":SENS:CURR:PROT:LEV ") + Fixed6(limitCurrentPID) +
                                    voltageProtection + QStringLiteral(";:SOUR:FUNC CURR;:SOUR:CURR:LEV ") +
                                    gsCurrentS + QStringLiteral(";:OUTPUT:STATE 1\r");
            LogThread2401.Send(command);
            COM->Send2(command.toLatin1(), false);
        } else if (mode != TMode::Uninitialized) {
            LogThread2401.Send(QStringLiteral("Mode: PS"));
            const QString volts = Fixed6(sourceVoltage);
            const QString command = QStringLiteral(":SENS:CURR:PROT:LEV ") + Fixed6(limitCurrentPID) +
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
            // A fault starts when its first failed exchange began, not when its time-out ended.
            const TLinkInstant began = TLinkInstant::Take();
            const TSerialResponse r = COM->Send2(QByteArray(":READ?\r"), true);
            if (!r.Status.isEmpty()) {
                LogThread2401.Send(QStringLiteral("Reading SMU failed"));
                LinkFailure(began, FailureReason(r.Status), false);
                if (r.Status == TSerialPort::StatusPortInUse)
                    PauseAfterUnopenablePort(*COM);
            } else {
                TSMUReading reading;
                reading.ResponseTime = MonotonicSeconds();
                const QList<QByteArray> fields = ReplyFields(r.Response);
                if (fields.size() == 2) {
                    const TInstrumentNumber v = ParseInstrumentNumber(fields[0]);
                    const TInstrumentNumber c = ParseInstrumentNumber(fields[1]);
                    reading.VoltageMeasured = v.Value;
                    reading.CurrentMeasured = c.Value;
                    LogThread2401.Send(QStringLiteral("Pump voltage: ") + General(v.Value) +
                                       QStringLiteral(" Current: ") + General(c.Value));
                    if (!v.Ok() || !c.Ok()) {
                        LogThread2401.Send(QStringLiteral("Val failure eV:") + QString::number(v.ErrorPos) +
                                           QStringLiteral(" eC:") + QString::number(c.ErrorPos));
                        LinkFailure(began, QStringLiteral("unreadable reply"), true);
                    } else if (IsOverflow(v.Value) || IsOverflow(c.Value)) {
                        // The instrument's mark for "no reading" is a number too; averaged in, it
                        // would make the point's current or voltage 1E37.
                        LogThread2401.Send(QStringLiteral("Overflow reading from instrument"));
                        LinkFailure(began, QStringLiteral("overflow readings"), true);
                    } else {
                        LinkSuccess();
                        reading.MeasurementsOK = true;
                        reading.HandedAt = MonotonicSeconds();
                        reading.HandedAtWall = NowWithOffset();
                        LogThread2401.Send(QStringLiteral("Bef S"));
                        HandOver([this, reading] { UpdateResults(reading); }, 100);
                        LogThread2401.Send(QStringLiteral("After S"));
                    }
                } else {
                    LogThread2401.Send(QStringLiteral("Wrong amount of readings from instrument"));
                    LinkFailure(began, QStringLiteral("wrong number of readings"), true);
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
        const QByteArray command = ZeroCurrentCommand2401();
        LogThread2401.Send(QString::fromLatin1(command));
        COM->Send2(command, false);
    }
    MarkStopped();
    COM.reset();
    LogThread2401.ExitMethod(QStringLiteral("Execute"));
}

void TThread2401::UpdateResults(const TSMUReading& reading) {
    // Runs on the main thread; the worker reads what this writes between updates, under the lock.
    std::lock_guard<std::mutex> lock(fDriveLock);
    const double L = fHost ? fHost->DataPointLength() : 10.0;
    // The time of the reading, not of this call: the call may come late when the main thread was
    // busy, and the point's times must be those of its readings. Durations come from the
    // monotonic clock; the wall clock only names the moment.
    const bool stamped = reading.HandedAt > 0;
    const double now = stamped ? reading.HandedAt : MonotonicSeconds();
    const TWallTime wall = stamped ? reading.HandedAtWall : NowWithOffset();
    TakeStopRequest();
    if (fModeEx.load() != fMode.load())
        fMode.store(fModeEx.load());
    if (fMode.load() == TMode::Paused) {
        fModeIntegrator.store(TMode::Paused);
        FreeAndNil(fRun.SynchronizerI);
        FreeAndNil(fRun.SynchronizerV);
    }
    fVoltageLimitDesired = 1.1;
    fLimitCurrentForm = 0.005;

    if (fRun.SynchronizerI) {
        // A point is open: nothing of the operator's settings is taken over until it completes.
        LogThread2401.Send(QStringLiteral("IntegrateI.DurationS: ") +
                           General(fRun.SynchronizerI->DurationS()) + QStringLiteral(" < ") + General(L));
        if (fRun.SynchronizerT)
            LogThread2401.Send(QStringLiteral("IntegrateT.DurationS: ") +
                               General(fRun.SynchronizerT->DurationS()) + QStringLiteral(" < ") + General(L));
    } else {
        if (fModeIntegrator.load() != fMode.load()) {
            fDataStartTime = now;
            fRun.DataPointDate = wall.Local;
            fModeIntegrator.store(fMode.load());
            if (fRun.ExperimentStartTime == 0)
                fRun.ExperimentStartTime = now;
        }
        const TMode integrating = fModeIntegrator.load();
        if (integrating == TMode::SetVoltage)
            fSourceVoltageDesired = float((fHost ? fHost->SetVoltagemV() : 0) / 1000.0);
        else if (integrating == TMode::PPS)
            fSourceVoltageDesired = float(fRun.PID ? fRun.PID->Setpoint() : 0.0);
        else
            fSourceVoltageDesired = 0;
        fGSCurrentMicroA = fRun.GSCurrentMicroA;
        fGSCurrentA = fGSCurrentMicroA / 1000000.0;
        fGSCurrentS = std::isfinite(fGSCurrentA) ? Fixed6(fGSCurrentA) : QStringLiteral("0.0");
        // The step and setpoint the next point is measured under.
        fPointStep = fRun.CurrentStep;
        fPointSetPoint = fRun.PID ? fRun.PID->Setpoint() : 0.0;
        LogThread2401.Send(QStringLiteral("Between integrations"));
    }

    const double A = fRun.PID ? fRun.PID->A() : 1.0;
    fLimitCurrentPID = A / 1000000.0;
    const TMode integrating = fModeIntegrator.load();
    if (reading.MeasurementsOK)
        fCurrentMeasured = reading.CurrentMeasured;
    if ((integrating == TMode::PIDSet || integrating == TMode::PIDStep) && fRun.PID) {
        fSourceVoltageDesired = float(fRun.PID->FeedBack() / 1000.0);
        LogThread2401.Send(QStringLiteral("PID or PPID mode fSourceVoltageDesired = ") +
                           General(fSourceVoltageDesired));
        fLimitCurrentPID = fRun.PID->A() / 1000000.0;
        fRun.PID->CurrentApplied = fCurrentMeasured;
        LogThread2401.Send(QStringLiteral("PID set mVolts ") + Fixed6(fSourceVoltageDesired));
        if (fHost)
            fHost->ShowPIDListing(fRun.PID->SL());
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

    if (integrating == TMode::Paused || !reading.MeasurementsOK) {
        LogThread2401.Send(QStringLiteral("Thread was paused or bad data"));
        return;
    }
    if (!LinksOK()) {
        // An instrument is out: the point starts afresh once both deliver again.
        fRun.DropOpenPoint();
        return;
    }

    if (!fRun.SynchronizerI)
        fRun.SynchronizerI = new TDataSynchronizer(QStringLiteral("I"));
    fRun.SynchronizerI->Add(reading.ResponseTime, now, reading.CurrentMeasured);
    if (!fRun.SynchronizerV)
        fRun.SynchronizerV = new TDataSynchronizer(QStringLiteral("V"));
    fRun.SynchronizerV->Add(reading.ResponseTime, now, reading.VoltageMeasured);

    const bool complete = fRun.SynchronizerI && L < fRun.SynchronizerI->DurationS() && fRun.SynchronizerT &&
                          L < fRun.SynchronizerT->DurationS() && fRun.SynchronizerpO2 &&
                          fRun.SynchronizerV->Count() > 0 && fRun.SynchronizerI->Count() > 0 &&
                          fRun.SynchronizerT->Count() > 0 && fRun.SynchronizerpO2->Count() > 0;
    if (!complete) {
        LogThread2401.Send(QStringLiteral("Skipped adding data"));
    } else {
        LogThread2401.Send(QStringLiteral("IntegrateI.DurationS: ") +
                           General(fRun.SynchronizerI->DurationS()) + QStringLiteral(" > ") + General(L));
        LogThread2401.Send(QStringLiteral("IntegrateT.DurationS: ") +
                           General(fRun.SynchronizerT->DurationS()) + QStringLiteral(" > ") + General(L));
        const double t = now;
        TDataPoint p = fRun.DataPoint; // CellpO2 carries over when this point has no fresh pO2 average
        p.PumpV = fRun.SynchronizerV->Average();
        p.PumpI = fRun.SynchronizerI->Average();
        p.Temp = fRun.SynchronizerT->Average();
        p.Time = t - fDataStartTime;
        p.Interval = std::max(fRun.SynchronizerI->TimeMax(), fRun.SynchronizerT->TimeMax()) -
                     std::min(fRun.SynchronizerI->TimeMin(), fRun.SynchronizerT->TimeMin());
        p.Mode = std::int32_t(integrating) + 10;
        const double pO2Duration = fRun.SynchronizerpO2->DurationS();
        if (pO2Duration > 0 || std::isnan(pO2Duration)) {
            p.CellpO2 = fRun.SynchronizerpO2->Average();
            p.CellpO2Valid = true;
            FreeAndNil(fRun.SynchronizerpO2);
        }
        FreeAndNil(fRun.SynchronizerI);
        FreeAndNil(fRun.SynchronizerV);
        FreeAndNil(fRun.SynchronizerT);
        p.Step = fPointStep;
        p.SetPoint = fPointSetPoint;
        p.Date = wall.Local;
        p.UtcOffsetS = wall.UtcOffsetS;
        p.Monotonic = t;
        fRun.DataPointDate = wall.Local;
        if (fMode.load() != TMode::Paused)
            fRun.HandOverDataPoint(p);
    }
    LogThread2401.Send(QStringLiteral("5"));
}
