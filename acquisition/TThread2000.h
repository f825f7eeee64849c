#pragma once
// The worker thread that reads the MultiMeter 2000 with its scanner card: thermistor (channel 3),
// thermocouple (channel 1) and, while the cell is hot, the oxygen sensor (channel 2). Once per
// cycle it hands its reading to its results step on the main thread (TCellResults), which feeds
// the temperature and pO2 averages and the PID controller.
#include "acquisition/CellHandOver.h"
#include "acquisition/IThread2000Host.h"
#include "acquisition/TCellResults.h"
#include "control/TRunState.h"
#include "instruments/TInstrumentWorker.h"
#include "recording/InstrumentReadings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>

class TSerialPort;

// The multimeter's set-up sequence, each command without its carriage return.
const QStringList& SetUpSequence2000();
// Sends the multimeter's set-up sequence on `port`; outcomes are ignored.
void Initialize2000(const QString& port);

class TThread2000 : public TInstrumentWorker {
    Q_OBJECT
public:
    // `run` is the run whose temperature and pO2 averages the results step feeds; it must outlive
    // the thread.
    TThread2000(IThread2000Host* host, TRunState& run, QObject* parent = nullptr);
    ~TThread2000() override;

    // Main thread's handles. A stop is requested with ToPauseEx false and ToStopEx true together.
    bool ToPauseEx() const { return fShared.ToPauseEx.load(); }
    void SetToPauseEx(bool v) { fShared.ToPauseEx.store(v); }
    // Ends the pause as well, so the worker never stops from within it.
    void RequestStop() override {
        SetToPauseEx(false);
        SetToStopEx(true);
    }

    // One exchange each, through the thread's port object (public for tests).
    void CloseChannel(int aChannel, TSerialPort& COM);
    bool Voltage(double& aResult, TSerialPort& COM);
    bool Resistance(double& aResult, TSerialPort& COM);
    static bool GetValue(const QString& Input, double& Output);

    std::uint64_t TickCount() const { return fTickCount.load(); }

protected:
    void Execute() override;
    void Initialize() override;
    std::function<void()> LinkFaultUpdate() override;
    bool Paused() const override;
    std::function<void()> PausedUpdate() override;

private:
    bool Reading(const QByteArray& command, double& aResult, TSerialPort& COM);

    // All the worker shares with its results step besides the stop request.
    TCellHandOver fShared;
    // Main thread only: the hand-overs run it.
    TCellResults fResults;
    // Worker only from here on.
    std::int32_t fOldChannel = -1;
    bool fCycleFailed = false; // a reading of this cycle failed
    std::atomic<std::uint64_t> fTickCount{0};
    double fVoltageTC = 0;
    double fVoltageTCPrevious = 0;
    double fVoltageTCTime = 0;
    bool fVoltageTCOK = false;
    bool fVoltageTCEverOK = false; // a thermocouple reading has succeeded since the start
    bool fTCFunctionOK = false;
    double fResistance = 0;
    double fResistancePrevious = 0;
    bool fResistanceOK = false;
    bool fResistanceEverOK = false; // a thermistor reading has succeeded since the start
    double fResistanceTime = 0;
    bool fThermistorFunctionOK = false;
    double fThermistorTemperature = 0;
    double fThermistorTempAsVolt = 0;
    double fVoltageSE = 0;
    bool fVoltageSEOK = false;
    double fVoltageSETime = 0;
    double fMeasurementsStartTime = 0;
    double fCellTemp = 0;
    double fCellTempPrev = 0;
};
