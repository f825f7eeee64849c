#pragma once
// What the row builder and the delete buttons need of the time plot, so they run without one.
#include <optional>

class IRowPlot {
public:
    virtual ~IRowPlot() = default;
    // One data row: keys in minutes since the experiment start. The sensor pO2 series only gets a
    // point when the row has a sensor pO2.
    virtual void AppendDataPoint(double minutes, double pumpV, double pumpI, double temp,
                                 std::optional<double> cellpO2) = 0;
    // One cell-side pO2 worked out from the pump.
    virtual void AppendPumppO2(double minutes, double pO2) = 0;
    // Removes the first n points of every series; a series with fewer points ends up empty.
    virtual void DeleteFirstPoints(int n) = 0;
    virtual void ClearAllData() = 0;
};
