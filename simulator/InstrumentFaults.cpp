#include "simulator/InstrumentFaults.h"

#include "simulator/ScpiParser.h"

namespace {
struct TFaultName {
    TFault fault;
    const char* name;
};
const TFaultName kNames[] = {
    {TFault::Silent, "silent"},     {TFault::Echo, "echo"},
    {TFault::Garbage, "garbage"},   {TFault::WrongFieldCount, "fields"},
    {TFault::Overflow, "overflow"}, {TFault::FrontInputs, "front"},
    {TFault::Slow, "slow"},         {TFault::Vanished, "vanish"},
};
} // namespace

void TInstrumentFaults::Set(TFault fault, bool on) {
    const unsigned bit = 1u << static_cast<int>(fault);
    fBits = on ? (fBits | bit) : (fBits & ~bit);
}

std::string TInstrumentFaults::Describe() const {
    std::string text;
    for (TFault f : All()) {
        if (!Get(f))
            continue;
        if (!text.empty())
            text += ',';
        text += Name(f);
    }
    return text.empty() ? "none" : text;
}

const std::vector<TFault>& TInstrumentFaults::All() {
    static const std::vector<TFault> all = [] {
        std::vector<TFault> v;
        for (const TFaultName& n : kNames)
            v.push_back(n.fault);
        return v;
    }();
    return all;
}

std::string TInstrumentFaults::Name(TFault fault) {
    for (const TFaultName& n : kNames)
        if (n.fault == fault)
            return n.name;
    return "?";
}

bool TInstrumentFaults::FromName(const std::string& name, TFault& fault) {
    const std::string lower = TScpiParser::Upper(name);
    for (const TFaultName& n : kNames) {
        if (TScpiParser::Upper(n.name) == lower) {
            fault = n.fault;
            return true;
        }
    }
    return false;
}

std::string TInstrumentFaults::InstrumentName(TInstrumentId id) {
    return id == TInstrumentId::Smu ? "smu" : "dmm";
}

bool TInstrumentFaults::InstrumentFromName(const std::string& name, TInstrumentId& id) {
    const std::string n = TScpiParser::Upper(name);
    if (n == "SMU" || n == "2401") {
        id = TInstrumentId::Smu;
        return true;
    }
    if (n == "DMM" || n == "2000") {
        id = TInstrumentId::Dmm;
        return true;
    }
    return false;
}
