#pragma once
// The simulated SourceMeter 2401, with the pump wired to its rear terminals. It sources a voltage
// or a current, limited by the compliance (protection level) of the other quantity, and measures
// the pump's voltage and current. ":READ?" answers with the elements chosen by ":FORM:ELEM" (after
// *RST: voltage, current, resistance, time stamp and status word), each like "+2.500123E-01".
#include "simulator/ScpiInstrument.h"
#include "simulator/SimCell.h"

#include <set>

class TSmu2401 : public TScpiInstrument {
public:
    enum class TSource { Voltage, Current };
    enum class TElement { Volt, Curr, Res, Time, Stat };

    explicit TSmu2401(TSimCell& cell);

    std::string Identity() const override;
    void Reset() override;

    // What the instrument applies to the pump now (Off unless the output is on and the rear
    // terminals are in use).
    TPumpDrive Drive() const;

    TSource Source() const { return fSource; }
    double VoltageLevel() const { return fVoltLevel; }
    double CurrentLevel() const { return fCurrLevel; }
    double VoltageProtection() const { return fVoltProt; }
    double CurrentProtection() const { return fCurrProt; }
    bool OutputOn() const { return fOutput; }
    bool RearTerminals() const { return fRear; }
    double Nplc() const { return fNplc; }
    const std::vector<TElement>& Elements() const { return fElements; }

    static constexpr const char* kOverflow = "+9.9E37";

private:
    void Register();
    bool ParseFunctionList(TCall& call, std::set<std::string>& names);
    std::string TakeReading(TCall& call);

    TSimCell& fCell;
    TSource fSource = TSource::Voltage;
    double fVoltLevel = 0;
    double fCurrLevel = 0;
    double fVoltProt = 21;
    double fCurrProt = 105e-6;
    bool fVoltRangeAuto = true;
    bool fCurrRangeAuto = true;
    bool fSenseVoltRangeAuto = true;
    bool fSenseCurrRangeAuto = true;
    bool fConcurrent = true;
    std::set<std::string> fSenseOn; // "VOLT", "CURR", "RES"
    double fNplc = 1;
    bool fAutoZero = true;
    std::vector<TElement> fElements;
    bool fOutput = false;
    bool fRear = false;
    double fResetTime = 0;
    std::string fLastReading;
};
