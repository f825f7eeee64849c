#pragma once
// The faults a simulated instrument can show, switched from the command line, the control FIFO or
// the simulator's API. Each can be switched on and off for each instrument on its own.
#include <string>
#include <vector>

enum class TInstrumentId { Smu, Dmm };

enum class TFault {
    Silent,          // "silent":   the instrument neither executes nor answers anything
    Echo,            // "echo":     a query is answered with its own text
    Garbage,         // "garbage":  a query is answered with random non-numeric bytes
    WrongFieldCount, // "fields":   readings carry one field too many
    Overflow,        // "overflow": readings are the overflow value "+9.9E37"
    FrontInputs,     // "front":    front inputs selected (":SYST:FRSW?" answers 1)
    Slow,            // "slow":     replies come later than the program waits for them
    Vanished,        // "vanish":   the port's link and pseudo-terminal are gone
};

class TInstrumentFaults {
public:
    bool Get(TFault fault) const { return (fBits >> static_cast<int>(fault)) & 1u; }
    void Set(TFault fault, bool on);
    void Clear() { fBits = 0; }
    bool Any() const { return fBits != 0; }
    // "silent,slow" or "none".
    std::string Describe() const;

    static const std::vector<TFault>& All();
    static std::string Name(TFault fault);
    static bool FromName(const std::string& name, TFault& fault);
    static std::string InstrumentName(TInstrumentId id);
    static bool InstrumentFromName(const std::string& name, TInstrumentId& id);

private:
    unsigned fBits = 0;
};
