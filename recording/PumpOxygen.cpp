#include "recording/PumpOxygen.h"

#include "common/NumberFormat.h"
#include "diagnostics/LogChannel.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGrid.h"

#include <cmath>

namespace {
constexpr long double kFaraday = 96485.0L;    // C/mol
constexpr long double kGasConstant = 8.314L;  // J/(mol K)
constexpr double kZeroCelsius = 273.15;       // K
constexpr long double kLowestKelvin = 775.0L; // below this the pump is no Nernst cell
constexpr long double kE = 2.7182818284L;     // e to ten decimals

enum class TSide { Flush, Cell };

// The common preconditions, in the order they are tested, and the exponent of e.
bool Exponent(const TPumpOxygenInputs& in, TSide side, long double& A, double& Tc, long double& Tk, double& V,
              double& reference) {
    if (in.RowCount < 2 || !in.GalvanostaticSelected)
        return false;
    if (std::isnan(in.CellT))
        return false;
    Tc = in.CellT;
    Tk = static_cast<long double>(Tc) + kZeroCelsius;
    if (in.CurrentSetpoint != 0)
        return false;
    if (std::isnan(in.PumpV))
        return false;
    V = in.PumpV;
    if (side == TSide::Flush) {
        if (std::isnan(in.CellpO2))
            return false;
        reference = in.CellpO2;
    } else {
        reference = in.FlushGaspO2;
    }
    if (!(Tk > kLowestKelvin))
        return false;
    const long double sign = side == TSide::Flush ? 1.0L : -1.0L;
    A = sign * 4.0L * kFaraday * V / (kGasConstant * Tk);
    return true;
}
} // namespace

TPumpOxygenInputs TPumpOxygenInputs::FromLastRow(const TDataGrid& grid, bool galvanostaticSelected,
                                                 double currentSetpoint, double flushGaspO2) {
    TPumpOxygenInputs in;
    in.RowCount = grid.RowCount();
    in.GalvanostaticSelected = galvanostaticSelected;
    in.CurrentSetpoint = currentSetpoint;
    in.FlushGaspO2 = flushGaspO2;
    if (in.RowCount >= 2) {
        const int r = in.RowCount - 1;
        const TDataRow& row = grid.Row(r);
        if (row.Kind == TRowKind::Data) {
            in.CellT = row[TProperty::Temp];
            in.PumpV = row[TProperty::PumpV];
            in.CellpO2 = row[TProperty::CellpO2];
        }
    }
    return in;
}

bool FlushSidepO2(double& PO, const TPumpOxygenInputs& in) {
    long double A = 0, Tk = 0;
    double Tc = 0, V = 0, ps = 0;
    if (!Exponent(in, TSide::Flush, A, Tc, Tk, V, ps))
        return false;
    const double po = double(std::pow(kE, A) * ps);
    if (!std::isfinite(po)) // a voltage far beyond any Nernst voltage
        return false;
    PO = po;
    return true;
}

bool CellSidepO2(double& PO, const TPumpOxygenInputs& in) {
    LogForm.Send(QStringLiteral("CellSidepO2 ->"));
    long double A = 0, Tk = 0;
    double Tc = 0, V = 0, pf = 0;
    if (!Exponent(in, TSide::Cell, A, Tc, Tk, V, pf))
        return false;
    const double po = double(std::pow(kE, A) * pf);
    if (!std::isfinite(po))
        return false;
    PO = po;
    if (LogForm.Enabled()) {
        const QString head = QStringLiteral("Determining cell pO2 : ");
        LogForm.Send(head + QStringLiteral("refpO2=") + FormatGeneral(pf));
        LogForm.Send(head + QStringLiteral("A     =") + FormatGeneral(double(A)));
        LogForm.Send(head + QStringLiteral("V     =") + FormatGeneral(V));
        LogForm.Send(head + QStringLiteral("Tc    =") + FormatGeneral(Tc));
        LogForm.Send(head + QStringLiteral("Tk    =") + FormatGeneral(double(Tk)));
        LogForm.Send(head + QStringLiteral("pO2   =") + FormatGeneral(PO));
    }
    return true;
}
