#include "control/TPIDTable.h"

#include "common/NumberFormat.h"
#include "control/TPID.h"
#include "control/TPIDCalib.h"
#include "control/TPIDList.h"
#include "control/TPIDListContent.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

QString OneDecimal(double v) {
    return FormatFloat(QStringLiteral("0.0"), v);
}

} // namespace

TPIDTable::TPIDTable() {
    for (int c = 0; c < CurveCount; ++c) {
        fCurves[c].SetInterpolationMethod(TRtInterpolationMethod::ApproximativeSpline);
        fCurves[c].SetXData(&fX);
        fCurves[c].SetYData(&fY[c]);
    }
}

void TPIDTable::SetElasticity(double elasticity) {
    for (TRtInterpolation& curve : fCurves)
        curve.SetElasticityFactor(elasticity);
}

double TPIDTable::ReadRows(const TPIDListContent& list, double elasticity) {
    fX.Clear();
    for (TRtDoubleVector& y : fY)
        y.Clear();
    SetElasticity(elasticity);
    double largest = 0;
    for (const TPIDListEntry& entry : list.Rows) {
        const TPIDRow& row = entry.Values();
        fX.Add(row.LogPO2);
        const int values[CurveCount] = {row.P, row.I, row.D, row.A};
        for (int c = 0; c < CurveCount; ++c) {
            fY[c].Add(values[c]);
            largest = std::max(largest, double(values[c]));
        }
    }
    return largest;
}

void TPIDTable::Fill(TPIDCalib& calib) {
    // The rows go into a table of their own first, so a curve that cannot be calculated leaves
    // the controller's table untouched.
    std::vector<TPIDCalibData> rows(TPIDCalib::Rows);
    double x = 0;
    for (TPIDCalibData& row : rows) {
        row.pO2 = x;
        row.P = fCurves[CurveP].GetY(x);
        row.I = fCurves[CurveI].GetY(x);
        row.D = fCurves[CurveD].GetY(x);
        row.A = fCurves[CurveA].GetY(x);
        x += TPIDCalib::Decades / TPIDCalib::Rows;
    }
    calib.Data = std::move(rows);
    calib.Size = TPIDCalib::Rows;
    calib.Valid = true;
}

QStringList TPIDTable::Test(double x, double elasticity, TPID* controller) {
    if (!(x >= 0 && x <= TPIDCalib::Decades))
        return {QStringLiteral("log(pO2) must be between 0 and -25")};
    SetElasticity(elasticity);
    const double limit = fCurves[CurveA].GetY(x);
    const double final = (limit < HardLimitMicroA || std::isnan(limit)) ? limit : HardLimitMicroA;
    const double p = fCurves[CurveP].GetY(x);
    const double i = fCurves[CurveI].GetY(x);
    const double d = fCurves[CurveD].GetY(x);
    QStringList lines{
        QStringLiteral("     log(pO2): ") + OneDecimal(-x),
        QStringLiteral("            P: ") + OneDecimal(p),
        QStringLiteral("            I: ") + OneDecimal(i),
        QStringLiteral("            D: ") + OneDecimal(d),
        QStringLiteral("       max µA: ") + OneDecimal(limit),
        QStringLiteral("Hard limit µA: ") + OneDecimal(HardLimitMicroA),
        QStringLiteral(" Final max µA: ") + OneDecimal(final),
    };
    if (controller) {
        controller->SetProcessVariable(-x);
        lines << QString() << QStringLiteral("        PID P: ") + OneDecimal(controller->P())
              << QStringLiteral("        PID I: ") + OneDecimal(controller->I())
              << QStringLiteral("        PID D: ") + OneDecimal(controller->D());
    }
    return lines;
}

QStringList TPIDTable::DebugListing(const TPIDCalib& calib) {
    QStringList lines{QStringLiteral("log(pO2) P  I  D  A")};
    const int size = std::min<int>(calib.Size, int(calib.Data.size()));
    for (int k = 0; k < size; k += 50) {
        const TPIDCalibData& row = calib.Data[std::size_t(k)];
        lines << QStringList{OneDecimal(-row.pO2), OneDecimal(row.P), OneDecimal(row.I), OneDecimal(row.D),
                             OneDecimal(row.A)}
                     .join(u' ');
    }
    return lines;
}
