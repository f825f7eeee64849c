#pragma once
// The curves of the PID tuning page and the controller's table built from them.
//
// The rows of the operator's PID list become points of four approximative smoothing splines over
// -log10(pO2), one each for P, I, D and the pump current limit A. They share one X vector. The
// controller's table samples the four curves every 0.0025 decade from 0 to 25 (10000 rows);
// outside the rows' range the curves continue as the spline does, and nothing is clamped here: the
// controller holds only A to 1 ... 5000 µA.
//
// Plain logic without window code; main thread only.
#include "numerics/TRtDoubleVector.h"
#include "numerics/TRtInterpolation.h"

#include <QString>
#include <QStringList>

class TPID;
struct TPIDCalib;
struct TPIDListContent;

class TPIDTable {
public:
    enum TCurve { CurveP, CurveI, CurveD, CurveA, CurveCount };
    // The hard limit of the pump current the controller applies, µA.
    static constexpr double HardLimitMicroA = 5000.0;

    TPIDTable();
    TPIDTable(const TPIDTable&) = delete;
    TPIDTable& operator=(const TPIDTable&) = delete;

    // The first steps of a build: clears the vectors, gives the curves the elasticity and adds
    // every data row of the list, in order. Returns the largest P, I, D or A, 0 at least. A row
    // that does not read throws EPIDListError; the rows before it stay in the vectors.
    double ReadRows(const TPIDListContent& list, double elasticity);

    void SetElasticity(double elasticity);

    // Fills `calib` with 10000 rows sampled from the curves and marks it valid. Throws EMathError
    // when the curves cannot be calculated (fewer than 6 distinct -log10(pO2) values); `calib` is
    // then left exactly as it was.
    void Fill(TPIDCalib& calib);

    // The lines of the test box at -log10(pO2) = x: the curves' values there, the current limit
    // and the limit the controller will apply. With a controller given, -x is also written to it
    // as its process value (one controller step) and its looked-up gains are added. Throws
    // EMathError as Fill does.
    QStringList Test(double x, double elasticity, TPID* controller);

    // Every 50th row of a table, for the Debug page: a heading, then log10(pO2), P, I, D and A.
    static QStringList DebugListing(const TPIDCalib& calib);

    const TRtDoubleVector& X() const { return fX; }
    const TRtDoubleVector& Y(TCurve c) const { return fY[c]; }
    TRtInterpolation& Curve(TCurve c) { return fCurves[c]; }

private:
    TRtDoubleVector fX;
    TRtDoubleVector fY[CurveCount];
    TRtInterpolation fCurves[CurveCount];
};
