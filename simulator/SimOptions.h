#pragma once
// Settings of a simulator run, filled from the command line of ondrix-cellsim or directly by a
// test that runs the simulator in its own process.
#include "simulator/InstrumentFaults.h"
#include "simulator/SimCell.h"

#include <string>
#include <utility>
#include <vector>

// A power cycle of one instrument at a fixed time after the start (--power-cycle).
struct TScheduledPowerCycle {
    TInstrumentId id = TInstrumentId::Smu;
    int afterMs = 0;
    int offMs = 2000;
    bool unplug = false;
};

struct TSimOptions {
    std::string runDir;             // empty: a fresh temporary folder, removed at exit
    std::string smuLink = "ttySMU"; // link names inside the run folder (or paths, when they hold '/')
    std::string dmmLink = "ttyDMM";
    int smuBaud = 57600;
    int dmmBaud = 19200;
    bool wireTime = false;         // add the time the bytes need on the wire, 10 bits per byte
    double speed = 1.0;            // simulated seconds per wall-clock second (0 freezes the cell)
    std::string terminator = "\r"; // ends every reply
    int slowReplyMs = 3000;        // delay of the "slow" fault, beyond every time-out of the program
    bool controlFifo = true;       // <run dir>/control
    bool exitWithParent = false;
    TSimCellParams cell;
    std::string sampleIsothermFile; // --sample-isotherm, loaded into cell.sampleIsotherm
    std::vector<std::pair<TInstrumentId, TFault>> faults; // switched on at start
    std::vector<TScheduledPowerCycle> powerCycles;
};

class TSimOptionParser {
public:
    // Fills `options` from the command line. Returns false with `error` set on a bad option;
    // `help` is set when --help was given (the caller prints Help() and exits).
    static bool Parse(int argc, const char* const* argv, TSimOptions& options, bool& help,
                      std::string& error);
    static std::string Help();
};
