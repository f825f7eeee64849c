#pragma once
// The simulated MultiMeter 2000 with its scanner card, wired to the cell:
//   channel 1  type S thermocouple of the cell (DC volts)
//   channel 2  oxygen sensor (DC volts)
//   channel 3  thermistor at the thermocouple's cold junction (ohms)
// Channels 4 to 10 are unconnected. With no channel closed, or with the front inputs selected, the
// meter sees open inputs: a few microvolts of noise, and the overflow reading for ohms.
#include "simulator/ScpiInstrument.h"

class TSimCell;

class TDmm2000 : public TScpiInstrument {
public:
    enum class TFunction { VoltDc, Resistance, FourWireResistance };

    explicit TDmm2000(TSimCell& cell);

    std::string Identity() const override;
    void Reset() override;
    // The meter powers on measuring continuously, as its front panel shows.
    void PowerOn() override;

    TFunction Function() const { return fFunction; }
    int ClosedChannel() const { return fChannel; } // 0: none
    double Nplc(TFunction f) const;
    bool AutoZero() const { return fAutoZero; }
    bool ContinuousInitiation() const { return fInitContinuous; }

    static constexpr const char* kOverflow = "+9.9E37";

private:
    void Register();
    std::string TakeReading(TCall& call);
    double Measure(bool& overflow);
    std::string FunctionName() const;

    TSimCell& fCell;
    TFunction fFunction = TFunction::VoltDc;
    int fChannel = 0;
    double fNplcVolt = 1;
    double fNplcRes = 1;
    bool fAverageVolt = false;
    bool fAverageRes = false;
    bool fAutoZero = true;
    bool fInitContinuous = false;
    bool fDisplay = true;
    bool fBeeper = true;
    std::string fLastReading = kOverflow;
};
