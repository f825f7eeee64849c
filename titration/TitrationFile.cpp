#include "titration/TitrationFile.h"

#include "recording/DataFileReader.h"
#include "titration/CsvText.h"
#include "titration/IsothermFile.h"
#include "titration/TOxygenBalance.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

QString WriteError(const QString& path, const QString& error) {
    return QStringLiteral("Could not write %1: %2").arg(path, error);
}

// The sample and cell values as the data file's variables give them (by their abbreviations).
TTitrationSetup SetupFrom(const TDataFileReader& file) {
    TTitrationSetup s;
    s.bs = file.VariableValue(QStringLiteral("bs"), s.bs);
    s.b0 = file.VariableValue(QStringLiteral("b0"), s.b0);
    s.M0 = file.VariableValue(QStringLiteral("M0"), s.M0);
    s.m0 = file.VariableValue(QStringLiteral("m0"), s.m0);
    s.Vhp = file.VariableValue(QStringLiteral("Vhp"), s.Vhp);
    s.Vgp = file.VariableValue(QStringLiteral("Vgp"), s.Vgp);
    s.Tl = file.VariableValue(QStringLiteral("Tl"), s.Tl);
    s.FGpO2 = file.VariableValue(QStringLiteral("FGpO2"), s.FGpO2);
    s.RCDuration = file.VariableValue(QStringLiteral("RCd"), s.RCDuration);
    return s;
}

} // namespace

QString TTitrationFile::DefaultOutput(const QString& inputPath) {
    QString base = inputPath;
    for (const char* suffix : {".csv", ".journal"})
        if (base.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            base.chop(qsizetype(qstrlen(suffix)));
    return base + QStringLiteral(".titration.csv");
}

TTitrationFileResult TTitrationFile::Run(const QString& inputPath, const QString& csvPath,
                                         const TTitrationFileOptions& options) {
    TTitrationFileResult result;
    result.CsvPath = csvPath;
    result.IsothermPath = TIsothermFile::PathFor(csvPath);
    const QString input = QFileInfo(inputPath).absoluteFilePath();
    if (QFileInfo(csvPath).absoluteFilePath() == input ||
        QFileInfo(result.IsothermPath).absoluteFilePath() == input) {
        result.Message = QStringLiteral("The balance would replace its own input %1").arg(inputPath);
        return result;
    }
    TDataFileReader file;
    if (!file.Open(inputPath, &result.Message))
        return result;
    TTitrationSetup setup = SetupFrom(file);
    setup.EnteredAlpha = options.EnteredAlpha;
    TOxygenBalance balance(setup);

    QSaveFile csv(csvPath);
    if (!csv.open(QIODevice::WriteOnly)) {
        result.Message = WriteError(csvPath, csv.errorString());
        return result;
    }
    std::string out =
        "time,duration_s,step,charge_C,charge_estimated_C,gas_O2_mol,leak_O2_mol,sample_O2_mol,b,"
        "delta,alpha_mol_per_s_atm025\n";
    out.reserve(1 << 22);
    TDataFileReader::Bytes fields[TDataFileReader::FieldCount];
    std::vector<std::string> quoted;
    TDataRow row;
    TBalanceRow b;
    result.SkippedLines = file.LastLineUnfinished() ? 1 : 0;
    for (std::size_t k = 0; k < file.DataLineCount(); ++k) {
        const TDataFileReader::Bytes line = file.DataLine(k);
        if (!TDataFileReader::SplitFields(line, quoted, fields) || !TDataFileReader::ToRow(fields, row)) {
            if (!line.empty())
                ++result.SkippedLines;
            continue;
        }
        if (!balance.Add(row, &b))
            continue;
        AppendIsoTime(out, b.Date);
        for (double v : {b.Duration, b.Step, b.Sums.Charge(), b.Sums.ChargeEstimated, b.GasMol, b.LeakMol,
                         b.SampleMol, b.b, b.Delta, b.Alpha}) {
            out += ',';
            AppendCsvNumber(out, v);
        }
        out += '\n';
        if (out.size() > (1u << 22) - 4096) {
            if (csv.write(out.data(), qint64(out.size())) != qint64(out.size())) {
                result.Message = WriteError(csvPath, csv.errorString());
                return result;
            }
            out.clear();
        }
    }
    balance.Finish();
    if (csv.write(out.data(), qint64(out.size())) != qint64(out.size()) || !csv.commit()) {
        result.Message = WriteError(csvPath, csv.errorString());
        return result;
    }
    if (!TIsothermFile::Write(result.IsothermPath, balance, &result.Message))
        return result;
    result.DataRows = balance.DataRows();
    result.Points = int(balance.Points().size());
    result.Alpha = balance.Alpha();
    result.AlphaError = balance.LeakFit().StandardError();
    result.Delta = balance.Evaluate(balance.Sums()).Delta;
    result.Charge = balance.Sums().Charge();
    result.ChargeEstimated = balance.Sums().ChargeEstimated;
    result.Ok = true;
    return result;
}
