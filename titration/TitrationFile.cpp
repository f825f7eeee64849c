#include "titration/TitrationFile.h"

#include "recording/DataFileReader.h"
#include "titration/CsvText.h"
#include "titration/IsothermFile.h"
#include "titration/TOxygenBalance.h"
#include "titration/TitrationColumns.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

QString WriteError(const QString& path, const QString& error) {
    return QStringLiteral("Could not write %1: %2").arg(path, error);
}

// Calls `take` with each row of the file in order until it returns false; the lines that are no
// rows (an unfinished last line included) are counted and returned.
template <class F> long long ForEachRow(const TDataFileReader& file, F&& take) {
    TDataFileReader::Bytes fields[TDataFileReader::FieldCount];
    std::vector<std::string> quoted;
    TDataRow row;
    long long skipped = file.LastLineUnfinished() ? 1 : 0;
    for (std::size_t k = 0; k < file.DataLineCount(); ++k) {
        const TDataFileReader::Bytes line = file.DataLine(k);
        if (!TDataFileReader::SplitFields(line, quoted, fields) || !TDataFileReader::ToRow(fields, row)) {
            if (!line.empty())
                ++skipped;
            continue;
        }
        if (!take(row))
            break;
    }
    return skipped;
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
    TTitrationSetup setup = TTitrationSetup::FromFile(file);
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
    TBalanceRow b;
    bool written = true;
    result.SkippedLines = ForEachRow(file, [&](const TDataRow& row) {
        if (!balance.Add(row, &b))
            return true;
        AppendIsoTime(out, b.Date);
        for (double v : {b.Duration, b.Step}) {
            out += ',';
            AppendCsvNumber(out, v);
        }
        TTitrationColumns::AppendCells(out, b);
        out += '\n';
        if (out.size() > (1u << 22) - 4096) {
            written = csv.write(out.data(), qint64(out.size())) == qint64(out.size());
            out.clear();
        }
        return written;
    });
    if (!written) {
        result.Message = WriteError(csvPath, csv.errorString());
        return result;
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

bool TTitrationFile::RecomputeIsotherm(const QString& runFile, const QString& isothermPath, QString* error) {
    TDataFileReader file;
    QString message;
    if (!file.Open(runFile, &message)) {
        if (error)
            *error = message;
        return false;
    }
    TOxygenBalance balance(TTitrationSetup::FromFile(file));
    ForEachRow(file, [&](const TDataRow& row) {
        balance.Add(row);
        return true;
    });
    balance.Finish();
    // A run without a step program has no isotherm; as while it ran, no file is written for it.
    return balance.Points().empty() || TIsothermFile::Write(isothermPath, balance, error);
}
