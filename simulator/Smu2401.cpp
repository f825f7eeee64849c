#include "simulator/Smu2401.h"

#include <cmath>

namespace {
constexpr double kLineCycleS = 0.02; // 50 Hz mains
constexpr double kMaxVolt = 21.0;    // the 2401's source and compliance ranges
constexpr double kMaxCurrent = 1.05;
constexpr double kNotMeasured = 9.91e37;
constexpr int kComplianceBit = 8;
const char* const kElementNames[] = {"VOLT", "CURR", "RES", "TIME", "STAT"};
} // namespace

TSmu2401::TSmu2401(TSimCell& cell) : fCell(cell) {
    Register();
    Reset();
}

std::string TSmu2401::Identity() const {
    return "ONDRIX-CELLSIM,MODEL 2401,SIM0001,1.0 (simulated SourceMeter)";
}

void TSmu2401::Reset() {
    fSource = TSource::Voltage;
    fVoltLevel = 0;
    fCurrLevel = 0;
    fVoltProt = 21;
    fCurrProt = 105e-6;
    fVoltRangeAuto = fCurrRangeAuto = true;
    fSenseVoltRangeAuto = fSenseCurrRangeAuto = true;
    fConcurrent = true;
    fSenseOn = {"CURR"};
    fNplc = 1;
    fAutoZero = true;
    fElements = {TElement::Volt, TElement::Curr, TElement::Res, TElement::Time, TElement::Stat};
    fOutput = false;
    fRear = false; // *RST selects the front terminals; the pump hangs on the rear ones
    fResetTime = fCell.TimeS();
    fLastReading.clear();
}

TPumpDrive TSmu2401::Drive() const {
    TPumpDrive d;
    if (!fOutput || !fRear || Faults().Get(TFault::FrontInputs))
        return d;
    if (fSource == TSource::Voltage) {
        d.kind = TPumpDrive::Voltage;
        d.level = fVoltLevel;
        d.compliance = fCurrProt;
    } else {
        d.kind = TPumpDrive::Current;
        d.level = fCurrLevel;
        d.compliance = fVoltProt;
    }
    return d;
}

bool TSmu2401::ParseFunctionList(TCall& call, std::set<std::string>& names) {
    names.clear();
    if (call.params.empty()) {
        PushError(-109, "Missing parameter");
        return false;
    }
    for (const std::string& p : call.params) {
        // A single quoted string may itself hold a comma-separated list.
        for (const std::string& item : TScpiParser::SplitParams(TScpiParser::Unquote(p))) {
            std::string n = TScpiParser::Upper(TScpiParser::Unquote(item));
            if (n.size() > 3 && n.compare(n.size() - 3, 3, ":DC") == 0)
                n.resize(n.size() - 3);
            if (n == "VOLTAGE")
                n = "VOLT";
            else if (n == "CURRENT")
                n = "CURR";
            else if (n == "RESISTANCE")
                n = "RES";
            if (n != "VOLT" && n != "CURR" && n != "RES") {
                PushError(-224, "Illegal parameter value");
                return false;
            }
            names.insert(n);
        }
    }
    return true;
}

void TSmu2401::Register() {
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
    auto numberSetting = [this](const std::string& pattern, double& field, double min, double max,
                                double def) {
        Add(
            pattern,
            [this, &field, min, max, def](TCall& c) {
                double v = 0;
                if (NeedParams(c, 1) && NumberParam(c, 0, min, max, def, v))
                    field = v;
            },
            [&field](TCall& c) { c.reply = FormatNumber(field); });
    };

    Add(
        ":ROUTe:TERMinals",
        [this](TCall& c) {
            if (!NeedParams(c, 1))
                return;
            const std::string t = TScpiParser::Upper(c.params[0]);
            if (t == "REAR")
                fRear = true;
            else if (t == "FRON" || t == "FRONT")
                fRear = false;
            else
                PushError(-224, "Illegal parameter value");
        },
        [this](TCall& c) { c.reply = fRear && !Faults().Get(TFault::FrontInputs) ? "REAR" : "FRON"; });

    Add(
        ":SOURce:FUNCtion[:MODE]",
        [this](TCall& c) {
            if (!NeedParams(c, 1))
                return;
            const std::string f = TScpiParser::Upper(c.params[0]);
            if (f == "VOLT" || f == "VOLTAGE")
                fSource = TSource::Voltage;
            else if (f == "CURR" || f == "CURRENT")
                fSource = TSource::Current;
            else
                PushError(-224, "Illegal parameter value");
        },
        [this](TCall& c) { c.reply = fSource == TSource::Voltage ? "VOLT" : "CURR"; });
    // Only fixed-level sourcing is simulated; sweeps and lists are refused.
    for (const char* pattern : {":SOURce:VOLTage:MODE", ":SOURce:CURRent:MODE"}) {
        Add(
            pattern,
            [this](TCall& c) {
                if (!NeedParams(c, 1))
                    return;
                const std::string m = TScpiParser::Upper(c.params[0]);
                if (m != "FIX" && m != "FIXED")
                    PushError(-224, "Illegal parameter value");
            },
            [](TCall& c) { c.reply = "FIX"; });
    }
    boolSetting(":SOURce:VOLTage:RANGe:AUTO", fVoltRangeAuto);
    boolSetting(":SOURce:CURRent:RANGe:AUTO", fCurrRangeAuto);
    numberSetting(":SOURce:VOLTage[:LEVel][:IMMediate][:AMPLitude]", fVoltLevel, -kMaxVolt, kMaxVolt, 0);
    numberSetting(":SOURce:CURRent[:LEVel][:IMMediate][:AMPLitude]", fCurrLevel, -kMaxCurrent, kMaxCurrent,
                  0);
    numberSetting("[:SENSe]:VOLTage:PROTection[:LEVel]", fVoltProt, 0.0002, kMaxVolt, 21);
    numberSetting("[:SENSe]:CURRent:PROTection[:LEVel]", fCurrProt, 1e-9, kMaxCurrent, 105e-6);
    boolSetting("[:SENSe]:FUNCtion:CONCurrent", fConcurrent);
    boolSetting("[:SENSe]:VOLTage:RANGe:AUTO", fSenseVoltRangeAuto);
    boolSetting("[:SENSe]:CURRent:RANGe:AUTO", fSenseCurrRangeAuto);
    boolSetting(":SYSTem:AZERo[:STATe]", fAutoZero);
    // One integration time serves all measure functions.
    for (const char* pattern :
         {"[:SENSe]:VOLTage:NPLCycles", "[:SENSe]:CURRent:NPLCycles", "[:SENSe]:RESistance:NPLCycles"})
        numberSetting(pattern, fNplc, 0.01, 10, 1);

    Add(
        "[:SENSe]:FUNCtion[:ON]",
        [this](TCall& c) {
            std::set<std::string> names;
            if (!ParseFunctionList(c, names))
                return;
            if (!fConcurrent)
                fSenseOn.clear();
            fSenseOn.insert(names.begin(), names.end());
        },
        [this](TCall& c) {
            std::string text;
            for (const char* n : {"VOLT", "CURR", "RES"}) {
                if (!fSenseOn.count(n))
                    continue;
                text += (text.empty() ? "\"" : ",\"") + std::string(n) + (n[0] == 'R' ? "\"" : ":DC\"");
            }
            c.reply = text.empty() ? "\"\"" : text;
        });
    Add("[:SENSe]:FUNCtion:OFF", [this](TCall& c) {
        std::set<std::string> names;
        if (ParseFunctionList(c, names))
            for (const std::string& n : names)
                fSenseOn.erase(n);
    });
    Add("[:SENSe]:FUNCtion:OFF:ALL", [this](TCall&) { fSenseOn.clear(); });
    Add("[:SENSe]:FUNCtion:ON:ALL", [this](TCall&) { fSenseOn = {"VOLT", "CURR", "RES"}; });

    Add(
        ":FORMat:ELEMents[:SENSe]",
        [this](TCall& c) {
            if (c.params.empty()) {
                PushError(-109, "Missing parameter");
                return;
            }
            std::vector<TElement> elements;
            for (const std::string& p : c.params) {
                const std::string n = TScpiParser::Upper(p);
                static const std::pair<const char*, TElement> kLong[] = {{"VOLTAGE", TElement::Volt},
                                                                         {"CURRENT", TElement::Curr},
                                                                         {"RESISTANCE", TElement::Res},
                                                                         {"STATUS", TElement::Stat}};
                bool found = false;
                for (int i = 0; i < 5 && !found; ++i) {
                    if (n == kElementNames[i]) {
                        elements.push_back(static_cast<TElement>(i));
                        found = true;
                    }
                }
                for (const auto& [name, element] : kLong) {
                    if (!found && n == name) {
                        elements.push_back(element);
                        found = true;
                    }
                }
                if (!found) {
                    PushError(-224, "Illegal parameter value");
                    return;
                }
            }
            // The instrument sends the elements in its own fixed order.
            std::vector<TElement> ordered;
            for (int i = 0; i < 5; ++i)
                for (TElement e : elements)
                    if (e == static_cast<TElement>(i)) {
                        ordered.push_back(e);
                        break;
                    }
            fElements = ordered;
        },
        [this](TCall& c) {
            std::string text;
            for (TElement e : fElements)
                text += (text.empty() ? "" : ",") + std::string(kElementNames[static_cast<int>(e)]);
            c.reply = text;
        });

    boolSetting(":OUTPut[:STATe]", fOutput);
    Add(":INITiate[:IMMediate]", [this](TCall& c) {
        if (!fOutput) {
            PushError(803, "Output disabled");
            return;
        }
        fLastReading = TakeReading(c);
    });
    Add(":READ", nullptr, [this](TCall& c) {
        if (!fOutput) {
            PushError(803, "Output disabled");
            return;
        }
        c.reply = TakeReading(c);
    });
    Add(":FETCh", nullptr, [this](TCall& c) {
        if (fLastReading.empty())
            PushError(-230, "Data corrupt or stale");
        else
            c.reply = fLastReading;
    });
}

std::string TSmu2401::TakeReading(TCall& call) {
    const TSimCellParams& p = fCell.Params();
    double volt = 0;
    double curr = 0;
    bool compliance = false;
    const TPumpDrive drive = Drive();
    fCell.SetPumpDrive(drive); // a source setting of the same message acts before the reading
    if (drive.kind != TPumpDrive::Off) {
        const TPumpState s = fCell.Pump();
        volt = s.voltageV;
        curr = s.currentA;
        compliance = s.inCompliance;
    } else if (fSource == TSource::Voltage) {
        volt = fVoltLevel; // open terminals: the set voltage, no current
    } else if (fCurrLevel != 0) {
        volt = std::copysign(fVoltProt, fCurrLevel); // open terminals: a current source runs into compliance
        compliance = true;
    }
    volt += fCell.Noise(p.smuVoltNoiseV + 1e-5 * std::abs(volt));
    curr += fCell.Noise(p.smuCurrentNoiseA + 1e-5 * std::abs(curr));

    const bool measureVolt = fSenseOn.count("VOLT") || fSource == TSource::Voltage;
    const bool measureCurr = fSenseOn.count("CURR") || fSource == TSource::Current;
    const int measured = static_cast<int>(fSenseOn.size());
    call.busyS += 0.002 + std::max(1, measured) * fNplc * kLineCycleS * (fAutoZero ? 1.5 : 1);

    const bool overflow = Faults().Get(TFault::Overflow);
    std::string text;
    auto field = [&](double v) {
        if (!text.empty())
            text += ',';
        text += overflow ? kOverflow : FormatNumber(v);
    };
    for (TElement e : fElements) {
        switch (e) {
        case TElement::Volt:
            field(measureVolt ? volt : kNotMeasured);
            break;
        case TElement::Curr:
            field(measureCurr ? curr : kNotMeasured);
            break;
        case TElement::Res:
            field(fSenseOn.count("RES") && curr != 0 ? volt / curr : kNotMeasured);
            break;
        case TElement::Time:
            field(fCell.TimeS() - fResetTime);
            break;
        case TElement::Stat:
            field(compliance ? kComplianceBit : 0);
            break;
        }
    }
    if (Faults().Get(TFault::WrongFieldCount))
        text += "," + FormatNumber(fCell.TimeS() - fResetTime);
    return text;
}
