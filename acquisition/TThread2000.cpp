#include "acquisition/TThread2000.h"

#include "acquisition/Thermocouples.h"
#include "common/Clock.h"
#include "diagnostics/LogChannel.h"
#include "instruments/InstrumentNumber.h"
#include "instruments/TLinkMonitor.h"
#include "instruments/TSerialPort.h"

#include <cmath>
#include <memory>

const QStringList& SetUpSequence2000() {
    static const QStringList commands = {"*RST",
                                         ":SYST:BEEP:STAT 0",
                                         ":DISPLAY:ENABLE 1",
                                         ":INIT:CONT 0",
                                         ":SYST:AZER:STAT 1",
                                         ":SENS:FUNC 'VOLT:DC'",
                                         ":SENS:VOLT:DC:NPLC 1",
                                         ":SENS:VOLT:DC:AVER:STAT 0",
                                         ":SENS:FUNC 'RES'",
                                         ":SENS:RES:NPLC 1",
                                         ":SENS:RES:AVER:STAT OFF"};
    return commands;
}

void Initialize2000(const QString& port) {
    TSerialPort com;
    com.SetBaudRate(19200);
    com.SetWindowsReadLoopTimeoutMS(50);
    com.SetReadoutTimeoutMS(1000);
    com.SetDebug(false);
    com.SetPort(port);
    for (const QString& command : SetUpSequence2000())
        com.Send2(command.toLatin1() + '\r', false);
}

TThread2000::TThread2000(IThread2000Host* host, TRunState& run, QObject* parent)
    : TInstrumentWorker(QStringLiteral("K2000"), LogK2000, run.LinkDMM, parent),
      fResults(host, run, fShared, fStop) {}

TThread2000::~TThread2000() {
    // The body reads this object's fields: it must have returned before they go.
    wait();
}

void TThread2000::Initialize() {
    Initialize2000(Port);
}

std::function<void()> TThread2000::LinkFaultUpdate() {
    return [&results = fResults] { results.LinkFault(); };
}

bool TThread2000::Paused() const {
    return fShared.ToPause.load();
}

std::function<void()> TThread2000::PausedUpdate() {
    // Paused: the hand-over discards the temperature and pO2 averages.
    TDMMReading none;
    none.HandedAt = MonotonicSeconds();
    none.CellTemp = fCellTemp;
    return [&results = fResults, none] { results.UpdatePaused(none); };
}

bool TThread2000::GetValue(const QString& Input, double& Output) {
    const TInstrumentNumber n = ParseInstrumentNumber(Input);
    if (!n.Ok())
        return false; // Output keeps its previous value
    Output = n.Value;
    return Input != QLatin1String("+9.9E37"); // the instrument's overflow reading
}

void TThread2000::CloseChannel(int aChannel, TSerialPort& COM) {
    if (aChannel == fOldChannel)
        return;
    const TSerialResponse open = COM.Send2(QByteArray(":ROUT:OPEN:ALL\r"), false);
    const TSerialResponse close =
        COM.Send2(QByteArray(":ROUT:CLOSE (@") + QByteArray::number(aChannel) + ")\r", false);
    // Remember the channel only when the routing reached the instrument. After a failed write (port
    // unplugged, or held by someone else) the scanner may still sit on another channel; forgetting
    // it makes the next call route again, so fast-mode cycles never read the sensor through the
    // thermocouple's or the thermistor's channel.
    fOldChannel = open.Status.isEmpty() && close.Status.isEmpty() ? aChannel : -1;
}

bool TThread2000::Voltage(double& aResult, TSerialPort& COM) {
    return Reading(QByteArray(":FUNC \"VOLT:DC\";:READ?\r"), aResult, COM);
}

bool TThread2000::Resistance(double& aResult, TSerialPort& COM) {
    return Reading(QByteArray(":FUNC \"RES\";:READ?\r"), aResult, COM);
}

bool TThread2000::Reading(const QByteArray& command, double& aResult, TSerialPort& COM) {
    // A dropout starts when its first failed exchange began: a silent instrument is noticed only
    // when the reply time-out has passed.
    const TLinkInstant began = TLinkInstant::Take();
    const TSerialResponse r = COM.Send2(command, true);
    if (r.Status == TSerialPort::StatusPortInUse)
        PauseAfterUnopenablePort(COM);
    QString failure;
    bool answered = false;
    double v = aResult;
    if (!r.Status.isEmpty() || r.Response.isEmpty()) {
        failure = r.Status == TSerialPort::StatusPortInUse ? QStringLiteral("port missing")
                  : r.Status.isEmpty() || r.Status == TSerialPort::StatusNoResponse
                      ? QStringLiteral("no reply")
                      : QStringLiteral("link failed");
    } else if (!GetValue(QString::fromLatin1(r.Response), v)) {
        failure = r.Response.startsWith("+9.9E37") ? QStringLiteral("overflow readings")
                                                   : QStringLiteral("unreadable reply");
        answered = true;
    }
    if (failure.isEmpty()) {
        LinkReplied();
        aResult = v;
        return true;
    }
    // Told at once, so the open point is dropped and the status names the fault while the rest of
    // the cycle is still being read.
    fCycleFailed = true;
    LinkFailure(began, failure, answered);
    return false;
}

void TThread2000::Execute() {
    LogK2000.EnterMethod(QStringLiteral("Execute"));
    auto COM = std::make_unique<TSerialPort>();
    COM->SetBaudRate(19200);
    COM->SetWindowsReadLoopTimeoutMS(50);
    COM->SetReadoutTimeoutMS(2000);
    COM->SetPort(Port);
    COM->SetAbortFlag(&fStop.Asked);
    StartLink();

    while (!StopTaken()) {
        // A stop request ends the pause as well, so closing never waits on a paused thread.
        if (!WaitWhilePaused())
            break;

        LogK2000.EnterMethod(QStringLiteral("Main loop"));
        // A multimeter that came back from a power cut has lost its set-up and its scanner's
        // routing: the set-up goes out again until readings come back, with a growing pause.
        // A cycle after a set-up reads the temperatures too, so fast mode never carries readings
        // from before a dropout into the points after it.
        const bool reinitialized = ReinitializeIfDue();
        if (reinitialized)
            fOldChannel = -1;
        fCycleFailed = false;
        fMeasurementsStartTime = MonotonicSeconds();
        const std::int32_t fastCount = fShared.FastCount.load();
        const bool measure = reinitialized || !fShared.FastLogic.load() || fastCount <= 0 ||
                             (fTickCount.load() % std::uint64_t(fastCount)) == 0;

        // Thermistor at the cold junction (channel 3).
        if (measure) {
            CloseChannel(3, *COM);
            fResistanceOK = Resistance(fResistance, *COM);
            fResistanceEverOK = fResistanceEverOK || fResistanceOK;
            fResistancePrevious = fResistance;
            fResistanceTime = Now();
            if (!fResistanceOK)
                LogK2000.Send(QStringLiteral("Thermistor measurement failure"));
        } else {
            // Fast mode reuses the last reading, also when the last attempt failed; but a value
            // that was never read (0) is no reading and must not become a temperature.
            fResistanceOK = fResistanceEverOK;
            fResistance = fResistancePrevious;
            fResistanceTime = Now();
        }
        if (fResistanceOK && ThermistorToTemperature(fThermistorTemperature, fResistance)) {
            fThermistorFunctionOK = true;
        } else {
            LogK2000.Send(QStringLiteral("Thermistor value not within accepted range"));
            fThermistorFunctionOK = false;
        }

        // Thermocouple of the cell (channel 1).
        if (measure && !StopRequested()) {
            CloseChannel(1, *COM);
            fVoltageTCOK = Voltage(fVoltageTC, *COM);
            fVoltageTCEverOK = fVoltageTCEverOK || fVoltageTCOK;
            fVoltageTCPrevious = fVoltageTC;
            fVoltageTCTime = Now();
            if (!fVoltageTCOK)
                LogK2000.Send(QStringLiteral("TC voltage measurement failure"));
        } else if (measure) {
            fVoltageTCOK = false; // stopping: no reading this cycle
        } else {
            fVoltageTCOK = fVoltageTCEverOK;
            fVoltageTC = fVoltageTCPrevious;
            fVoltageTCTime = Now();
        }

        // Cell temperature: thermocouple voltage plus the cold junction's, averaged with the
        // previous cycle's; or the operator's override between 650 and 1050 degrees.
        if (fVoltageTCOK && TCVoltageInRange(TCTypeS, fVoltageTC)) {
            fTCFunctionOK = true;
            fThermistorTempAsVolt = TCTemperatureToMicroVolt(TCTypeS, fThermistorTemperature);
            const double cto = fShared.CTO.load();
            if (cto < 650 || cto > 1050) {
                const double T = TCVoltageToTemperature(TCTypeS, fThermistorTempAsVolt / 1e6 + fVoltageTC);
                if (fCellTempPrev == 0)
                    fCellTempPrev = T;
                fCellTemp = (fCellTempPrev + T) / 2;
                fCellTempPrev = T;
            } else {
                fCellTemp = cto;
            }
        } else {
            LogK2000.Send(QStringLiteral("Thermocouple voltage value not within accepted range"));
            fTCFunctionOK = false;
        }

        // Oxygen sensor (channel 2), only while the cell is hot enough for it.
        fVoltageSETime = Now();
        bool sensorRead = false;
        if (fCellTemp > 500 && fCellTemp < 1055 && !StopRequested()) {
            sensorRead = true;
            CloseChannel(2, *COM);
            fVoltageSEOK = Voltage(fVoltageSE, *COM);
            if (!fVoltageSEOK)
                LogK2000.Send(QStringLiteral("Sensor voltage measurement failure"));
        }

        // A cycle whose readings all came back as numbers may end a fault; each failed reading
        // has told the link already.
        if (!StopRequested() && (measure || sensorRead) && !fCycleFailed)
            LinkSuccess();
        TDMMReading reading;
        reading.TemperatureOK = fVoltageTCOK && fResistanceOK;
        reading.SensorOK = fVoltageSEOK;
        reading.StartTime = fMeasurementsStartTime;
        reading.HandedAt = MonotonicSeconds();
        reading.CellTemp = fCellTemp;
        reading.SensorVoltage = fVoltageSE;
        HandOver([&results = fResults, reading] { results.Update(reading); }, 100);
        fTickCount.fetch_add(1);
        LogK2000.ExitMethod(QStringLiteral("Main loop"));
        if (fStop.Asked.load())
            break; // taken over by the results step just run; don't start another cycle
    }
    MarkStopped();
    COM.reset();
    LogK2000.ExitMethod(QStringLiteral("Execute"));
}
