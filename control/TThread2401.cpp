#include "control/TThread2401.h"

#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "diagnostics/LogChannel.h"
#include "instruments/InstrumentNumber.h"
#include "instruments/TLinkMonitor.h"
#include "instruments/TSerialPort.h"

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
    : TInstrumentWorker(QStringLiteral("2401"), LogThread2401, run.LinkSMU, parent),
      fResults(host, run, fShared, fStop) {}

TThread2401::~TThread2401() {
    // The body reads this object's fields: it must have returned before they go.
    wait();
}

void TThread2401::Initialize() {
    Initialize2401(Port);
}

std::function<void()> TThread2401::LinkFaultUpdate() {
    return [&results = fResults] { results.LinkFault(); };
}

bool TThread2401::Paused() const {
    // The published command, not the mode alone: a cycle never starts before the update that left
    // the pause has decided what it sends.
    return fShared.Command.Get().Mode == TMode::Paused;
}

void TThread2401::PausedSecondStarts() {
    LogThread2401.Send(QStringLiteral("Mode: Paused"));
}

std::function<void()> TThread2401::PausedUpdate() {
    TSMUReading none;
    none.HandedAt = MonotonicSeconds();
    none.HandedAtWall = NowWithOffset();
    return [&results = fResults, none] { results.UpdatePaused(none); };
}

void TThread2401::Execute() {
    LogThread2401.EnterMethod(QStringLiteral("Execute"));
    auto COM = std::make_unique<TSerialPort>();
    COM->SetDebug(false);
    COM->SetPort(Port);
    COM->SetAbortFlag(&fStop.Asked);
    StartLink();
    COM->Send2(QByteArray(":INIT\r"), true);

    // A stop request is also honoured outside the results step, so a silent or vanished
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
            fVoltageProtectionDue = true; // the protection level goes out again with the next command
        }

        // The newest command the results step decided on.
        const TPumpCommand command = fShared.Command.Get();
        if (command.Mode == TMode::SetCurrent) {
            LogThread2401.Send(QStringLiteral("Mode: GS"));
            const QByteArray bytes = command.Bytes(fVoltageProtectionDue);
            fVoltageProtectionDue = false;
            LogThread2401.Send(QString::fromLatin1(bytes));
            COM->Send2(bytes, false);
        } else if (command.Mode != TMode::Uninitialized) {
            LogThread2401.Send(QStringLiteral("Mode: PS"));
            const QByteArray bytes = command.Bytes(fVoltageProtectionDue);
            fVoltageProtectionDue = false;
            LogThread2401.Send(QString::fromLatin1(bytes));
            const TSerialResponse r = COM->Send2(bytes, false);
            if (!r.Status.isEmpty()) {
                LogThread2401.Send(QStringLiteral("Failed to adjust source voltage to ") + command.Level);
                LogThread2401.Send(QStringLiteral("Serial port response: ") + QString::fromLatin1(r.Status));
            } else {
                LogThread2401.Send(QStringLiteral("Adjusted source voltage to ") + command.Level);
            }
        }

        if (!fStop.Asked.load()) {
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
                        fReadingsHandedOver.fetch_add(1);
                        HandOver([&results = fResults, reading] { results.Update(reading); }, 100);
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
    const TMode last = fShared.ModeIntegrator.load();
    if (last != TMode::Paused && last != TMode::Uninitialized) {
        const QByteArray command = ZeroCurrentCommand2401();
        LogThread2401.Send(QString::fromLatin1(command));
        COM->Send2(command, false);
    }
    MarkStopped();
    COM.reset();
    LogThread2401.ExitMethod(QStringLiteral("Execute"));
}
