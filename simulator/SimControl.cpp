#include "simulator/SimControl.h"

#include "simulator/CellSimulator.h"
#include "simulator/ScpiParser.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

std::string Fmt(double v) {
    char buffer[64];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 6);
    return ec == std::errc() ? std::string(buffer, ptr) : std::string("?");
}

// delta and b to 1e-8, enough to judge a titration by.
std::string FmtDelta(double v) {
    char buffer[64];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 8);
    return ec == std::errc() ? std::string(buffer, ptr) : std::string("?");
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    std::string w;
    while (in >> w)
        words.push_back(TScpiParser::Upper(w));
    return words;
}

std::string Status(TCellSimulator& sim) {
    std::string text;
    sim.WithCell([&](TSimCell& c) {
        const TPumpState pump = c.Pump();
        text = "t=" + Fmt(c.TimeS()) + " s, T=" + Fmt(c.CellTemperatureC()) +
               " C, Tcj=" + Fmt(c.ColdJunctionC()) + " C, pO2=" + Fmt(c.pO2Atm()) +
               " atm, n(O2)=" + Fmt(c.OxygenMol()) + " mol, sample=" + Fmt(c.SampleOxygenMol()) +
               " mol, sample delta=" + FmtDelta(c.SampleDelta()) +
               " (b=" + FmtDelta(c.Params().sampleOxygen - c.SampleDelta()) +
               "), pump I=" + Fmt(pump.currentA) + " A, V=" + Fmt(pump.voltageV) + " V" +
               (pump.inCompliance ? " (compliance)" : "") + ", flush=" + Fmt(c.Params().flushpO2Atm) + " atm";
    });
    text += ", smu faults=" + sim.Faults(TInstrumentId::Smu).Describe() +
            ", dmm faults=" + sim.Faults(TInstrumentId::Dmm).Describe();
    return text;
}

} // namespace

std::string TSimControl::Help() {
    return "commands: smu|dmm|all silent|echo|garbage|fields|overflow|front|slow|vanish [on|off]; "
           "smu|dmm|all clear; smu|dmm|all powercycle [MS] [unplug]; clear; slow-ms MS; speed X; furnace C; "
           "room C; flush ATM; po2 ATM; "
           "leak ALPHA; noise on|off; status; help";
}

std::string TSimControl::Apply(TCellSimulator& sim, const std::string& line) {
    const std::vector<std::string> w = Words(line);
    if (w.empty())
        return "error: empty command";
    auto number = [&](double min, double max, double& v) {
        return w.size() == 2 && TScpiParser::ParseDouble(w[1], v) && v >= min && v <= max;
    };
    const std::string& cmd = w[0];
    double v = 0;

    std::vector<TInstrumentId> targets;
    TInstrumentId id;
    if (cmd == "ALL")
        targets = {TInstrumentId::Smu, TInstrumentId::Dmm};
    else if (TInstrumentFaults::InstrumentFromName(cmd, id))
        targets = {id};
    if (!targets.empty()) {
        if (w.size() == 2 && w[1] == "CLEAR") {
            for (TInstrumentId t : targets)
                sim.ClearFaults(t);
            return "ok: faults cleared";
        }
        if (w.size() >= 2 && w[1] == "POWERCYCLE") {
            double offMs = TCellSimulator::kDefaultPowerOffMs;
            bool unplug = false;
            for (size_t i = 2; i < w.size(); ++i) {
                if (w[i] == "UNPLUG" && !unplug)
                    unplug = true;
                else if (i != 2 || !TScpiParser::ParseDouble(w[i], offMs) || offMs < 0 || offMs > 600000)
                    return "error: expected <smu|dmm|all> powercycle [MS] [unplug]";
            }
            for (TInstrumentId t : targets)
                sim.PowerCycle(t, static_cast<int>(offMs), unplug);
            return "ok: power cycle, off for " + std::to_string(static_cast<int>(offMs)) + " ms" +
                   (unplug ? ", port unplugged" : "");
        }
        TFault fault;
        if (w.size() < 2 || w.size() > 3 || !TInstrumentFaults::FromName(w[1], fault))
            return "error: expected <smu|dmm|all> <fault> [on|off]; " + Help();
        bool on = true;
        if (w.size() == 3 && !TScpiParser::ParseBool(w[2], on))
            return "error: expected on or off";
        for (TInstrumentId t : targets)
            sim.SetFault(t, fault, on);
        return "ok: " + TInstrumentFaults::Name(fault) + (on ? " on" : " off");
    }
    if (cmd == "CLEAR" && w.size() == 1) {
        sim.ClearFaults(TInstrumentId::Smu);
        sim.ClearFaults(TInstrumentId::Dmm);
        return "ok: all faults cleared";
    }
    if (cmd == "SLOW-MS" && number(0, 600000, v)) {
        sim.SetSlowReplyMs(static_cast<int>(v));
        return "ok";
    }
    if (cmd == "SPEED" && number(0, 1e6, v)) {
        sim.SetSpeed(v);
        return "ok";
    }
    if (cmd == "FURNACE" && number(-50, 1700, v)) {
        sim.WithCell([&](TSimCell& c) { c.Params().furnaceSetpointC = v; });
        return "ok";
    }
    if (cmd == "ROOM" && number(0, 55, v)) {
        sim.WithCell([&](TSimCell& c) { c.Params().roomC = v; });
        return "ok";
    }
    if (cmd == "FLUSH" && number(1e-30, 100, v)) {
        sim.WithCell([&](TSimCell& c) { c.Params().flushpO2Atm = v; });
        return "ok";
    }
    if (cmd == "PO2" && number(1e-40, 100, v)) {
        sim.WithCell([&](TSimCell& c) { c.SetpO2Atm(v); });
        return "ok";
    }
    if (cmd == "LEAK" && number(0, 1, v)) {
        sim.WithCell([&](TSimCell& c) { c.Params().leakAlpha = v; });
        return "ok";
    }
    bool on = false;
    if (cmd == "NOISE" && w.size() == 2 && TScpiParser::ParseBool(w[1], on)) {
        sim.WithCell([&](TSimCell& c) { c.Params().noise = on; });
        return "ok";
    }
    if (cmd == "STATUS" && w.size() == 1) {
        const std::string text = Status(sim);
        if (!sim.RunDir().empty()) {
            std::ofstream out(sim.RunDir() + "/status", std::ios::trunc);
            out << text << '\n';
        }
        return "ok: " + text;
    }
    if (cmd == "HELP")
        return "ok: " + Help();
    return "error: unknown or malformed command; " + Help();
}
