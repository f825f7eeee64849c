#include "titration/TitrationColumns.h"

#include "titration/CsvText.h"

std::vector<IAnalysisColumns::TColumnInfo> TTitrationColumns::Columns() const {
    const auto c = [](const char* name, const char* unit, const char* meaning) {
        return TColumnInfo{QString::fromUtf8(name), QString::fromUtf8(unit), QString::fromUtf8(meaning)};
    };
    return {c("charge_C", "C", "pump charge since the first row (positive: oxygen pumped out)"),
            c("charge_estimated_C", "C", "the part of charge_C bridged over gaps between rows"),
            c("gas_O2_mol", "mol O2", "oxygen in the cell's gas"),
            c("leak_O2_mol", "mol O2", "oxygen leaked into the cell since the first row"),
            c("sample_O2_mol", "mol O2", "oxygen the sample took up since the first row"),
            c("b", "mol O / mol compound", "oxygen content of the sample"),
            c("delta", "", "nonstoichiometry, bs - b"),
            c("alpha_mol_per_s_atm025", "mol O2 / (s atm^1/4)", "leak constant in use after this row")};
}

void TTitrationColumns::Begin(const TDataFileReader& file) {
    TTitrationSetup setup = TTitrationSetup::FromFile(file);
    setup.EnteredAlpha = fEnteredAlpha;
    fBalance = std::make_unique<TOxygenBalance>(setup);
}

void TTitrationColumns::Append(const TDataRow& row, std::string* out) {
    TBalanceRow b;
    const bool data = fBalance->Add(row, &b);
    if (!out)
        return;
    if (data)
        AppendCells(*out, b);
    else
        out->append(kColumnCount, ',');
}

void TTitrationColumns::AppendCells(std::string& out, const TBalanceRow& b) {
    for (double v :
         {b.Sums.Charge(), b.Sums.ChargeEstimated, b.GasMol, b.LeakMol, b.SampleMol, b.b, b.Delta, b.Alpha}) {
        out += ',';
        AppendCsvNumber(out, v);
    }
}
