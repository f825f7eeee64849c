#include "simulator/Dmm2000.h"

#include "simulator/SimCell.h"

namespace {
constexpr double kLineCycleS = 0.02; // 50 Hz mains
constexpr int kChannels = 10;
constexpr double kOpenInputNoiseV = 2e-6;
constexpr double kFunctionChangeS = 0.01;
constexpr double kRelaySettleS = 0.005;
} // namespace

TDmm2000::TDmm2000(TSimCell& cell) : fCell(cell) {
    Register();
    Reset();
}

std::string TDmm2000::Identity() const {
    return "ONDRIX-CELLSIM,MODEL 2000,SIM0002,1.0 (simulated multimeter)";
}

void TDmm2000::Reset() {
    fFunction = TFunction::VoltDc;
    fChannel = 0;
    fNplcVolt = 1;
    fNplcRes = 1;
    fAverageVolt = false;
    fAverageRes = false;
    fAutoZero = true;
    fInitContinuous = false;
    fDisplay = true;
    fBeeper = true;
    fLastReading = kOverflow;
}

void TDmm2000::PowerOn() {
    TScpiInstrument::PowerOn();
    fInitContinuous = true;
}

double TDmm2000::Nplc(TFunction f) const {
    return f == TFunction::VoltDc ? fNplcVolt : fNplcRes;
}

std::string TDmm2000::FunctionName() const {
    switch (fFunction) {
    case TFunction::VoltDc:
        return "VOLT:DC";
    case TFunction::Resistance:
        return "RES";
    case TFunction::FourWireResistance:
        return "FRES";
    }
    return "VOLT:DC";
}

void TDmm2000::Register() {
    auto boolSetting = [this](const std::string& pattern, bool& field) {
        Add(
            pattern,
            [this, &field](TCall& c) {
                bool v = false;
                if (NeedParams(c, 1) && BoolParam(c, 0, v))
                    field = v;
            },
            [&field](TCall& c) { c.reply = field ? "1" : "0"; });
    };
    boolSetting(":SYSTem:BEEPer[:STATe]", fBeeper);
    boolSetting(":DISPlay:ENABle", fDisplay);
    boolSetting(":INITiate:CONTinuous", fInitContinuous);
    boolSetting(":SYSTem:AZERo[:STATe]", fAutoZero);
    boolSetting("[:SENSe]:VOLTage[:DC]:AVERage[:STATe]", fAverageVolt);
    boolSetting("[:SENSe]:RESistance:AVERage[:STATe]", fAverageRes);
    boolSetting("[:SENSe]:FRESistance:AVERage[:STATe]", fAverageRes);

    auto nplcSetting = [this](const std::string& pattern, double& field) {
        Add(
            pattern,
            [this, &field](TCall& c) {
                double v = 0;
                if (NeedParams(c, 1) && NumberParam(c, 0, 0.01, 10, 1, v))
                    field = v;
            },
            [&field](TCall& c) { c.reply = FormatNumber(field); });
    };
    nplcSetting("[:SENSe]:VOLTage[:DC]:NPLCycles", fNplcVolt);
    nplcSetting("[:SENSe]:RESistance:NPLCycles", fNplcRes);
    nplcSetting("[:SENSe]:FRESistance:NPLCycles", fNplcRes);

    Add(
        "[:SENSe]:FUNCtion",
        [this](TCall& c) {
            if (!NeedParams(c, 1))
                return;
            const std::string name = TScpiParser::Upper(TScpiParser::Unquote(c.params[0]));
            TFunction f;
            if (name == "VOLT:DC" || name == "VOLT" || name == "VOLTAGE:DC" || name == "VOLTAGE")
                f = TFunction::VoltDc;
            else if (name == "RES" || name == "RESISTANCE")
                f = TFunction::Resistance;
            else if (name == "FRES" || name == "FRESISTANCE")
                f = TFunction::FourWireResistance;
            else {
                PushError(-224, "Illegal parameter value");
                return;
            }
            if (f != fFunction)
                c.busyS += kFunctionChangeS;
            fFunction = f;
        },
        [this](TCall& c) { c.reply = "\"" + FunctionName() + "\""; });

    Add(
        ":ROUTe:CLOSe",
        [this](TCall& c) {
            std::vector<int> channels;
            if (!NeedParams(c, 1))
                return;
            if (!TScpiParser::ParseChannelList(c.params[0], channels) || channels.size() != 1) {
                PushError(-224, "Illegal parameter value");
                return;
            }
            if (channels[0] < 1 || channels[0] > kChannels) {
                PushError(-222, "Data out of range");
                return;
            }
            fChannel = channels[0];
            c.busyS += kRelaySettleS;
        },
        [this](TCall& c) { c.reply = fChannel ? "(@" + std::to_string(fChannel) + ")" : "(@)"; });
    Add(":ROUTe:OPEN:ALL", [this](TCall& c) {
        fChannel = 0;
        c.busyS += kRelaySettleS / 2;
    });
    Add(":SYSTem:FRSWitch", nullptr,
        [this](TCall& c) { c.reply = Faults().Get(TFault::FrontInputs) ? "1" : "0"; });
    Add(":INITiate[:IMMediate]", [this](TCall& c) {
        bool overflow = false;
        const double v = Measure(overflow);
        fLastReading = overflow ? kOverflow : TScpiParser::FormatScientific(v, 8);
        c.busyS += Nplc(fFunction) * kLineCycleS * (fAutoZero ? 2 : 1);
    });
    Add(":READ", nullptr, [this](TCall& c) { c.reply = TakeReading(c); });
    Add(":FETCh", nullptr, [this](TCall& c) { c.reply = fLastReading; });
}

double TDmm2000::Measure(bool& overflow) {
    overflow = false;
    const bool resistance = fFunction != TFunction::VoltDc;
    const int channel = Faults().Get(TFault::FrontInputs) ? 0 : fChannel;
    double value = 0;
    switch (channel) {
    case 1:
        value = resistance ? fCell.Params().tcLoopOhm + fCell.Noise(0.01) : fCell.ThermocoupleVolt();
        break;
    case 2:
        value = resistance ? fCell.Params().sensorOhm + fCell.Noise(0.1) : fCell.SensorVolt();
        break;
    case 3:
        value = resistance ? fCell.ThermistorOhm() : fCell.Noise(kOpenInputNoiseV);
        break;
    default: // open input
        overflow = resistance;
        value = fCell.Noise(kOpenInputNoiseV);
        break;
    }
    return value;
}

std::string TDmm2000::TakeReading(TCall& call) {
    if (fInitContinuous)
        PushError(-213, "Init ignored");
    bool overflow = false;
    const double value = Measure(overflow);
    call.busyS += Nplc(fFunction) * kLineCycleS * (fAutoZero ? 2 : 1) + 0.003;
    std::string text = overflow ? kOverflow : TScpiParser::FormatScientific(value, 8);
    if (Faults().Get(TFault::Overflow))
        text = kOverflow;
    fLastReading = text;
    if (Faults().Get(TFault::WrongFieldCount))
        text += "," + TScpiParser::FormatScientific(fCell.TimeS(), 8);
    return text;
}
