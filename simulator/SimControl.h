#pragma once
// The simulator's small control language, read from the control FIFO of a running simulator (and
// available to tests through TCellSimulator::Control). One command per line:
//   smu|dmm|all FAULT [on|off]   switch a fault (silent, echo, garbage, fields, overflow, front,
//                                slow, vanish); "on" when left out
//   smu|dmm|all clear            clear the instrument's faults; "clear" alone clears all
//   smu|dmm|all powercycle [MS] [unplug]
//                                off for MS ms (2000 when left out), then on with its power-on
//                                settings; "unplug": its port is gone while off
//   slow-ms MS                   delay of the slow fault
//   speed X                      simulated seconds per wall-clock second
//   furnace C | room C           furnace setpoint, cold-junction temperature
//   flush ATM | po2 ATM          flush-gas pO2, cell pO2 (set at once)
//   leak ALPHA                   leak coefficient, mol/(s atm^0.25)
//   noise on|off
//   status                       one line with the cell and the faults (also into <run dir>/status)
//   help
// Answers start with "ok" or "error".
#include <string>

class TCellSimulator;

class TSimControl {
public:
    static std::string Apply(TCellSimulator& sim, const std::string& line);
    static std::string Help();
};
