#pragma once
// The balance's columns in `ondrix --export`: after each data row its charge, gas, leak and sample
// oxygen, b, delta and the alpha in use then, worked out by a TOxygenBalance fed every row in
// order with the sample and cell values of the file's variables.
#include "recording/AnalysisExport.h"
#include "titration/TOxygenBalance.h"

#include <memory>

class TTitrationColumns : public IAnalysisColumns {
public:
    // mol O2 / (s atm^1/4), used until an equilibrium point gives alpha.
    explicit TTitrationColumns(double enteredAlpha = 0) : fEnteredAlpha(enteredAlpha) {}

    std::vector<TColumnInfo> Columns() const override;
    void Begin(const TDataFileReader& file) override;
    void Append(const TDataRow& row, std::string* out) override;

    // ",charge,...,alpha" of one balance row: the cells both the export and the balance file write.
    static void AppendCells(std::string& out, const TBalanceRow& b);

private:
    static constexpr std::size_t kColumnCount = 8;
    double fEnteredAlpha;
    std::unique_ptr<TOxygenBalance> fBalance;
};
