#include "recording/AnalysisExport.h"

#include "recording/DataFileReader.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <charconv>
#include <string_view>
#include <vector>

namespace {

using Bytes = TDataFileReader::Bytes;
using F = TDataFileReader::TField;

// True when the whole text is a number (a leading '+' allowed).
bool WholeNumber(const char* first, const char* last) {
    if (first != last && *first == '+')
        ++first;
    double value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    return first != last && ec == std::errc() && end == last;
}

void AppendDigits(std::string& out, int value, int digits) {
    char buffer[8];
    for (int i = digits - 1; i >= 0; --i, value /= 10)
        buffer[i] = char('0' + value % 10);
    out.append(buffer, std::size_t(digits));
}

// "2024-03-15T14:05:09.042" (a mode change's moment has .000, so readers parse one format).
void AppendIso(std::string& out, const TDataFileReader::TTimeParts& t) {
    out.clear();
    AppendDigits(out, t.Year, 4);
    out += '-';
    AppendDigits(out, t.Month, 2);
    out += '-';
    AppendDigits(out, t.Day, 2);
    out += 'T';
    AppendDigits(out, t.Hour, 2);
    out += ':';
    AppendDigits(out, t.Minute, 2);
    out += ':';
    AppendDigits(out, t.Second, 2);
    out += '.';
    AppendDigits(out, t.Millisecond, 3);
}

const char* StateName(Bytes mode) {
    static const char* const names[] = {"Paused", "SetCurrent", "SetVoltage", "PIDSet", "PIDStep", "PPS"};
    if (mode.size() == 1 && mode[0] >= '1' && mode[0] <= '6')
        return names[mode[0] - '1'];
    return nullptr;
}

// The CSV's columns: name, unit, the data file's caption, what it holds.
struct TColumn {
    const char* Name;
    const char* Unit;
    const char* Caption;
    const char* Meaning;
};
const TColumn kColumns[] = {
    {"time", "ISO 8601, local time", "Time",
     "end of the data point; for an event the moment of the mode change"},
    {"duration_s", "s", "Duration, s", "time since integration started in this mode"},
    {"mode", "", "Mode",
     "pump mode while the point was integrated: 12 SetCurrent, 13 SetVoltage, 14 PIDSet, "
     "15 PIDStep, 16 PPS"},
    {"step", "", "Step", "step of the step program, from 1"},
    {"cell_T_degC", "°C", "Cell T, ºC", "cell temperature"},
    {"pump_V_V", "V", "Pump V, V", "pump voltage"},
    {"pump_I_A", "A", "Pump I, A", "pump current"},
    {"cell_pO2_atm", "atm", "Cell pO2, atm", "oxygen partial pressure at the sensor"},
    {"flush_pO2_atm", "atm", "Flush pO2, atm", "flush-side oxygen partial pressure"},
    {"RC_pO2_pct", "%", "RC pO2, %", "relative change of the cell pO2"},
    {"stable_pO2", "1/0", "Stable pO2", "1 when the cell pO2 was stable"},
    {"range_pO2", "1/0", "Range pO2", "1 when the cell pO2 was within range of the setpoint"},
    {"RC_I_pct", "%", "RC I, %", "relative change of the pump current"},
    {"stable_I", "1/0", "Stable I", "1 when the pump current was stable"},
    {"max_I", "1/0", "Stable I", "1 when the pump current was at its limit (MaxI)"},
    {"setpoint", "log10(atm) in PIDStep, V in PPS", "SP", "setpoint of the step program"},
    {"cell_pO2P_atm", "atm", "Cell pO2P, atm", "cell-side pO2 from the pump voltage"},
    {"interval_s", "s", "Interval, s", "length of the data point"},
    {"event", "", "", "\"mode <state>\" for a row that records a mode change; empty for data"},
};

// A number cell in the regional format, written as a plain number with a point; a cell that is
// not a number stays empty.
void AppendNumber(std::string& out, Bytes cell, std::string& scratch) {
    if (cell.find(',') == Bytes::npos) {
        if (WholeNumber(cell.data(), cell.data() + cell.size()))
            out.append(cell);
        return;
    }
    scratch.assign(cell.data(), cell.size());
    for (char& c : scratch)
        if (c == ',')
            c = '.';
    if (WholeNumber(scratch.data(), scratch.data() + scratch.size()))
        out += scratch;
}

void AppendFlag(std::string& out, bool set) {
    out += set ? '1' : '0';
}

QJsonValue VariableValue(const QString& text) {
    QString t = text.trimmed();
    t.replace(u',', u'.');
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok ? QJsonValue(v) : QJsonValue(text.trimmed());
}

QString WriteError(const QString& path, const QString& error) {
    return QStringLiteral("Could not write %1: %2").arg(path, error);
}

} // namespace

QString TAnalysisExport::DefaultOutput(const QString& inputPath) {
    QString base = inputPath;
    if (base.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
        base.chop(4);
    return base + QStringLiteral(".analysis.csv");
}

QString TAnalysisExport::JsonPathFor(const QString& csvPath) {
    QString base = csvPath;
    if (base.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
        base.chop(4);
    return base + QStringLiteral(".json");
}

TAnalysisExportResult TAnalysisExport::Run(const QString& inputPath, const QString& csvPath,
                                           const TAnalysisExportOptions& options) {
    TAnalysisExportResult result;
    result.CsvPath = csvPath;
    result.JsonPath = JsonPathFor(csvPath);
    if (QFileInfo(csvPath).absoluteFilePath() == QFileInfo(inputPath).absoluteFilePath()) {
        result.Message = QStringLiteral("The export would replace its own input %1").arg(inputPath);
        return result;
    }

    TDataFileReader input;
    if (!input.Open(inputPath, &result.Message))
        return result;
    QJsonObject header;
    header[QStringLiteral("experiment_name")] = input.ExperimentName;
    header[QStringLiteral("nominal_formula")] = input.Formula;
    header[QStringLiteral("saved")] = input.Saved;
    QJsonArray variables;
    for (const TDataFileVariable& var : input.Variables) {
        QJsonObject v;
        v[QStringLiteral("name")] = var.Name;
        v[QStringLiteral("abbreviation")] = var.Abbreviation;
        v[QStringLiteral("unit")] = QString(var.Unit).replace(QChar(0xBA), QChar(0xB0));
        v[QStringLiteral("value")] = VariableValue(var.Value);
        variables.append(v);
    }
    const QStringList& notes = input.Notes;

    // The rows.
    QSaveFile csv(csvPath);
    if (!csv.open(QIODevice::WriteOnly)) {
        result.Message = WriteError(csvPath, csv.errorString());
        return result;
    }
    std::string out;
    out.reserve(1 << 22);
    for (const TColumn& c : kColumns) {
        if (&c != kColumns)
            out += ',';
        out += c.Name;
    }
    const std::vector<IAnalysisColumns::TColumnInfo> extra =
        options.Extra ? options.Extra->Columns() : std::vector<IAnalysisColumns::TColumnInfo>();
    for (const auto& c : extra) {
        out += ',';
        out += c.Name.toStdString();
    }
    out += "\n";
    if (options.Extra)
        options.Extra->Begin(input);
    Bytes fields[TDataFileReader::FieldCount];
    TDataRow row;
    std::string cells;
    // The extra columns' cells of a row into `to` (none when null), empty cells when the row does
    // not read as a row.
    const auto appendExtra = [&](std::string* to) {
        if (!options.Extra)
            return;
        if (TDataFileReader::ToRow(fields, row))
            options.Extra->Append(row, to);
        else if (to)
            to->append(extra.size(), ',');
    };
    std::vector<std::string> quoted;
    std::string scratch, time;
    TDataFileReader::TTimeParts parts;
    result.SkippedLines = input.LastLineUnfinished() ? 1 : 0;
    for (std::size_t k = 0; k < input.DataLineCount(); ++k) {
        const Bytes line = input.DataLine(k);
        if (!TDataFileReader::SplitFields(line, quoted, fields)) {
            if (!line.empty())
                ++result.SkippedLines;
            continue;
        }
        if (TDataFileReader::TimeCellParts(fields[F::fTime], parts)) {
            AppendIso(time, parts);
            out += time;
            for (int f : {F::fDuration, F::fMode, F::fStep, F::fTemp, F::fPumpV, F::fPumpI, F::fCellpO2,
                          F::fFlushpO2, F::fRCpO2}) {
                out += ',';
                AppendNumber(out, fields[f], scratch);
            }
            out += ',';
            AppendFlag(out, fields[F::fStablepO2] == "True");
            out += ',';
            AppendFlag(out, fields[F::fRangepO2] == "True");
            out += ',';
            AppendNumber(out, fields[F::fRCI], scratch);
            out += ',';
            AppendFlag(out, fields[F::fStableI] == "True");
            out += ',';
            AppendFlag(out, fields[F::fStableI] == "MaxI");
            for (int f : {F::fSP, F::fCellpO2P, F::fInterval}) {
                out += ',';
                AppendNumber(out, fields[f], scratch);
            }
            out += ',';
            appendExtra(&out);
            out += '\n';
            ++result.DataRows;
        } else if (const char* state = StateName(fields[F::fMode]);
                   state && TDataFileReader::ModeChangeParts(fields[F::fDuration], parts)) {
            AppendIso(time, parts);
            ++result.EventRows;
            cells.clear();
            appendExtra(options.Events ? &cells : nullptr);
            if (!options.Events)
                continue;
            out += time;
            out.append(std::size(kColumns) - 2, ',');
            out += ",mode ";
            out += state;
            out += cells;
            out += '\n';
        } else {
            ++result.SkippedLines;
            continue;
        }
        if (out.size() > (1u << 22) - 4096) {
            if (csv.write(out.data(), qint64(out.size())) != qint64(out.size())) {
                result.Message = WriteError(csvPath, csv.errorString());
                return result;
            }
            out.clear();
        }
    }
    if (csv.write(out.data(), qint64(out.size())) != qint64(out.size()) || !csv.commit()) {
        result.Message = WriteError(csvPath, csv.errorString());
        return result;
    }

    // The description beside it.
    QJsonArray columns;
    for (const TColumn& c : kColumns) {
        QJsonObject col;
        col[QStringLiteral("name")] = QString::fromLatin1(c.Name);
        col[QStringLiteral("unit")] = QString::fromUtf8(c.Unit);
        col[QStringLiteral("data_file_caption")] = QString::fromUtf8(c.Caption);
        col[QStringLiteral("meaning")] = QString::fromUtf8(c.Meaning);
        columns.append(col);
    }
    for (const auto& c : extra) {
        QJsonObject col;
        col[QStringLiteral("name")] = c.Name;
        col[QStringLiteral("unit")] = c.Unit;
        col[QStringLiteral("data_file_caption")] = QString();
        col[QStringLiteral("meaning")] = c.Meaning;
        columns.append(col);
    }
    QJsonObject doc;
    doc[QStringLiteral("source")] = QFileInfo(inputPath).fileName();
    doc[QStringLiteral("header")] = header;
    doc[QStringLiteral("variables")] = variables;
    doc[QStringLiteral("notes")] = notes.join(u'\n');
    doc[QStringLiteral("columns")] = columns;
    doc[QStringLiteral("data_rows")] = double(result.DataRows);
    doc[QStringLiteral("mode_changes")] = double(result.EventRows);
    doc[QStringLiteral("mode_changes_included")] = options.Events;
    doc[QStringLiteral("skipped_lines")] = double(result.SkippedLines);
    QSaveFile json(result.JsonPath);
    const QByteArray jsonBytes = QJsonDocument(doc).toJson(QJsonDocument::Indented);
    if (!json.open(QIODevice::WriteOnly) || json.write(jsonBytes) != jsonBytes.size() || !json.commit()) {
        result.Message = WriteError(result.JsonPath, json.errorString());
        return result;
    }
    result.Ok = true;
    return result;
}
