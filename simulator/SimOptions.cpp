#include "simulator/SimOptions.h"

#include "simulator/CellSimulator.h"
#include "simulator/ScpiParser.h"

#include <cmath>
#include <functional>
#include <map>

namespace {

struct TOption {
    bool takesValue;
    std::function<bool(TSimOptions&, const std::string&)> apply;
};

bool Number(const std::string& text, double& out, double min, double max) {
    double v = 0;
    if (!TScpiParser::ParseDouble(text, v) || v < min || v > max)
        return false;
    out = v;
    return true;
}

TOption Real(double min, double max, std::function<double&(TSimOptions&)> field) {
    return {true, [=](TSimOptions& o, const std::string& v) { return Number(v, field(o), min, max); }};
}

TOption Optional(double min, double max, std::function<std::optional<double>&(TSimOptions&)> field) {
    return {true, [=](TSimOptions& o, const std::string& v) {
                double x = 0;
                if (!Number(v, x, min, max))
                    return false;
                field(o) = x;
                return true;
            }};
}

TOption Integer(int min, int max, std::function<int&(TSimOptions&)> field) {
    return {true, [=](TSimOptions& o, const std::string& v) {
                double x = 0;
                if (!Number(v, x, min, max) || x != std::floor(x))
                    return false;
                field(o) = static_cast<int>(x);
                return true;
            }};
}

TOption Text(std::function<std::string&(TSimOptions&)> field) {
    return {true, [=](TSimOptions& o, const std::string& v) {
                if (v.empty())
                    return false;
                field(o) = v;
                return true;
            }};
}

TOption Flag(std::function<void(TSimOptions&)> set) {
    return {false, [=](TSimOptions& o, const std::string&) {
                set(o);
                return true;
            }};
}

const std::map<std::string, TOption>& Options() {
    static const std::map<std::string, TOption> options = {
        {"--run-dir", Text([](TSimOptions& o) -> std::string& { return o.runDir; })},
        {"--smu-link", Text([](TSimOptions& o) -> std::string& { return o.smuLink; })},
        {"--dmm-link", Text([](TSimOptions& o) -> std::string& { return o.dmmLink; })},
        {"--smu-baud", Integer(300, 1000000, [](TSimOptions& o) -> int& { return o.smuBaud; })},
        {"--dmm-baud", Integer(300, 1000000, [](TSimOptions& o) -> int& { return o.dmmBaud; })},
        {"--wire-time", Flag([](TSimOptions& o) { o.wireTime = true; })},
        {"--speed", Real(0, 1e6, [](TSimOptions& o) -> double& { return o.speed; })},
        {"--terminator", {true, [](TSimOptions& o, const std::string& v) {
                              const std::string t = TScpiParser::Upper(v);
                              if (t == "CR")
                                  o.terminator = "\r";
                              else if (t == "LF")
                                  o.terminator = "\n";
                              else if (t == "CRLF")
                                  o.terminator = "\r\n";
                              else
                                  return false;
                              return true;
                          }}},
        {"--slow-ms", Integer(0, 600000, [](TSimOptions& o) -> int& { return o.slowReplyMs; })},
        {"--no-control", Flag([](TSimOptions& o) { o.controlFifo = false; })},
        {"--exit-with-parent", Flag([](TSimOptions& o) { o.exitWithParent = true; })},
        {"--seed", {true, [](TSimOptions& o, const std::string& v) {
                        double x = 0;
                        if (!Number(v, x, 0, 9e15) || x != std::floor(x))
                            return false;
                        o.cell.seed = static_cast<uint64_t>(x);
                        return true;
                    }}},
        {"--no-noise", Flag([](TSimOptions& o) { o.cell.noise = false; })},
        {"--volume", Real(1e-3, 1e6, [](TSimOptions& o) -> double& { return o.cell.volumeMl; })},
        {"--flush", Real(1e-30, 100, [](TSimOptions& o) -> double& { return o.cell.flushpO2Atm; })},
        {"--po2", Optional(1e-40, 100, [](TSimOptions& o) -> std::optional<double>& { return o.cell.initialpO2Atm; })},
        {"--furnace", Real(-50, 1700, [](TSimOptions& o) -> double& { return o.cell.furnaceSetpointC; })},
        {"--furnace-start",
         Optional(-50, 1700, [](TSimOptions& o) -> std::optional<double>& { return o.cell.furnaceStartC; })},
        {"--furnace-tau", Real(0.001, 1e7, [](TSimOptions& o) -> double& { return o.cell.furnaceTauS; })},
        {"--room", Real(0, 55, [](TSimOptions& o) -> double& { return o.cell.roomC; })},
        {"--pump-resistance", Real(1e-3, 1e9, [](TSimOptions& o) -> double& { return o.cell.pumpResistanceOhm; })},
        {"--leak", Real(0, 1, [](TSimOptions& o) -> double& { return o.cell.leakAlpha; })},
        {"--sample-mass", Real(0, 1e4, [](TSimOptions& o) -> double& { return o.cell.sampleMassG; })},
        {"--sample-molar-mass",
         Real(1, 1e5, [](TSimOptions& o) -> double& { return o.cell.sampleMolarMassGPerMol; })},
        {"--sample-oxygen", Real(0, 1e3, [](TSimOptions& o) -> double& { return o.cell.sampleOxygen; })},
        {"--sample-isotherm", Text([](TSimOptions& o) -> std::string& { return o.sampleIsothermFile; })},
        {"--sample-tau", Real(0.001, 1e9, [](TSimOptions& o) -> double& { return o.cell.sampleTauS; })},
        {"--sensor-ax", Real(-1e6, 1e6, [](TSimOptions& o) -> double& { return o.cell.sensorAx; })},
        {"--sensor-bx", Real(-1e6, 1e6, [](TSimOptions& o) -> double& { return o.cell.sensorBx; })},
        {"--fault", {true, [](TSimOptions& o, const std::string& v) {
                         const size_t colon = v.find(':');
                         if (colon == std::string::npos)
                             return false;
                         TFault fault;
                         if (!TInstrumentFaults::FromName(v.substr(colon + 1), fault))
                             return false;
                         const std::string inst = TScpiParser::Upper(v.substr(0, colon));
                         TInstrumentId id;
                         if (inst == "ALL") {
                             o.faults.emplace_back(TInstrumentId::Smu, fault);
                             o.faults.emplace_back(TInstrumentId::Dmm, fault);
                             return true;
                         }
                         if (!TInstrumentFaults::InstrumentFromName(inst, id))
                             return false;
                         o.faults.emplace_back(id, fault);
                         return true;
                     }}},
        // INST:AFTER_S[:OFF_MS][:unplug]
        {"--power-cycle", {true, [](TSimOptions& o, const std::string& v) {
                               std::vector<std::string> parts;
                               size_t from = 0;
                               for (size_t colon; (colon = v.find(':', from)) != std::string::npos; from = colon + 1)
                                   parts.push_back(v.substr(from, colon - from));
                               parts.push_back(v.substr(from));
                               const bool unplug = parts.size() > 2 && TScpiParser::Upper(parts.back()) == "UNPLUG";
                               if (unplug)
                                   parts.pop_back();
                               double after = 0;
                               double off = TCellSimulator::kDefaultPowerOffMs;
                               if (parts.size() < 2 || parts.size() > 3 || !Number(parts[1], after, 0, 1e6) ||
                                   (parts.size() == 3 && !Number(parts[2], off, 0, 600000)))
                                   return false;
                               std::vector<TInstrumentId> ids;
                               TInstrumentId id;
                               const std::string inst = TScpiParser::Upper(parts[0]);
                               if (inst == "ALL")
                                   ids = {TInstrumentId::Smu, TInstrumentId::Dmm};
                               else if (TInstrumentFaults::InstrumentFromName(inst, id))
                                   ids = {id};
                               else
                                   return false;
                               for (TInstrumentId i : ids)
                                   o.powerCycles.push_back({i, int(after * 1000), int(off), unplug});
                               return true;
                           }}},
    };
    return options;
}

} // namespace

bool TSimOptionParser::Parse(int argc, const char* const* argv, TSimOptions& options, bool& help,
                             std::string& error) {
    help = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            help = true;
            return true;
        }
        std::string value;
        bool hasValue = false;
        const size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        const auto it = Options().find(arg);
        if (it == Options().end()) {
            error = "unknown option " + arg + " (see --help)";
            return false;
        }
        if (it->second.takesValue && !hasValue) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
        } else if (!it->second.takesValue && hasValue) {
            error = arg + " takes no value";
            return false;
        }
        if (!it->second.apply(options, value)) {
            error = "bad value for " + arg + ": " + value;
            return false;
        }
    }
    if (!options.sampleIsothermFile.empty() &&
        !TSampleIsotherm::Load(options.sampleIsothermFile, options.cell.sampleIsotherm, error))
        return false;
    return true;
}

std::string TSimOptionParser::Help() {
    return R"(Usage: ondrix-cellsim [options]

Simulates the coulometric titration cell with its two instruments, a SourceMeter 2401 (pump) and a
MultiMeter 2000 with scanner card (thermocouple, oxygen sensor, thermistor), each on its own
pseudo-terminal. At start it prints one line per port to standard output,
    SMU <path of the SourceMeter port>
    DMM <path of the MultiMeter port>
and then runs until SIGTERM or SIGINT, when it removes its links and exits.

Ports and timing:
  --run-dir DIR         folder for the port links and the control FIFO (created if missing);
                        default: a new temporary folder, removed at exit
  --smu-link NAME       link name of the SourceMeter port (default ttySMU)
  --dmm-link NAME       link name of the MultiMeter port (default ttyDMM)
  --smu-baud N          line speed used for the wire time of the SourceMeter (default 57600)
  --dmm-baud N          line speed used for the wire time of the MultiMeter (default 19200)
  --wire-time           add the time commands and replies need on the wire (10 bits per byte)
  --terminator T        reply terminator: cr (default), lf or crlf; input accepts all three
  --speed X             simulated seconds per wall-clock second (default 1; 0 freezes the cell);
                        instrument timing stays in real time. Titration runs use speed 1: at
                        speed X the pump moves X times the oxygen the program counts
  --no-control          do not create the control FIFO <run dir>/control
  --exit-with-parent    exit when the process that started the simulator ends (Linux)

Faults (each also switchable at run time through the control FIFO):
  --fault INST:FAULT    switch a fault on at start; INST is smu, dmm or all; FAULT is one of
                          silent    the instrument neither executes nor answers anything
                          echo      queries are answered with their own text ("*IDN?")
                          garbage   queries are answered with random non-numeric bytes
                          fields    readings carry one field too many
                          overflow  readings are the overflow value +9.9E37
                          front     front inputs selected: ":SYST:FRSW?" answers 1 and the
                                    scanner (MultiMeter) or the pump (SourceMeter) is disconnected
                          slow      replies come --slow-ms late
                          vanish    the port's link and pseudo-terminal are removed
                        may be given several times
  --slow-ms MS          delay of the slow fault (default 3000, beyond every time-out)
  --power-cycle INST:AFTER_S[:OFF_MS][:unplug]
                        switch the instrument off AFTER_S seconds after the start and on again
                        OFF_MS later (default 2000); it comes back with its power-on settings.
                        With "unplug" its port goes away meanwhile too (a re-plugged USB adapter)

Cell (SI inside; defaults give air as flush gas and a cell at 700 C):
  --furnace C           furnace setpoint, C (default 700)
  --furnace-start C     furnace temperature at start (default: the setpoint)
  --furnace-tau S       time constant of the furnace (default 600 s)
  --room C              cold-junction (thermistor) temperature (default 23 C)
  --volume ML           gas volume around the sample (default 12 mL)
  --flush ATM           pO2 of the flush gas (default 0.2095, air)
  --po2 ATM             pO2 in the cell at start (default: that of the flush gas)
  --leak ALPHA          leak towards the flush gas, mol/(s atm^0.25) (default 2e-11)
  --pump-resistance OHM electrolyte resistance of the pump (default 100)
  --sample-mass G       mass of the sample, g (default 0.015; 0: no sample)
  --sample-molar-mass G_PER_MOL
                        molar mass of the sample as it starts, g/mol (default 222.6)
  --sample-oxygen B     oxygen per formula unit at delta = 0 (default 3): b = B - delta
  --sample-isotherm FILE
                        the sample's equilibrium delta(pO2, T): CSV with the header line
                        T_degC,log10_pO2,delta, linear in log10 pO2 and T between its rows, held
                        at the nearest edge outside them (default: a mixed-conducting oxide, delta
                        0.008 in air to 0.30 at 1e-20 atm at 700 C, 0.025 to 0.34 at 900 C)
  --sample-tau S        relaxation time of the sample towards equilibrium (default 120 s)
                        The sample starts in equilibrium with the cell gas; the values to type
                        into the program (m0, M0, bs, b0) are printed at start, and "status"
                        reports its true delta.
  --sensor-ax AX        the sensor's Ax, K (default 20); type it into the program's sensor Ax box
  --sensor-bx BX        the sensor's Bx (default 0.01); type it into the program's sensor Bx box
  --no-noise            no temperature wander and no measurement noise
  --seed N              seed of the noise (default 1)

Control FIFO <run dir>/control, one command per line, e.g.  echo "dmm silent on" > DIR/control
  smu|dmm|all FAULT [on|off]    switch a fault (default on)
  smu|dmm|all clear             clear every fault of the instrument(s); "clear" clears all
  smu|dmm|all powercycle [MS] [unplug]   off for MS ms (default 2000), then on with power-on settings
  slow-ms MS | speed X | furnace C | flush ATM | po2 ATM | leak ALPHA | room C | noise on|off
  status                        print the cell state (also written to <run dir>/status)
  help                          list the commands
Answers go to standard error.

  --help                show this text
)";
}
