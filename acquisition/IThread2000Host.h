#pragma once
// What the multimeter's results step reads from the window, so neither it nor the thread needs one.
class IThread2000Host {
public:
    virtual ~IThread2000Host() = default;
    virtual double CellTemperatureOverride() const = 0; // "Cell temperature override, ºC"
    virtual bool FastMode() const = 0;                  // "FastMode:"
    virtual int FastModeCount() const = 0;              // fast-mode period in cycles
};
