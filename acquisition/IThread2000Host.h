#pragma once
// What the multimeter thread's update step reads from the window, so the thread needs no window.
class IThread2000Host {
public:
    virtual ~IThread2000Host() = default;
    virtual double CellTemperatureOverride() const = 0; // "Cell temperature override, ºC"
    virtual bool FastMode() const = 0;                  // "FastMode:"
    virtual int FastModeCount() const = 0;              // fast-mode period in cycles
};
