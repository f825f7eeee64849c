#include "titration/IsothermFile.h"

#include "titration/CsvText.h"
#include "titration/TOxygenBalance.h"

#include <QSaveFile>

QString TIsothermFile::PathFor(const QString& runFile) {
    QString base = runFile;
    for (const char* suffix : {".csv", ".journal", ".titration", ".analysis"})
        if (base.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            base.chop(qsizetype(qstrlen(suffix)));
    return base + QStringLiteral(".isotherm.csv");
}

std::string TIsothermFile::Text(const TOxygenBalance& balance) {
    std::string out = "time,elapsed_s,step,mode,direction,cell_T_degC,log10_pO2_atm,b,delta,charge_C,"
                      "charge_estimated_C,leak_current_A,alpha_mol_per_s_atm025,alpha_se\n";
    const double alpha = balance.Alpha();
    const double se = balance.Setup().LeakCorrection ? balance.LeakFit().StandardError() : 0.0;
    for (const TEquilibriumPoint& p : balance.Points()) {
        const TSampleOxygen s = balance.Evaluate(p.Sums);
        AppendIsoTime(out, p.Date);
        out += ',';
        AppendCsvNumber(out, p.Sums.Elapsed);
        out += ',';
        AppendCsvNumber(out, p.Step);
        out += p.Mode == 16 ? ",PPS," : ",PIDStep,";
        out += p.Direction == TEquilibriumPoint::Falling ? "falling" : "rising";
        for (double v : {p.Means.CellT, p.Means.Log10pO2, s.b, s.Delta, p.Sums.Charge(),
                         p.Sums.ChargeEstimated, p.LeakCurrent(), alpha, se}) {
            out += ',';
            AppendCsvNumber(out, v);
        }
        out += '\n';
    }
    return out;
}

bool TIsothermFile::Write(const QString& path, const TOxygenBalance& balance, QString* error) {
    const std::string text = Text(balance);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !file.commit()) {
        if (error)
            *error = QStringLiteral("Could not write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
