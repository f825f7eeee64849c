#pragma once
// The PID controller's calibration table: gains and pump current limit over -log10(pO2), one row
// every 0.0025 decade from 0 to 25. The tuning page fills it; the controller reads it.
#include <cmath>
#include <vector>

// One row of the table.
struct TPIDCalibData {
    double pO2 = 0; // -log10(pO2) of the row, a positive number of decades (row k: k * 0.0025)
    double P = 0;   // proportional gain
    double I = 0;   // integral gain
    double D = 0;   // derivative gain
    double A = 0;   // pump current limit, µA
};

struct TPIDCalib {
    static constexpr int Rows = 10000;      // rows of a built table
    static constexpr double Decades = 25.0; // -log10(pO2) span of the table
    static constexpr double RowStep = Decades / Rows;

    int Size = 0;                    // number of rows; 0 until the first build
    std::vector<TPIDCalibData> Data; // the rows
    bool Valid = false;              // a table has been built; stays true from then on

    // The row nearest to the oxygen level log10(pO2) = processValue. Its magnitude addresses the
    // table's -log10 axis; a halfway position goes to the even row. Levels beyond the table's end,
    // and a level that is not finite (log10 of a pO2 of zero or below), hold the last row.
    static int RowIndex(double processValue) {
        const double position = std::fabs(processValue) / Decades * Rows;
        if (!(position < Rows - 1)) // also catches NaN
            return Rows - 1;
        return int(std::nearbyint(position));
    }

    // The row for a process value, or nullptr while no table is built. Never reads outside the
    // rows actually held.
    const TPIDCalibData* RowAt(double processValue) const {
        if (!Valid || Data.empty())
            return nullptr;
        const std::size_t k = std::size_t(RowIndex(processValue));
        return &Data[k < Data.size() ? k : Data.size() - 1];
    }
};
