#include "recording/RelativeChange.h"

#include "common/NumberFormat.h"
#include "diagnostics/LogChannel.h"
#include "recording/LinearLeastSquares.h"
#include "recording/TDataGridModel.h"

#include <cmath>

namespace {
// The callers build lines with numbers in them only while the channel is on.
void Trace(const QString& text) {
    LogForm.Send(text);
}

void TraceFit(const TLLSResult& fit, double percent, const TPointArray& points) {
    Trace(QStringLiteral("          LLS duration : ") + FormatFloat(QStringLiteral("0.0"), fit.Duration) +
          QStringLiteral(" s"));
    Trace(QStringLiteral("             Average Y : ") + FormatGeneral(fit.AverageY));
    Trace(QStringLiteral("                Points : ") + QString::number(fit.N));
    Trace(QStringLiteral("                     Y = ") + FormatGeneral(fit.Slope) + QStringLiteral("X + ") +
          FormatGeneral(fit.Intercept));
    Trace(QStringLiteral("       Relative change : ") + FormatFloat(QStringLiteral("0.000 000%"), percent));
    Trace(QString());
    for (std::size_t i = 0; i < points.size(); ++i)
        Trace(QStringLiteral("I:") + QString::number(i) + QStringLiteral(" X:") + FormatGeneral(points[i].X) +
              QStringLiteral(" Y:") + FormatGeneral(points[i].Y));
}
} // namespace

bool GetRRC(const TDataGrid& grid, double& aRRC, TProperty aColumn, double rcDuration, double* aChange) {
    if (aChange)
        *aChange = std::nan("");
    const bool trace = LogForm.Enabled();
    const int n = grid.RowCount();
    if (n < 3) {
        Trace(QStringLiteral("GetRRC: Exit not enough data"));
        return false;
    }

    // The run: the data rows of the last row's mode since the last mode change (never row 1).
    const int last = n - 1;
    int mode = 0;
    if (!grid.Mode(last, mode))
        return false;
    const int first = grid.RunStart(last);
    if (trace)
        Trace(QStringLiteral("GetRRC: valid data : %1 %2").arg(first).arg(last));
    if (n - first < 3)
        return false;

    double endTime = 0;
    if (!grid.Duration(last, endTime))
        return false;
    const double goal = endTime - rcDuration;
    if (trace) {
        Trace(QStringLiteral("EndTime: ") + FormatGeneral(endTime));
        Trace(QStringLiteral("Start time goal: ") + FormatGeneral(goal));
    }

    // The newest row at least rcDuration older than the last one starts the fit.
    int start = -1;
    double startActual = 0;
    for (int r = last; r >= first; --r) {
        double t = 0;
        if (!grid.Duration(r, t))
            return false;
        if (t <= goal) {
            start = r;
            startActual = t;
            break;
        }
    }
    if (trace)
        Trace(QStringLiteral("Actual start ID: %1").arg(start));
    if (start < 0)
        return false;
    if (trace) {
        Trace(QStringLiteral("Start time actual: ") + FormatGeneral(startActual));
        Trace(QStringLiteral("Start time Index: %1").arg(start));
    }

    TPointArray points;
    points.reserve(std::size_t(n - start));
    for (int r = start; r <= last; ++r) {
        TPoint p;
        double t = 0;
        grid.Duration(r, t); // read above
        p.X = t - startActual;
        if (!grid.Value(r, aColumn, p.Y))
            return false;
        points.push_back(p);
    }

    TLLSResult fit;
    fit.Slope = std::nan(""); // stays NaN when the fit stops before it has a slope
    const bool ok = LinearLeastSquares(points, fit);
    if (aChange) {
        if (std::isfinite(fit.Slope))
            *aChange = fit.Slope * rcDuration;
        else if (points.size() >= 2 && fit.MinY == fit.MaxY)
            *aChange = 0; // every point equal: the fit refuses a flat line, which changes by nothing
    }
    if (ok) {
        aRRC = fit.RelativeChange * 100.0;
        if (trace)
            TraceFit(fit, aRRC, points);
    }
    LogForm.SetEnabled(false);
    return ok;
}

bool PO2InRange(double pO2, double setpointLog10, double thresholdPercent) {
    const double target = std::pow(10.0, setpointLog10);
    const double f = 1.0 + thresholdPercent / 100.0;
    return target / f < pO2 && pO2 < target * f;
}

bool BelowThreshold(double rc, double thresholdPercent) {
    return std::fabs(rc) < std::fabs(thresholdPercent);
}

bool AtCurrentLimit(double pumpI) {
    return std::fabs(pumpI) >= kCurrentLimitA;
}

void WriteRangeFlag(TDataGridModel& grid, int row, double pO2, double setpointLog10,
                    double thresholdPercent) {
    if (PO2InRange(pO2, setpointLog10, thresholdPercent))
        grid.SetValue(row, TProperty::RangepO2, TDataRow::kTrue);
}

void WriteStabilityFlags(TDataGridModel& grid, int row, double pumpI, double rcDuration,
                         double thresholdPercent, double* currentChangeA) {
    if (currentChangeA)
        *currentChangeA = std::nan("");
    const TDataGrid& rows = grid.Grid();
    double rc = 0;
    if (GetRRC(rows, rc, TProperty::CellpO2, rcDuration)) {
        grid.SetValue(row, TProperty::RCpO2, rc);
        double duration = 0;
        if (rows.Duration(row, duration) && duration > rcDuration && BelowThreshold(rc, thresholdPercent))
            grid.SetValue(row, TProperty::StablepO2, TDataRow::kTrue);
    }

    if (AtCurrentLimit(pumpI)) {
        grid.SetValue(row, TProperty::StableI, TDataRow::kMaxI);
    } else if (GetRRC(rows, rc, TProperty::PumpI, rcDuration, currentChangeA)) {
        grid.SetValue(row, TProperty::RCI, rc);
        if (BelowThreshold(rc, thresholdPercent))
            grid.SetValue(row, TProperty::StableI, TDataRow::kTrue);
    }
}
